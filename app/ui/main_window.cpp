// The main window; see main_window.h.
#include "app/ui/main_window.h"

#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QWindow>

#include "app/core/entry_tree.h"
#include "app/core/lexicon_import.h"
#include "app/core/morse.h"
#include "app/core/search.h"
#include "app/core/see_also.h"
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

  SetOuterBounds(kDesignPlacement);
  esuche->setFocus();
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
        TreeChange();
      },
      Qt::QueuedConnection);
}

void TZELLex::TreeChange() {
  RunGuarded([&] {
    const QModelIndex node = Tree->currentIndex();
    if (!node.isValid() || !node.parent().isValid() || panelmitte->isHidden()) return;
    ClearEntryView();
    const TreeNode& entry = TreeModel->Node(node);
    const TreeNode& parent = TreeModel->Node(node.parent());
    SelectedNodeText = entry.caption;
    SelectedParentText = parent.caption;
    if (std::optional<LexEntry> found =
            FindNodeEntry(*Lex, parent.caption, entry.caption, entry.data)) {
      Shown = std::move(*found);
      RenderEntry(IsSpecialCaption(parent.caption), false);
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
    if (!SearchText.empty()) {
      BuildTree();
      const std::vector<SearchHit> hits = SearchLexicon(*Lex, SearchText);
      hit = !hits.empty();
      TreeModel->AddSearchHits(hits);
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
  const std::string text = HintOnly ? std::string() : Shown.text;
  EntryView->SetLabels(qorvex::RenderEntry(Shown.term, Shown.topic, text, ShowTopic, HintOnly,
                                           ScrollBox->width(), EntryView->Measurer()));
  btnsieheauch->setEnabled(true);
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
      Shown = std::move(*found);
      ClearEntryView();
      RenderEntry(true, false);
    }
  });
}

}  // namespace qorvex
