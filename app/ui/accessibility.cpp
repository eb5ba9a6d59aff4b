// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader sees of the window's own controls; see accessibility.h.
#include "app/ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <QWindow>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/ui/command_button.h"
#include "app/ui/cp1252text.h"
#include "app/ui/entryview.h"

namespace qorvex {
namespace {

constexpr const char* kDecoration = "qorvexDecoration";

QString ItemName(const EntryLabel& l) {
  const QString caption = FromCp1252(l.caption).trimmed();
  switch (l.kind) {
    case LabelKind::Morse:
      return QStringLiteral("Morsezeichen %1 abspielen").arg(caption);
    case LabelKind::Tone:
      return QStringLiteral("Ton %1 abspielen").arg(FromCp1252(l.toneFile));
    default:
      return l.url.empty() ? caption : FromCp1252(l.url);
  }
}

// A link, Morse or tone word of one label set: valid while the view shows
// that set.
class EntryItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  EntryItemAccessible(TEntryView* view, int label)
      : view_(view), label_(label), generation_(view->Generation()) {}

  bool isValid() const override {
    return view_ != nullptr && view_->Generation() == generation_ &&
           static_cast<size_t>(label_) < view_->Labels().size();
  }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    return view_ != nullptr ? view_->window()->windowHandle() : nullptr;
  }
  QList<std::pair<QAccessibleInterface*, QAccessible::Relation>> relations(
      QAccessible::Relation) const override {
    return {};
  }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return view_ != nullptr ? QAccessible::queryAccessibleInterface(view_) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override {
    if (!isValid() || t != QAccessible::Name) return {};
    return ItemName(Label());
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = view_->LabelRect(static_cast<size_t>(label_));
    return QRect(view_->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override {
    return isValid() && Label().kind == LabelKind::Link ? QAccessible::Link : QAccessible::Button;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    s.focusable = true;
    s.focused = view_->hasFocus() && view_->FocusedLabel() == label_;
    s.linked = Label().kind == LabelKind::Link;
    return s;
  }
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name != pressAction() || !isValid()) return;
    // Queued: a sound plays to its end, and the reader's call returns now.
    QMetaObject::invokeMethod(
        view_.data(),
        [view = view_, label = label_, generation = generation_] {
          if (view != nullptr && view->Generation() == generation) view->ActivateLabel(label);
        },
        Qt::QueuedConnection);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  const EntryLabel& Label() const { return view_->Labels()[static_cast<size_t>(label_)]; }

  QPointer<TEntryView> view_;
  int label_;
  uint64_t generation_;
};

// The start and end of the piece of text around offset.
std::pair<int, int> Segment(const QString& text, int offset, QAccessible::TextBoundaryType type) {
  const int n = static_cast<int>(text.size());
  if (n == 0) return {0, 0};
  offset = std::clamp(offset, 0, n - 1);
  switch (type) {
    case QAccessible::CharBoundary:
      return {offset, offset + 1};
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
      QTextBoundaryFinder finder(type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                   : QTextBoundaryFinder::Sentence,
                                 text);
      finder.setPosition(offset);
      int start = finder.isAtBoundary() ? offset : static_cast<int>(finder.toPreviousBoundary());
      finder.setPosition(offset);
      int end = static_cast<int>(finder.toNextBoundary());
      return {std::max(start, 0), end < 0 ? n : end};
    }
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary: {
      const int start = offset == 0 ? 0 : static_cast<int>(text.lastIndexOf('\n', offset - 1)) + 1;
      const int end = static_cast<int>(text.indexOf('\n', offset));
      return {start, end < 0 ? n : end + 1};
    }
    default:
      return {0, n};
  }
}

class EntryViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit EntryViewAccessible(TEntryView* view) : QAccessibleWidget(view, QAccessible::Document) {}
  ~EntryViewAccessible() override { DropItems(); }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) {
      const QString& all = View()->Text();
      return all.left(all.indexOf('\n'));  // the title line
    }
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.focusable = true;
    return s;
  }
  int childCount() const override {
    Sync();
    return static_cast<int>(items_.size());
  }
  QAccessibleInterface* child(int index) const override {
    Sync();
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return nullptr;
    return QAccessible::accessibleInterface(items_[static_cast<size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    Sync();
    for (size_t i = 0; i < items_.size(); ++i)
      if (QAccessible::accessibleInterface(items_[i]) == child) return static_cast<int>(i);
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const int label = View()->LabelAt(View()->mapFromGlobal(QPoint(x, y)));
    return child(ItemOfLabel(label));
  }
  QAccessibleInterface* focusChild() const override {
    return View()->hasFocus() ? child(ItemOfLabel(View()->FocusedLabel())) : nullptr;
  }

  // The text interface: no selection, a caret the reader moves.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return std::min(caret_, characterCount()); }
  void setCursorPosition(int position) override {
    caret_ = std::clamp(position, 0, characterCount());
  }
  QString text(int start, int end) const override {
    return View()->Text().mid(start, std::max(0, end - start));
  }
  int characterCount() const override { return static_cast<int>(View()->Text().size()); }
  QRect characterRect(int offset) const override {
    const std::vector<TextOrigin>& origins = View()->TextOrigins();
    if (offset < 0 || static_cast<size_t>(offset) >= origins.size()) return {};
    const TextOrigin o = origins[static_cast<size_t>(offset)];
    if (o.label < 0) return {};
    const QRect r = View()->PieceRect({o.label, o.offset, o.offset + 1});
    return QRect(View()->mapToGlobal(r.topLeft()), r.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    const QPoint local = View()->mapFromGlobal(point);
    const int label = View()->LabelAt(local);
    if (label < 0) return -1;
    const std::vector<TextOrigin>& origins = View()->TextOrigins();
    for (size_t i = 0; i < origins.size(); ++i)
      if (origins[i].label == label &&
          View()->PieceRect({label, origins[i].offset, origins[i].offset + 1}).contains(local))
        return static_cast<int>(i);
    return -1;
  }
  void scrollToSubstring(int start, int) override {
    const QRect r = characterRect(start);
    if (r.isValid()) View()->EnsureVisible(QRect(View()->mapFromGlobal(r.topLeft()), r.size()));
  }
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return {};
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                       int* end) const override {
    std::tie(*start, *end) = Segment(View()->Text(), offset, type);
    return text(*start, *end);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                           int* end) const override {
    const int at = Segment(View()->Text(), offset, type).first;
    if (at <= 0) {
      *start = *end = 0;
      return {};
    }
    return textAtOffset(at - 1, type, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                          int* end) const override {
    const int after = Segment(View()->Text(), offset, type).second;
    if (after >= characterCount()) {
      *start = *end = characterCount();
      return {};
    }
    return textAtOffset(after, type, start, end);
  }

  // The item of a label (its place among the clickable ones), or -1.
  int ItemOfLabel(int label) const {
    Sync();
    const auto at = std::find(labels_.begin(), labels_.end(), label);
    return at == labels_.end() ? -1 : static_cast<int>(at - labels_.begin());
  }

 private:
  TEntryView* View() const { return static_cast<TEntryView*>(widget()); }

  // The children of the label set shown now; those of older sets go.
  void Sync() const {
    if (synced_ == View()->Generation() && synced_ != 0) return;
    DropItems();
    synced_ = View()->Generation();
    const std::vector<EntryLabel>& labels = View()->Labels();
    for (size_t i = 0; i < labels.size(); ++i) {
      if (!TEntryView::Clickable(labels[i])) continue;
      labels_.push_back(static_cast<int>(i));
      items_.push_back(QAccessible::registerAccessibleInterface(
          new EntryItemAccessible(View(), static_cast<int>(i))));
    }
  }
  void DropItems() const {
    for (QAccessible::Id id : items_) QAccessible::deleteAccessibleInterface(id);
    items_.clear();
    labels_.clear();
  }

  mutable std::vector<QAccessible::Id> items_;
  mutable std::vector<int> labels_;  // the label of each item
  mutable uint64_t synced_ = 0;
  int caret_ = 0;
};

// A picture that says nothing: present, but not for the reader.
class DecorationAccessible : public QAccessibleWidget {
 public:
  explicit DecorationAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.invisible = true;
    return s;
  }
  QString text(QAccessible::Text) const override { return {}; }
};

// The command button: its caption without "&" and "|" as its name, and a
// press that clicks it as the user does (its kind's action included).
class CommandButtonAccessible : public QAccessibleWidget {
 public:
  explicit CommandButtonAccessible(TvxBitBtn* b) : QAccessibleWidget(b, QAccessible::Button) {}
  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
    return AccessibleCaption(Button()->text());
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.focusable = true;
    s.defaultButton = Button()->Default();
    s.pressed = Button()->isDown();
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name != pressAction() || !Button()->isEnabled()) return;
    QMetaObject::invokeMethod(
        Button(),
        [b = QPointer<TvxBitBtn>(Button())] {
          if (b) b->Click();
        },
        Qt::QueuedConnection);
  }

 private:
  TvxBitBtn* Button() const { return static_cast<TvxBitBtn*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String("qorvex::TEntryView"))
    return new EntryViewAccessible(static_cast<TEntryView*>(object));
  if (object->property(kDecoration).toBool())
    return new DecorationAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

QString AccessibleCaption(QString caption) {
  caption.replace(QLatin1Char('|'), QLatin1Char(' '));
  QString out;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;  // "&&" is one "&"
    out += caption[i];
  }
  return out.simplified();
}

void MarkAsDecoration(QWidget* picture) {
  picture->setProperty(kDecoration, true);
}

void NotifyNewText(TEntryView* view) {
  if (!QAccessible::isActive()) return;
  QAccessibleEvent name(view, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&name);
  QAccessibleTextUpdateEvent text(view, 0, QString(), view->Text());
  QAccessible::updateAccessibility(&text);
}

void NotifyFocusedLabel(TEntryView* view) {
  if (!QAccessible::isActive()) return;
  auto* iface = dynamic_cast<EntryViewAccessible*>(QAccessible::queryAccessibleInterface(view));
  if (iface == nullptr) return;
  const int item = iface->ItemOfLabel(view->FocusedLabel());
  if (item < 0) return;
  QAccessibleEvent focus(view, QAccessible::Focus);
  focus.setChild(item);
  QAccessible::updateAccessibility(&focus);
}

}  // namespace qorvex
