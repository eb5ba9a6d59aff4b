// SPDX-License-Identifier: GPL-3.0-or-later
// The entry view; see entryview.h.
#include "app/ui/entryview.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "app/ui/accessibility.h"
#include "app/ui/cp1252text.h"

namespace qorvex {
namespace {

constexpr int64_t kMaxPoints = 400;
constexpr int kMaxWidgetSize = QWIDGETSIZE_MAX;

int PixelsOf(const LabelFont& f) {
  if (f.base) return kBaseFontPixels;
  int64_t points = f.points == 0 ? kDefaultFontPoints : std::abs(int64_t{f.points});
  points = std::min(points, kMaxPoints);
  return static_cast<int>((points * 96 + 36) / 72);  // rounded, as at 96 dots per inch
}

uint64_t FaceKey(const LabelFont& f) {
  return uint64_t(PixelsOf(f)) << 2 | uint64_t(f.bold) << 1 | uint64_t(f.underline);
}

int ClampSize(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, kMaxWidgetSize));
}

}  // namespace

QColor LabelColor(int32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont LabelQFont(const LabelFont& f) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(PixelsOf(f));
  font.setBold(f.bold);
  font.setUnderline(f.underline);
  font.setKerning(false);
  return font;
}

TLabelMeasurer::Face::Face(const QFont& f) : font(f), metrics(f) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    advance[b] = metrics.horizontalAdvance(FromCp1252(one).at(0));
  }
}

const TLabelMeasurer::Face& TLabelMeasurer::FaceOf(const LabelFont& font) const {
  std::unique_ptr<Face>& face = faces_[FaceKey(font)];
  if (!face) face = std::make_unique<Face>(LabelQFont(font));
  return *face;
}

LabelSize TLabelMeasurer::Measure(std::string_view caption, const LabelFont& font) const {
  const Face& face = FaceOf(font);
  int64_t width = 0;
  for (const char c : caption) width += face.advance[static_cast<uint8_t>(c)];
  return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), face.metrics.height()};
}

TEntryView::TEntryView(QWidget* parent) : QWidget(parent) {
  InstallAccessibility();
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  QPalette p = palette();
  p.setColor(QPalette::Window, LabelColor(kViewColor));
  setPalette(p);
  resize(1, 1);
}

void TEntryView::AttachTo(QScrollArea* area) {
  area->setWidgetResizable(false);
  area->setWidget(this);
  area->setFocusProxy(this);
  area_ = area;
  // The focus frame follows the visible part: scrolled pixels carry it away.
  for (QScrollBar* bar : {area->verticalScrollBar(), area->horizontalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      if (hasFocus()) update();
    });
  viewport_ = area->viewport();
  viewport_->installEventFilter(this);
  floor_ = area->viewport()->size();
  FitSize();
}

bool TEntryView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == viewport_) {
    floor_ = static_cast<QResizeEvent*>(event)->size();
    FitSize();
  }
  return QWidget::eventFilter(watched, event);
}

void TEntryView::FitSize() {
  const int width = ClampSize(int64_t{extent_.width()} * zoom_ / 100);
  const int height = ClampSize(int64_t{extent_.height()} * zoom_ / 100);
  resize(std::max(width, floor_.width()), std::max(height, floor_.height()));
}

void TEntryView::SetZoom(int percent) {
  if (percent == zoom_ || percent <= 0) return;
  zoom_ = percent;
  FitSize();
  update();
}

void TEntryView::SetMarks(std::vector<TextMark> marks) {
  marks_.clear();
  for (const TextMark& m : marks) {
    if (m.label < 0 || static_cast<size_t>(m.label) >= labels_.size() || m.begin < 0 ||
        m.begin >= m.end ||
        static_cast<size_t>(m.end) > labels_[static_cast<size_t>(m.label)].caption.size())
      continue;  // not a piece of a caption shown here
    marks_.push_back(m);
  }
  std::stable_sort(marks_.begin(), marks_.end(),
                   [](const TextMark& a, const TextMark& b) { return a.label < b.label; });
  update();
}

QRect TEntryView::PieceBox(const TextMark& m) const {
  const size_t i = static_cast<size_t>(m.label);
  const EntryLabel& l = labels_[i];
  int64_t from = l.left, to = l.left;
  for (int32_t k = 0; k < m.end; ++k) {
    const int advance = faces_[i]->advance[static_cast<uint8_t>(l.caption[static_cast<size_t>(k)])];
    if (k < m.begin) from += advance;
    to += advance;
  }
  return QRect(ClampSize(from), l.top, ClampSize(to - from), l.height);
}

QRect TEntryView::Zoomed(const QRect& box) const {
  const auto scaled = [&](int64_t v) { return ClampSize(v * zoom_ / 100); };
  return QRect(QPoint(scaled(box.left()), scaled(box.top())),
               QPoint(scaled(int64_t{box.left()} + box.width()) - 1,
                      scaled(int64_t{box.top()} + box.height()) - 1));
}

QRect TEntryView::MarkRect(size_t mark) const {
  return Zoomed(PieceBox(marks_.at(mark)));
}

QRect TEntryView::PieceRect(const TextMark& piece) const {
  return Zoomed(PieceBox(piece));
}

QRect TEntryView::LabelRect(size_t label) const {
  const EntryLabel& l = labels_.at(label);
  return Zoomed(QRect(l.left, l.top, l.width, l.height));
}

int TEntryView::NextClickable(int from, bool forward) const {
  const int n = static_cast<int>(labels_.size());
  for (int i = forward ? from + 1 : (from < 0 ? n - 1 : from - 1); i >= 0 && i < n;
       i += forward ? 1 : -1)
    if (Clickable(labels_[static_cast<size_t>(i)])) return i;
  return -1;
}

void TEntryView::FocusLabel(int label) {
  if (label >= 0 && (static_cast<size_t>(label) >= labels_.size() ||
                     !Clickable(labels_[static_cast<size_t>(label)])))
    label = -1;
  focused_ = label;
  update();
  if (label < 0) return;
  EnsureVisible(LabelRect(static_cast<size_t>(label)));
  if (hasFocus()) NotifyFocusedLabel(this);
}

void TEntryView::EnsureVisible(const QRect& r) {
  if (area_ != nullptr)
    area_->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 10, r.height() / 2 + 10);
}

void TEntryView::ActivateLabel(int label) {
  if (label >= 0 && static_cast<size_t>(label) < labels_.size() &&
      Clickable(labels_[static_cast<size_t>(label)]))
    emit LabelClicked(label);
}

void TEntryView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = area_ != nullptr ? area_->verticalScrollBar() : nullptr;
  const auto scroll = [&](QAbstractSlider::SliderAction action) {
    if (bar != nullptr) bar->triggerAction(action);
  };
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (focused_ < 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) break;
      ActivateLabel(focused_);
      return;
    case Qt::Key_Escape:
      emit EscapePressed();
      return;
    case Qt::Key_PageDown:
      return scroll(QAbstractSlider::SliderPageStepAdd);
    case Qt::Key_PageUp:
      return scroll(QAbstractSlider::SliderPageStepSub);
    case Qt::Key_Down:
      return scroll(QAbstractSlider::SliderSingleStepAdd);
    case Qt::Key_Up:
      return scroll(QAbstractSlider::SliderSingleStepSub);
    case Qt::Key_Home:
      return scroll(QAbstractSlider::SliderToMinimum);
    case Qt::Key_End:
      return scroll(QAbstractSlider::SliderToMaximum);
    default:
      break;
  }
  QWidget::keyPressEvent(event);  // Return without a focused word: the window's default
}

void TEntryView::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // Frames are for the keyboard: a mouse user sees the view as specified.
  keyboardFocus_ = event->reason() != Qt::MouseFocusReason;
  if (event->reason() == Qt::TabFocusReason)
    FocusLabel(NextClickable(-1, true));
  else if (event->reason() == Qt::BacktabFocusReason)
    FocusLabel(NextClickable(-1, false));
  update();
}

void TEntryView::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

bool TEntryView::focusNextPrevChild(bool next) {
  if (hasFocus()) {
    const int to = NextClickable(focused_, next);
    if (to >= 0) {
      FocusLabel(to);
      return true;
    }
    focused_ = -1;  // leaving the view
  }
  return QWidget::focusNextPrevChild(next);
}

bool TEntryView::Clickable(const EntryLabel& l) {
  return l.kind == LabelKind::Link || l.kind == LabelKind::Morse || l.kind == LabelKind::Tone;
}

void TEntryView::SetLabels(std::vector<EntryLabel> labels) {
  labels_ = std::move(labels);
  texts_.clear();
  faces_.clear();
  texts_.reserve(labels_.size());
  faces_.reserve(labels_.size());
  tallest_ = 0;
  int64_t right = 0, bottom = 0;
  for (const EntryLabel& l : labels_) {
    texts_.push_back(FromCp1252(l.caption));
    faces_.push_back(&measurer_.FaceOf(l.font));
    tallest_ = std::max(tallest_, l.height);
    if (l.kind != LabelKind::Title && l.kind != LabelKind::Topic)
      right = std::max(right, int64_t{l.left} + l.width);
    bottom = std::max(bottom, int64_t{l.top} + l.height);
  }
  extent_ = QSize(ClampSize(right), ClampSize(bottom));
  marks_.clear();
  focused_ = -1;
  pressed_ = -1;
  text_ = FromCp1252(qorvex::ShownText(labels_, &origins_));
  ++generation_;
  if (handCursor_) {
    handCursor_ = false;
    unsetCursor();
  }
  FitSize();
  update();
  NotifyNewText(this);
}

int TEntryView::LabelAt(QPoint at) const {
  const QPoint p(static_cast<int>(int64_t{at.x()} * 100 / zoom_),
                 static_cast<int>(int64_t{at.y()} * 100 / zoom_));
  // Tops never decrease: look back from the last label that starts at or
  // above the point, as far as the highest label reaches.
  auto it = std::upper_bound(labels_.begin(), labels_.end(), p.y(),
                             [](int y, const EntryLabel& l) { return y < l.top; });
  while (it != labels_.begin()) {
    --it;
    if (int64_t{it->top} + tallest_ <= p.y()) break;
    if (p.x() >= it->left && int64_t{p.x()} < int64_t{it->left} + it->width &&
        int64_t{p.y()} < int64_t{it->top} + it->height)
      return static_cast<int>(it - labels_.begin());
  }
  return -1;
}

void TEntryView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.scale(zoom_ / 100.0, zoom_ / 100.0);
  const QRect area = painter.transform().inverted().mapRect(event->rect()).adjusted(-1, -1, 1, 1);
  auto mark = marks_.begin();
  // Labels that start a full label height above the area cannot reach it.
  const auto first =
      std::lower_bound(labels_.begin(), labels_.end(), int64_t{area.top()} - tallest_,
                       [](const EntryLabel& l, int64_t y) { return l.top <= y; });
  for (auto it = first; it != labels_.end() && it->top <= area.bottom(); ++it) {
    const EntryLabel& l = *it;
    const QRect box(l.left, l.top, l.width, l.height);
    if (!box.intersects(area)) continue;
    const size_t i = static_cast<size_t>(it - labels_.begin());
    if (l.backColor != kNoColor) painter.fillRect(box, LabelColor(l.backColor));
    while (mark != marks_.end() && static_cast<size_t>(mark->label) < i) ++mark;
    for (auto m = mark; m != marks_.end() && static_cast<size_t>(m->label) == i; ++m)
      painter.fillRect(PieceBox(*m), LabelColor(kMarkColor));
    const bool fixedWidth = l.kind == LabelKind::Title || l.kind == LabelKind::Topic;
    if (fixedWidth) painter.setClipRect(box);
    painter.setFont(faces_[i]->font);
    painter.setPen(LabelColor(l.fontColor));
    painter.drawText(QPoint(l.left, l.top + faces_[i]->metrics.ascent()), texts_[i]);
    if (fixedWidth) painter.setClipping(false);
  }
  // The keyboard's word: a dark frame, clear on the yellow and the green;
  // with no word, a dotted frame along the visible part of the view.
  if (hasFocus() && focused_ >= 0) {
    const EntryLabel& l = labels_[static_cast<size_t>(focused_)];
    painter.setPen(QPen(QColor(0, 0, 128), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(l.left, l.top, l.width, l.height).adjusted(-2, -1, 2, 1));
  } else if (hasFocus() && keyboardFocus_) {
    painter.resetTransform();
    painter.setPen(QPen(QColor(0, 0, 128), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(visibleRegion().boundingRect().adjusted(1, 1, -2, -2));
  }
}

void TEntryView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
    QWidget::wheelEvent(event);  // the scrolling area scrolls
    return;
  }
  emit ZoomRequested(event->angleDelta().y() > 0 ? 1 : -1);
  event->accept();
}

void TEntryView::mouseMoveEvent(QMouseEvent* event) {
  const int i = LabelAt(event->position().toPoint());
  const bool hand = i >= 0 && Clickable(labels_[static_cast<size_t>(i)]);
  if (hand != handCursor_) {
    handCursor_ = hand;
    if (hand)
      setCursor(Qt::PointingHandCursor);
    else
      unsetCursor();
  }
  QWidget::mouseMoveEvent(event);
}

void TEntryView::mousePressEvent(QMouseEvent* event) {
  if (keyboardFocus_ || focused_ >= 0) {
    keyboardFocus_ = false;
    focused_ = -1;
    update();
  }
  if (event->button() == Qt::LeftButton) pressed_ = LabelAt(event->position().toPoint());
  QWidget::mousePressEvent(event);
}

void TEntryView::mouseReleaseEvent(QMouseEvent* event) {
  const int pressed = pressed_;
  pressed_ = -1;
  if (event->button() == Qt::LeftButton && pressed >= 0 &&
      LabelAt(event->position().toPoint()) == pressed &&
      Clickable(labels_[static_cast<size_t>(pressed)]))
    emit LabelClicked(pressed);
  QWidget::mouseReleaseEvent(event);
}

}  // namespace qorvex
