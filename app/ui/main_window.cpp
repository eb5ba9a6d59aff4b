// SPDX-License-Identifier: GPL-3.0-or-later
// The main window; see main_window.h.
#include "app/ui/main_window.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScopeGuard>
#include <QSettings>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include "app/core/entry_text.h"
#include "app/core/entry_tree.h"
#include "app/core/lexicon_import.h"
#include "app/core/morse.h"
#include "app/core/search.h"
#include "app/core/see_also.h"
#include "app/ui/accessibility.h"
#include "app/ui/command_button.h"
#include "app/ui/cp1252text.h"
#include "app/ui/edit_field.h"
#include "app/ui/entrytreemodel.h"
#include "app/ui/entryview.h"
#include "app/ui/message_dialogs.h"
#include "app/ui/messagehandlers.h"
#include "app/ui/pictures.h"
#include "app/ui/screen_fonts.h"
#include "support/file_lookup.h"
#include "support/text_utils.h"

namespace qorvex {
namespace {

constexpr int kTopHeight = 73, kBottomHeight = 53, kTreeWidth = 249;
constexpr const char* kCaption = "Tessary: kleines ZEL Lexikon";
constexpr const char* kNothingSelected = "Kein Thema ausgew\xE4hlt.";
constexpr const char* kLexiconInUse =
    "Das Lexikon in diesem Ordner wird schon von einem anderen Qorvex-Fenster (oder einem "
    "anderen Programm) benutzt oder ist nicht zug\xE4nglich. Dieses Fenster wird nicht "
    "ge\xF6"
    "ffnet; bitte arbeiten Sie im anderen Qorvex-Fenster weiter.";

// The user's preferences of what we add to the form; the settings block's
// record layout is fixed.
QSettings UserSettings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qorvex"),
                   QStringLiteral("qorvex"));
}
constexpr const char* kFullTextKey = "Suche/AuchImText";
constexpr const char* kZoomKey = "Ansicht/Zoom";

QFont PixelFont(const char* family, int pixels) {
  QFont font{QString::fromLatin1(family)};
  font.setPixelSize(pixels);
  return font;
}

void SetTextColor(QWidget* w, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  w->setPalette(p);
}

// List items of the fixed item height.
class ItemHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), TListBox::kItemHeight};
  }
};

// The entry node under the root captioned parent with this caption, or
// an invalid index.
QModelIndex FindTreeNode(const TEntryTreeModel& model, const std::string& parent,
                         const std::string& caption) {
  if (parent.empty()) return {};
  for (int r = 0; r < model.rowCount(); ++r) {
    const QModelIndex root = model.index(r, 0);
    if (model.Node(root).caption != parent) continue;
    for (int c = 0; c < model.rowCount(root); ++c)
      if (model.Node(model.index(c, 0, root)).caption == caption) return model.index(c, 0, root);
  }
  return {};
}

}  // namespace

// ---- Panels and the list box ----

TPanel::TPanel(QWidget* parent, bool raisedBevel) : QFrame(parent) {
  setFrameStyle(raisedBevel ? QFrame::Panel | QFrame::Raised : QFrame::NoFrame);
  setLineWidth(1);
}

void TPanel::SetColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
  setAutoFillBackground(true);
}

void TPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  emit Resized();
}

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new ItemHeightDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr)
    emit Click();
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  if (currentRow() != before && currentRow() >= 0) emit Click();
}

// ---- The form ----

TZELLex::TZELLex(LexiconSession& session, AudioOutput& audio)
    : MediaPlayer(&audio), session_(session) {
  CreateControls();
  FormCreate();
}

TZELLex::~TZELLex() {
  FormDestroy();
}

void TZELLex::CreateControls() {
  setWindowTitle(QString::fromLatin1(kCaption));
  setFont(PixelFont("MS Sans Serif", 11));

  paneloben = new TPanel(this);
  Image2 = new QLabel(paneloben);
  Image2->setPixmap(LoadPicture("qorvex"));
  Image2->setGeometry(16, 16, 48, 48);
  Label2 = new QLabel(QStringLiteral("Qorvex"), paneloben);
  Label2->setFont(PixelFont("Arial", 24));
  Label2->move(88, 36);

  panelunten = new TPanel(this, false);
  panelunten->setFont(PixelFont("Arial", 12));
  Panel5 = new TPanel(panelunten, false);
  Panel5->setGeometry(4, 4, 365, 45);
  Image1 = new QLabel(Panel5);
  Image1->setPixmap(LoadPicture("viewer/magnifier"));
  Image1->setGeometry(16, 12, 20, 24);
  Label1 = new QLabel(QStringLiteral("Begriff suchen:"), Panel5);
  Label1->setFont(PixelFont("Arial", 12));
  Label1->move(50, 16);
  Label1->adjustSize();
  esuche = new TvxEdit(Panel5);
  esuche->setGeometry(136, 12, 97, 23);
  btnSuche = new TvxBitBtn(Panel5);
  btnSuche->Load(bkGStart, QStringLiteral("Suche starten"));
  btnSuche->setGeometry(Panel5->width() - 125, 0, 125, 45);  // aligned right
  btnbeenden = new TvxBitBtn(panelunten);
  btnbeenden->Load(bkClose, QString());
  btnbeenden->resize(108, kBottomHeight);
  btnsieheauch = new QPushButton(QStringLiteral("siehe auch"), panelunten);
  btnsieheauch->setGeometry(400, 16, 75, 25);
  btnsieheauch->setEnabled(false);

  for (int i = 0; i < static_cast<int>(ImageList1.size()); ++i)
    ImageList1[static_cast<size_t>(i)] = QIcon(LoadPicture(QStringLiteral("tree/image%1").arg(i)));
  Tree = new TTreeView(this);
  TreeModel = new TEntryTreeModel(ImageList1, Tree);
  Tree->setModel(TreeModel);
  Tree->setFont(PixelFont("Arial", 12));
  Tree->setUniformRowHeights(true);
  Tree->setIndentation(19);
  Tree->setIconSize(QSize(16, 16));
  Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Tree->setSelectionMode(QAbstractItemView::SingleSelection);

  panelmitte = new TPanel(this);
  panelmitte->setFont(PixelFont("Arial", 12));
  panelscroll = new TPanel(panelmitte, false);
  panelscroll->SetColor(LabelColor(kViewColor));
  panelscroll->move(10, 10);
  ScrollBox = new QScrollArea(panelscroll);
  ScrollBox->setFocusPolicy(Qt::StrongFocus);
  QPalette yellow = ScrollBox->palette();
  yellow.setColor(QPalette::Window, LabelColor(kViewColor));
  ScrollBox->viewport()->setPalette(yellow);
  ScrollBox->viewport()->setAutoFillBackground(true);
  EntryView = new TEntryView;
  EntryView->AttachTo(ScrollBox);
  ListBox = new TListBox(panelmitte);
  ListBox->setGeometry(10, 160, 279, ListBox->height());
  ListBox->hide();

  // Grey bars with black captions.
  const QColor face = palette().color(QPalette::Button);
  paneloben->SetColor(face);
  panelunten->SetColor(face);
  for (QWidget* w : std::initializer_list<QWidget*>{Label1, btnSuche, btnbeenden, Label2})
    SetTextColor(w, Qt::black);

  connect(panelunten, &TPanel::Resized, this, &TZELLex::paneluntenResize);
  connect(panelmitte, &TPanel::Resized, this, &TZELLex::panelmitteResize);
  connect(esuche, &QLineEdit::textChanged, this, &TZELLex::esucheChange);
  connect(btnSuche, &QPushButton::clicked, this, &TZELLex::btnSucheClick);
  connect(btnbeenden, &QPushButton::clicked, this, &TZELLex::btnbeendenClick);
  connect(btnsieheauch, &QPushButton::clicked, this, &TZELLex::btnsieheauchClick);
  connect(Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TZELLex::ScheduleTreeChange);
  connect(Tree, &TTreeView::Click, this, &TZELLex::TreeClick);
  connect(Tree, &QTreeView::expanded, this, &TZELLex::TreeExpanded);
  connect(Tree, &QTreeView::collapsed, this, &TZELLex::TreeCollapsed);
  connect(ListBox, &TListBox::Click, this, &TZELLex::ListBoxClick);
  connect(EntryView, &TEntryView::LabelClicked, this, &TZELLex::LabelClicked);

  CreateAdditions();
  SetOuterBounds(kDesignPlacement);
  esuche->setFocus();
}

// Back and forward, the full-text switch, copy and zoom: in the room the
// form leaves, each with a key and a tool tip.
void TZELLex::CreateAdditions() {
  const auto arrow = [&](Qt::ArrowType type, const char* tip) {
    auto* button = new QToolButton(paneloben);
    button->setArrowType(type);
    button->resize(28, 28);
    button->setToolTip(FromCp1252(tip));
    button->setAccessibleName(FromCp1252(tip));
    button->setEnabled(false);
    return button;
  };
  btnBack = arrow(Qt::LeftArrow,
                  "Zur\xFC"
                  "ck");
  btnForward = arrow(Qt::RightArrow, "Vor");
  cbFullText = new QCheckBox(QStringLiteral("auch im Text"), panelunten);
  cbFullText->setToolTip(
      FromCp1252("Auch Eintr\xE4ge finden, deren Text den Suchbegriff enth\xE4lt"));
  cbFullText->move(490, 18);
  cbFullText->adjustSize();
  SetTextColor(cbFullText, Qt::black);
  setTabOrder(btnSuche, cbFullText);
  const QSettings settings = UserSettings();
  cbFullText->setChecked(settings.value(kFullTextKey, false).toBool());
  Zoom = ZoomStep(settings.value(kZoomKey, 100).toInt(), 0);
  EntryView->SetZoom(Zoom);

  connect(cbFullText, &QCheckBox::toggled, this,
          [](bool on) { UserSettings().setValue(kFullTextKey, on); });
  connect(btnBack, &QToolButton::clicked, this, &TZELLex::GoBack);
  connect(btnForward, &QToolButton::clicked, this, &TZELLex::GoForward);
  connect(EntryView, &TEntryView::ZoomRequested, this,
          [this](int steps) { SetZoom(ZoomStep(Zoom, steps)); });
  EntryView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(EntryView, &QWidget::customContextMenuRequested, this, &TZELLex::EntryViewMenu);
  const auto key = [&](QKeySequence keys, QWidget* where, auto action) {
    auto* shortcut = new QShortcut(keys, where);
    if (where != this) shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, action);
  };
  key(QKeySequence(Qt::ALT | Qt::Key_Left), this, [this] { GoBack(); });
  key(QKeySequence(Qt::ALT | Qt::Key_Right), this, [this] { GoForward(); });
  key(QKeySequence::ZoomIn, this, [this] { SetZoom(ZoomStep(Zoom, 1)); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Equal), this, [this] { SetZoom(ZoomStep(Zoom, 1)); });
  key(QKeySequence::ZoomOut, this, [this] { SetZoom(ZoomStep(Zoom, -1)); });
  key(QKeySequence(Qt::CTRL | Qt::Key_0), this, [this] { SetZoom(100); });
  key(QKeySequence::Copy, ScrollBox, [this] { CopyEntry(); });
  // The mouse's back and forward buttons, wherever they are pressed.
  qApp->installEventFilter(this);

  // For the keyboard and screen readers.
  Label1->setBuddy(esuche);
  MarkAsDecoration(Image1);
  MarkAsDecoration(Image2);
  Tree->setAccessibleName(FromCp1252("Eintr\xE4ge"));
  ListBox->setAccessibleName(FromCp1252("Verwandte Eintr\xE4ge"));
  btnsieheauch->setToolTip(FromCp1252("Verwandte Eintr\xE4ge zeigen (Alt+H)"));
  key(QKeySequence(Qt::ALT | Qt::Key_H), this, [this] {
    if (btnsieheauch->isEnabled()) btnsieheauch->click();
  });
  key(QKeySequence(Qt::Key_F6), this, [this] { NextArea(true); });
  key(QKeySequence(Qt::SHIFT | Qt::Key_F6), this, [this] { NextArea(false); });
  connect(EntryView, &TEntryView::EscapePressed, this, [this] { Tree->setFocus(); });
  // Return on a focused button presses that button, not the default one.
  for (QWidget* w : std::initializer_list<QWidget*>{btnsieheauch, btnBack, btnForward, ListBox})
    w->installEventFilter(this);
  esuche->installEventFilter(this);
}

void TZELLex::NextArea(bool forward) {
  std::vector<QWidget*> areas{esuche, Tree, EntryView};
  if (!ListBox->isHidden()) areas.push_back(ListBox);
  const auto within = [](QWidget* area) {
    const QWidget* f = QApplication::focusWidget();
    return f != nullptr && (f == area || area->isAncestorOf(f) || f->focusProxy() == area);
  };
  const auto at = std::find_if(areas.begin(), areas.end(), within);
  const int n = static_cast<int>(areas.size());
  const int from = at == areas.end() ? (forward ? n - 1 : 0) : static_cast<int>(at - areas.begin());
  areas[static_cast<size_t>((from + (forward ? 1 : n - 1)) % n)]->setFocus(Qt::ShortcutFocusReason);
}

// Down in the search field: the first search hit, shown and focused.
bool TZELLex::FocusFirstHit() {
  const QModelIndex hits = TreeModel->SearchNodeIndex();
  if (!hits.isValid() || TreeModel->rowCount(hits) == 0) return false;
  Tree->expand(hits);
  Tree->setCurrentIndex(TreeModel->index(0, 0, hits));
  Tree->setFocus(Qt::OtherFocusReason);
  return true;
}

void TZELLex::FormCreate() {
  if (session_.state() == LexiconSession::State::kDriverFailed) {
    start_ = StartState::kDriverFailed;  // said by the driver's start
    return;
  }
  Label2->setFont([&] {
    QFont f = Label2->font();
    f.setFamily(QString::fromStdString(ScreenSS().FontName));
    return f;
  }());
  Label2->adjustSize();
  if (!session_.settingsReady()) start_ = StartState::kSettingsFailed;  // the rest still runs
  RunGuarded([&] {
    if (const std::optional<WindowPlacement> stored = ReadPlacement()) {
      // The in-memory copy keeps the bounds that a maximized close leaves.
      SetLayoutPlacement(ToSetups, *stored);
      if (stored->Stored()) {
        SetOuterBounds(*stored);
        if (stored->maximized) setWindowState(windowState() | Qt::WindowMaximized);
      }
    }
  });
  if (session_.state() == LexiconSession::State::kLexiconHeld) ToMessages.Fehler(kLexiconInUse);
  Lex = session_.lexicon();
  if (Lex == nullptr) {
    start_ = StartState::kLexiconUnavailable;
    return;
  }
  bool built = false;
  if (const std::optional<std::string> csv = FindDeliveredFile("", "ZEL_LEX.CSV"))
    RunGuarded([&] { built = btneinlesenClick(*csv); });
  // The import builds the tree itself when it read the file.
  if (!built) BuildTree();
}

void TZELLex::FormDestroy() {
  if (session_.state() == LexiconSession::State::kDriverFailed) return;
  if (start_ == StartState::kRunning) {
    const WindowPlacement now = closing_ ? *closing_ : OuterBounds();
    const bool maximized = closing_ ? closingMaximized_ : isMaximized();
    SetLayoutPlacement(ToSetups, PlacementAtClose(LayoutPlacement(ToSetups), now, maximized));
  }
  Lex = nullptr;
  session_.CloseLexicon();
  // A window whose start was refused leaves the settings as they were.
  if (start_ == StartState::kRunning) RunGuarded([] { WritePlacement(LayoutPlacement(ToSetups)); });
}

// ---- Placement and layout ----

void TZELLex::SetOuterBounds(const WindowPlacement& b) {
  const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  move(b.left, b.top);  // a window's position is its frame's
  resize(std::max(0, b.width - frame.left() - frame.right()),
         std::max(0, b.height - frame.top() - frame.bottom()));
  if (frame.isNull()) pendingOuter_ = b;
  AlignControls();
}

WindowPlacement TZELLex::OuterBounds() const {
  const QRect r = frameGeometry();
  return {r.left(), r.top(), r.height(), r.width(), false};
}

// Once the frame is known, the client shrinks by it so that the outer
// bounds are the stored ones: the window never drifts from start to start.
// A window that starts maximized gets them when it is first made normal.
void TZELLex::FitFrame() {
  if (!pendingOuter_ || windowHandle() == nullptr || !isVisible()) return;
  if (isMaximized() || isFullScreen() || windowHandle()->frameMargins().isNull()) return;
  const WindowPlacement b = *pendingOuter_;
  pendingOuter_.reset();
  SetOuterBounds(b);
  pendingOuter_.reset();
}

bool TZELLex::event(QEvent* e) {
  const bool handled = QWidget::event(e);
  switch (e->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
      FitFrame();
      break;
    default:
      break;
  }
  return handled;
}

void TZELLex::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  AlignControls();
}

// The aligned controls: the bars at top and bottom, the tree on the left,
// panelmitte in the rest.
void TZELLex::AlignControls() {
  const int w = width(), h = height();
  const int middle = std::max(0, h - kTopHeight - kBottomHeight);
  paneloben->setGeometry(0, 0, w, kTopHeight);
  panelunten->setGeometry(0, std::max(kTopHeight, h - kBottomHeight), w, kBottomHeight);
  Tree->setGeometry(0, kTopHeight, std::min(w, kTreeWidth), middle);
  panelmitte->setGeometry(kTreeWidth, kTopHeight, std::max(0, w - kTreeWidth), middle);
  btnBack->move(w - 72, (kTopHeight - btnBack->height()) / 2);
  btnForward->move(w - 40, (kTopHeight - btnForward->height()) / 2);
  paneluntenResize();
}

void TZELLex::closeEvent(QCloseEvent* e) {
  closing_ = OuterBounds();
  closingMaximized_ = isMaximized();
  QWidget::closeEvent(e);
}

void TZELLex::btnbeendenClick() {
  close();
}

void TZELLex::esucheChange() {
  btnSuche->SetDefault(true);
}

void TZELLex::paneluntenResize() {
  btnbeenden->move(panelunten->width() - btnbeenden->width(), 0);
}

void TZELLex::panelmitteResize() {
  RunGuarded([&] {
    const int w = panelmitte->width(), h = panelmitte->height();
    panelscroll->resize(std::max(0, w - 20), std::max(0, h - 20));
    ListBox->resize(std::max(0, w - 20), ListBox->height());
    if (!ListBox->isHidden()) {
      const int need = ListBox->count() * TListBox::kItemHeight;
      const int third = panelscroll->height() / 3;
      ListBox->resize(ListBox->width(), need > third ? third : need + 2 * ListBox->frameWidth());
      panelscroll->resize(panelscroll->width(), std::max(0, h - 20 - ListBox->height()));
      ListBox->move(ListBox->x(), panelscroll->y() + panelscroll->height());
    }
    ScrollBox->setGeometry(0, 0, panelscroll->width(), panelscroll->height());
    TreeChange();
  });
}

// ---- Tree and search ----

void TZELLex::BuildTree() {
  RunGuarded([&] {
    ListBox->hide();
    panelmitte->hide();
    // Shown again however the build ends, or the view would stay dead.
    const auto show = qScopeGuard([&] {
      panelmitte->show();
      panelmitteResize();
    });
    SelectedParentText.clear();  // the selection is lost with the old tree
    SelectedNodeText.clear();
    TreeModel->SetTree(qorvex::BuildTree(*Lex));
    Tree->scrollToTop();  // a rebuilt tree starts at its top
  });
}

void TZELLex::ScheduleTreeChange() {
  if (treeChangePending_) return;
  treeChangePending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        treeChangePending_ = false;
        recordTreeChange_ = true;  // a new selection: the history gets it
        TreeChange();
      },
      Qt::QueuedConnection);
}

void TZELLex::TreeChange() {
  const bool record = std::exchange(recordTreeChange_, false);
  const std::optional<ShownEntry> replay = std::exchange(replay_, std::nullopt);
  RunGuarded([&] {
    const QModelIndex node = Tree->currentIndex();
    if (!node.isValid() || !node.parent().isValid() || panelmitte->isHidden()) return;
    ClearEntryView();
    const TreeNode& entry = TreeModel->Node(node);
    const TreeNode& parent = TreeModel->Node(node.parent());
    SelectedNodeText = entry.caption;
    SelectedParentText = parent.caption;
    if (replay && replay->parentCaption == parent.caption && replay->nodeCaption == entry.caption) {
      ShowEntry(*replay, false);  // as it was shown, not recorded twice
      return;
    }
    if (std::optional<LexEntry> found =
            FindNodeEntry(*Lex, parent.caption, entry.caption, entry.data)) {
      ShownEntry shown;
      shown.entry = std::move(*found);
      shown.showTopic = IsSpecialCaption(parent.caption);
      shown.parentCaption = parent.caption;
      shown.nodeCaption = entry.caption;
      // A hit found only through its text shows where the text holds it.
      const bool folded = foundBy_ == FoundBy::kFolded;
      if (parent.caption == kSearchCaption && foundInText_ &&
          (foundBy_ == FoundBy::kExact || folded) &&
          !HitsOutsideText(shown.entry, foundText_, folded)) {
        shown.marked = foundText_;
        shown.markFolded = folded;
      }
      ShowEntry(shown, record);
    }
  });
}

void TZELLex::TreeClick() {
  RunGuarded([&] {
    if (!ListBox->isHidden()) {
      ListBox->hide();
      panelmitteResize();
    }
    const QModelIndex node = Tree->currentIndex();
    if (node.isValid() && !node.parent().isValid()) ClearEntryView();
  });
}

void TZELLex::TreeExpanded(const QModelIndex& node) {
  TreeModel->SetImage(node, ImageWhenExpanded(TreeModel->Node(node).image));
}

void TZELLex::TreeCollapsed(const QModelIndex& node) {
  TreeModel->SetImage(node, ImageWhenCollapsed(TreeModel->Node(node).image));
}

void TZELLex::btnSucheClick() {
  RunGuarded([&] {
    ClearEntryView();
    Busy = true;
    const auto idle = qScopeGuard([&] { Busy = false; });
    bool hit = false;
    TreeModel->SetImage(TreeModel->SearchNodeIndex(), kImageSearch);
    SearchText = SearchTextOf(esuche->ShortText());
    foundBy_ = FoundBy::kNothing;
    if (!SearchText.empty()) {
      BuildTree();
      // The specified search first; its fallbacks only when it finds nothing.
      foundText_ = esuche->ShortText();
      foundInText_ = cbFullText->isChecked();
      const FoundEntries found = FindForField(*Lex, foundText_, foundInText_);
      foundBy_ = found.by;
      hit = !found.hits.empty();
      TreeModel->AddSearchHits(found.hits);
      for (int row = 0; row < TreeModel->rowCount(); ++row) {
        const QModelIndex root = TreeModel->index(row, 0);
        if (TreeModel->Node(root).caption == kSearchCaption) Tree->expand(root);
      }
    }
    // Change events raised by the rebuild arrive now, while Busy holds.
    QCoreApplication::processEvents();
    Busy = false;
    if (hit) RenderEntry(false, true);
  });
}

bool TZELLex::btneinlesenClick(const std::string& path) {
  const ImportResult result = ImportLexicon(path, *Lex);
  if (!result.read) {
    ToMessages.Fehler(result.error);
    return false;
  }
  if (result.storageError != 0) {
    ToMessages.Fehler(ImportRefusedText(path, result.storageError));
    return false;
  }
  BuildTree();
  return true;
}

// ---- The entry view ----

void TZELLex::ClearEntryView() {
  EntryView->Clear();
  btnsieheauch->setEnabled(false);
}

void TZELLex::RenderEntry(bool ShowTopic, bool HintOnly) {
  if (Busy) return;
  // Laid out for the width the zoomed labels fill; at 100 % the view's.
  const int32_t width = static_cast<int32_t>(int64_t{ScrollBox->width()} * 100 / Zoom);
  EntryView->SetZoom(Zoom);
  hintShown_ = HintOnly;
  if (HintOnly) {
    // After a fallback search a second, bold line says what the hits are.
    EntryView->SetLabels(SearchHintLabels(foundBy_, width, EntryView->Measurer()));
  } else {
    EntryView->SetLabels(qorvex::RenderEntry(Shown.term, Shown.topic, Shown.text, ShowTopic, false,
                                             width, EntryView->Measurer()));
    MarkSearchText();
  }
  btnsieheauch->setEnabled(true);
}

void TZELLex::MarkSearchText() {
  if (ShownAs.marked.empty() || !(ShownAs.entry == Shown)) return;
  EntryView->SetMarks(FindTextMarks(EntryView->Labels(), ShownAs.marked, ShownAs.markFolded));
  if (EntryView->Marks().empty()) return;
  const QRect first = EntryView->MarkRect(0);
  ScrollBox->ensureVisible(first.center().x(), first.center().y(), first.width() / 2 + 20,
                           first.height() / 2 + 20);
}

void TZELLex::ShowEntry(const ShownEntry& shown, bool record) {
  Shown = shown.entry;
  ShownAs = shown;
  ClearEntryView();
  RenderEntry(shown.showTopic, false);
  if (record && !Busy) History.Record(shown);
  UpdateHistoryButtons();
}

void TZELLex::LabelClicked(int index) {
  // A copy: a dialog shown by the click may lay the view out anew.
  const EntryLabel label = EntryView->Labels()[static_cast<size_t>(index)];
  switch (label.kind) {
    case LabelKind::Link:
      LinkLabelClick(label);
      break;
    case LabelKind::Morse:
      MorseLabelClick(label);
      break;
    case LabelKind::Tone:
      ToneLabelClick(label);
      break;
    default:
      break;
  }
}

void TZELLex::LinkLabelClick(const EntryLabel& label) {
  // Only what the core found openable (http, https, mailto) is handed on.
  if (!label.url.empty()) QDesktopServices::openUrl(QUrl(FromCp1252(label.url)));
}

void TZELLex::MorseLabelClick(const EntryLabel& label) {
  RunGuarded([&] { PlayMorseText(label.caption, true, *MediaPlayer); });
}

void TZELLex::ToneLabelClick(const EntryLabel& label) {
  RunGuarded([&] { PlayToneFile(label.toneFile, *MediaPlayer); });
}

// ---- See also ----

void TZELLex::btnsieheauchClick() {
  RunGuarded([&] {
    if (EntryView->Labels().empty()) {
      ToMessages.Achtung("QORVEX", kNothingSelected);
      return;
    }
    // After a search only the hint is shown and no entry is selected.
    if (SelectedNodeText.empty()) return;
    const std::optional<LexEntry> selected =
        FindSelectedEntry(*Lex, SelectedParentText, SelectedNodeText);
    if (!selected) return;
    const std::vector<RelatedEntry> related = RankRelated(*Lex, *selected);
    ListBox->clear();
    for (const RelatedEntry& r : related) {
      // Shown without the blanks that pad it; looked up as it is.
      const size_t end = r.caption.find_last_not_of(' ');
      auto* item = new QListWidgetItem(FromCp1252(std::string_view(r.caption).substr(0, end + 1)));
      item->setData(Qt::UserRole, QByteArray::fromStdString(r.caption));
      ListBox->addItem(item);
    }
    ListBox->show();
    panelmitteResize();
  });
}

void TZELLex::ListBoxClick() {
  RunGuarded([&] {
    const QListWidgetItem* item = ListBox->currentItem();
    if (item == nullptr) return;
    if (std::optional<LexEntry> found =
            FindEntryByTerm(*Lex, item->data(Qt::UserRole).toByteArray().toStdString())) {
      ShownEntry shown;
      shown.entry = std::move(*found);
      shown.showTopic = true;
      ShowEntry(shown, true);
    }
  });
}

// ---- History, copy and zoom ----

void TZELLex::GoBack() {
  ShowFromHistory(History.Back());
}

void TZELLex::GoForward() {
  ShowFromHistory(History.Forward());
}

void TZELLex::ShowFromHistory(const ShownEntry* shown) {
  UpdateHistoryButtons();
  if (shown == nullptr) return;
  const ShownEntry entry = *shown;
  RunGuarded([&] {
    // An entry shown from the tree selects its node again where the tree
    // still has it; TreeChange then shows it.
    const QModelIndex node = FindTreeNode(*TreeModel, entry.parentCaption, entry.nodeCaption);
    if (node.isValid()) {
      Tree->expand(node.parent());
      Tree->scrollTo(node);
      if (node != Tree->currentIndex()) {
        replay_ = entry;
        Tree->setCurrentIndex(node);
        return;
      }
    }
    ShowEntry(entry, false);
  });
}

void TZELLex::UpdateHistoryButtons() {
  btnBack->setEnabled(History.CanGoBack());
  btnForward->setEnabled(History.CanGoForward());
}

bool TZELLex::EntryShown() const {
  return !EntryView->Labels().empty() && !hintShown_;
}

void TZELLex::CopyEntry() {
  if (EntryShown()) QGuiApplication::clipboard()->setText(FromCp1252(EntryCopyText(Shown)));
}

void TZELLex::CopyTerm() {
  if (EntryShown())
    QGuiApplication::clipboard()->setText(FromCp1252(WithoutTrailingBlanks(Shown.term)));
}

void TZELLex::EntryViewMenu(const QPoint& at) {
  QMenu menu(this);
  QAction* entry = menu.addAction(QStringLiteral("Eintrag kopieren"), this, &TZELLex::CopyEntry);
  entry->setShortcut(QKeySequence::Copy);
  QAction* term = menu.addAction(QStringLiteral("Begriff kopieren"), this, &TZELLex::CopyTerm);
  entry->setEnabled(EntryShown());
  term->setEnabled(EntryShown());
  menu.addSeparator();
  menu.addAction(FromCp1252("Vergr\xF6\xDF"
                            "ern"),
                 this, [this] { SetZoom(ZoomStep(Zoom, 1)); })
      ->setShortcut(QKeySequence::ZoomIn);
  menu.addAction(QStringLiteral("Verkleinern"), this, [this] { SetZoom(ZoomStep(Zoom, -1)); })
      ->setShortcut(QKeySequence::ZoomOut);
  menu.addAction(FromCp1252("Originalgr\xF6\xDF"
                            "e"),
                 this, [this] { SetZoom(100); })
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  menu.exec(EntryView->mapToGlobal(at));
}

void TZELLex::SetZoom(int percent) {
  const int zoom = ZoomStep(percent, 0);
  if (zoom == Zoom) return;
  Zoom = zoom;
  RunGuarded([&] {
    UserSettings().setValue(kZoomKey, zoom);
    if (EntryView->Labels().empty())
      EntryView->SetZoom(zoom);
    else
      RenderEntry(hintShown_ ? false : ShownAs.showTopic, hintShown_);
  });
}

bool TZELLex::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == esuche && key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier)
      return FocusFirstHit();
    if (enter && watched == ListBox) {
      ListBoxClick();  // the list's entry, not the window's default button
      return true;
    }
    if (enter && key->modifiers() == Qt::NoModifier &&
        (watched == btnsieheauch || watched == btnBack || watched == btnForward)) {
      auto* button = static_cast<QAbstractButton*>(watched);
      if (button->isEnabled()) button->click();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    if (widget != nullptr && widget->window() == this &&
        (button == Qt::BackButton || button == Qt::ForwardButton)) {
      if (button == Qt::BackButton)
        GoBack();
      else
        GoForward();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace qorvex
