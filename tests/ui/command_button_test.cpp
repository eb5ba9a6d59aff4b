// SPDX-License-Identifier: GPL-3.0-or-later
// The command button: its kinds, keys, clicks, menu, and how it looks.
#include "app/ui/command_button.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QEnterEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <set>

#include "tests/ui/uitest.h"

namespace qorvex {
namespace {

using testing::DarkestLevel;

// A shown window holding one button in the dialogs' font.
struct Host {
  explicit Host(QWidget* window = nullptr) : owned(window == nullptr ? new QWidget : nullptr) {
    QWidget* w = window != nullptr ? window : owned.get();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    w->setFont(font);
    w->resize(300, 120);
    button = new TvxBitBtn(w);
    button->setGeometry(10, 10, 113, 35);
    w->show();
  }
  std::unique_ptr<QWidget> owned;
  TvxBitBtn* button = nullptr;
};

void Enter(TvxBitBtn* button) {
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(button, &enter);
}

TEST(BitBtn, KindTable) {
  // The kind, its caption and its result.
  // clang-format off
  const std::tuple<TvxBitBtnKind, const char*, int> rows[] = {
      {bkOK, "OK", 1}, {bkCancel, "Abbrechen", 2}, {bkHelp, "&Hilfe", 0}, {bkYes, "&Ja", 6},
      {bkNo, "&Nein", 7}, {bkClose, "&Schließen", 0}, {bkAbort, "Abbruch", 3},
      {bkRetry, "&Wiederholen", 4}, {bkIgnore, "&Ignorieren", 5}, {bkAll, "&Alles", 8},
      {bkWeiter, "&Weiter", 11}, {bkZurueck, "&Zurück", 12}, {bkEdit, "&Eigenschaften", 13},
      {bkUebernahme, "&Übernehmen", 1}, {bkAendern, "&Ändern", 0},
      {bkSuche, "&erweiterte|Suche", 0}, {bkGSuche, "&erweiterte Suche", 0},
      {bkGAmpelgelb, "Warte", 0}, {bkGStart, "&Start", 0}, {bkGLabel, "&QSL-Label", 0},
      {bkKSchliessen, "", 0}};
  // clang-format on
  for (const auto& [kind, caption, result] : rows) {
    EXPECT_STREQ(KindInfo(kind).caption, caption) << KindInfo(kind).name;
    EXPECT_EQ(KindInfo(kind).result, result) << KindInfo(kind).name;
  }
  EXPECT_STREQ(KindInfo(bkGSpalten).glyph, "VXBBGOPTION");
  EXPECT_STREQ(KindInfo(bkExportWeb).glyph, "VXBBEXPORT");
  EXPECT_STREQ(KindInfo(bkGStatErweitert).name, "bkGStatErweitert");
  EXPECT_EQ(KindInfo(static_cast<TvxBitBtnKind>(200)).number, bkCustom);

  // Every kind set on a fresh button: caption, result, glyph, Default and
  // Cancel as the table says; kinds without a glyph resource keep the
  // caption and get no glyph.
  const std::set<int> noGlyph = {0, 62, 63, 67, 68};
  for (int n = 1; n < kBitBtnKindCount; ++n) {
    const auto kind = static_cast<TvxBitBtnKind>(n);
    const TvxBitBtnKindInfo& info = KindInfo(kind);
    const bool hasGlyph = n <= 69 && noGlyph.count(n) == 0;
    EXPECT_EQ(info.glyph != nullptr, hasGlyph) << info.name;
    TvxBitBtn button;
    button.setText("vorher");
    button.SetVxKind(kind);
    EXPECT_EQ(button.vxKind(), kind);
    EXPECT_EQ(button.text(), info.caption ? QString::fromUtf8(info.caption) : "vorher") << n;
    EXPECT_EQ(button.ModalResult(), info.result) << info.name;
    EXPECT_EQ(button.Glyph().isNull(), !hasGlyph) << info.name;
    EXPECT_EQ(button.NumGlyphs(), 2);
    EXPECT_EQ(button.Default(), kind == bkOK || kind == bkYes || kind == bkUebernahme);
    EXPECT_EQ(button.Cancel(), kind == bkCancel || kind == bkNo);
    EXPECT_EQ(button.height(), 35);
  }
}

TEST(BitBtn, KindSecondValueAndStoredCaption) {
  TvxBitBtn button;
  button.SetVxKind(bkYes);
  EXPECT_EQ(button.vxKindQD5(), bkYes);
  button.SetVxKind(bkNo);
  EXPECT_EQ(button.vxKindQD5(), bkYes) << "copied only while bkCustom";
  EXPECT_FALSE(button.Default());
  button.SetVxKindQD5(bkCustom);
  button.SetVxKind(bkClose);
  EXPECT_EQ(button.vxKindQD5(), bkClose);
  button.SetGlyph(QPixmap(16, 16));
  EXPECT_EQ(button.vxKind(), bkCustom) << "a glyph set by hand";
  button.SetVxKind(bkWeiter);
  EXPECT_EQ(button.vxKind(), bkWeiter);

  TvxBitBtn stored;
  stored.Load(bkGStart, "Suche starten");
  EXPECT_EQ(stored.text(), "Suche starten");
  EXPECT_EQ(stored.vxKind(), bkGStart);
  TvxBitBtn plain;
  plain.Load(bkGStart, "");
  EXPECT_EQ(plain.text(), "&Start");
  plain.setText("Suche starten");
  plain.SetVxKind(bkYes);
  EXPECT_EQ(plain.text(), "&Ja") << "outside loading the kind's caption wins";
}

TEST(BitBtn, CaptionLinesAndAccessKey) {
  Host host;
  TvxBitBtn* button = host.button;
  button->SetVxKind(bkZusatz);
  button->resize(120, 45);
  (void)button->grab();
  const QFontMetrics fm(button->font());
  EXPECT_EQ(button->CaptionRect().height(), 2 * fm.height());
  const int longerLine = fm.boundingRect(QRect(), Qt::AlignLeft, "funktionen").width();
  EXPECT_EQ(button->CaptionRect().width(), longerLine);
  EXPECT_EQ(QKeySequence::mnemonic(button->text()), QKeySequence(Qt::ALT | Qt::Key_Z));
  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QApplication::setActiveWindow(button->window());
  QTest::keyClick(button->window(), Qt::Key_Z, Qt::AltModifier);
  EXPECT_EQ(clicked.count(), 1);
  // vxautoWidth sizes to the caption drawn last; reading it gives 0.
  button->SetVxautoWidth(10);
  EXPECT_EQ(button->width(), longerLine + 10);
  EXPECT_EQ(button->vxautoWidth(), 0);
}

TEST(BitBtn, DefaultAndCancelInDialogsAndWindows) {
  for (auto [key, result] :
       {std::pair{Qt::Key_Return, 6}, {Qt::Key_Enter, 6}, {Qt::Key_Escape, 7}}) {
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    auto* yes = new TvxBitBtn(&dialog);
    yes->SetVxKind(bkYes);
    auto* no = new TvxBitBtn(&dialog);
    no->SetVxKind(bkNo);
    dialog.show();
    edit->setFocus();
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::keyClick(edit, key);
    ASSERT_EQ(finished.count(), 1) << key;
    EXPECT_EQ(finished.at(0).at(0).toInt(), result);
  }
  // In a plain window the same keys click the buttons.
  Host host;
  auto* edit = new QLineEdit(host.button->window());
  edit->show();
  edit->setFocus();
  QSignalSpy clicked(host.button, &QAbstractButton::clicked);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 0) << "not the default yet";
  host.button->SetDefault(true);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1);
  host.button->setEnabled(false);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1) << "a disabled default does not click";
  host.button->setEnabled(true);
  host.button->SetCancel(true);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(clicked.count(), 2);
  // The focused button takes Enter itself, default or not.
  auto* other = new TvxBitBtn(host.button->window());
  other->show();
  other->setFocus();
  QSignalSpy otherClicked(other, &QAbstractButton::clicked);
  QTest::keyClick(other, Qt::Key_Return);
  EXPECT_EQ(otherClicked.count(), 1);
  EXPECT_EQ(clicked.count(), 2);
}

TEST(BitBtn, FlatUntilTheMouseEnters) {
  Host host;
  TvxBitBtn* b = host.button;
  b->SetVxKind(bkWeiter);
  QSignalSpy entered(b, &TvxBitBtn::OnMouseEnter);
  QSignalSpy left(b, &TvxBitBtn::OnMouseLeave);
  const QImage flat = b->grab().toImage();
  const QRgb background = flat.pixel(b->width() / 2, 1);
  for (const QPoint& p : {QPoint(0, 0), QPoint(b->width() - 1, b->height() - 1),
                          QPoint(0, b->height() - 1), QPoint(b->width() - 1, 0)})
    EXPECT_EQ(flat.pixel(p), background) << "an edge without the mouse";
  Enter(b);
  const QImage raised = b->grab().toImage();
  EXPECT_EQ(entered.count(), 1);
  EXPECT_NE(raised, flat);
  const QPalette& pal = b->palette();
  EXPECT_EQ(raised.pixel(b->width() - 1, b->height() - 1), pal.color(QPalette::Shadow).rgb());
  EXPECT_EQ(raised.pixel(1, 1), pal.color(QPalette::Light).rgb());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(b, &leave);
  EXPECT_EQ(left.count(), 1);
  EXPECT_EQ(b->grab().toImage(), flat);

  // Pressed: sunken; vxnichtFlat: raised without the mouse.
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(b->grab().toImage().pixel(0, 0), pal.color(QPalette::Dark).rgb());
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(20, 10));
  (void)b->grab();  // the drawing after the press is still raised
  EXPECT_EQ(b->grab().toImage(), flat);
  b->SetVxnichtFlat(true);
  EXPECT_EQ(b->grab().toImage(), raised);

  // A disabled button does not react to the mouse.
  b->SetVxnichtFlat(false);
  b->setEnabled(false);
  Enter(b);
  EXPECT_EQ(entered.count(), 1);
  EXPECT_EQ(b->grab().toImage().pixel(0, 0), background);
}

TEST(BitBtn, DeaktiviertLooksDisabledAndStillClicks) {
  Host host;
  TvxBitBtn* b = host.button;
  b->SetVxKind(bkWeiter);
  const QImage normal = b->grab().toImage();
  const QRect caption = b->CaptionRect();
  ASSERT_FALSE(caption.isEmpty());
  EXPECT_LT(DarkestLevel(normal, caption), 60) << "black caption";
  b->SetVxDeaktiviert(true);
  const QImage grey = b->grab().toImage();
  EXPECT_EQ(DarkestLevel(grey, caption), 128) << "grey caption";
  // The glyph's disabled image is grey too: no saturated blue left.
  const QRect glyph(caption.left() - 4 - 18, 0, 18, b->height());
  bool blue = false;
  for (int y = glyph.top(); y <= glyph.bottom(); ++y)
    for (int x = glyph.left(); x <= glyph.right(); ++x)
      blue = blue || grey.pixelColor(x, y).saturation() > 60;
  EXPECT_FALSE(blue);
  QSignalSpy clicked(b, &QAbstractButton::clicked);
  QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);

  // A picture is drawn faded (alpha / 3) in the disabled look.
  QImage red(10, 10, QImage::Format_ARGB32);
  red.fill(QColor(255, 0, 0));
  b->SetImageNormal(red);
  const QImage faded = b->grab().toImage();
  b->SetVxDeaktiviert(false);
  const QImage full = b->grab().toImage();
  const QPoint centre = QRect(caption.left() - 4 - 18, (b->height() - 18 + 1) / 2, 18, 18).center();
  EXPECT_EQ(full.pixelColor(centre), QColor(255, 0, 0));
  const QColor f = faded.pixelColor(centre);
  const QColor background = normal.pixelColor(2, 2);
  EXPECT_NEAR(f.red(), 85 + background.red() * 2 / 3, 2);
  EXPECT_NEAR(f.green(), background.green() * 2 / 3, 2);
}

TEST(BitBtn, MenuAndClose) {
  Host host;
  TvxBitBtn* b = host.button;
  QMenu menu;
  menu.addAction("eins");
  b->SetVxMenue(&menu);
  // Without a click handler every press opens the menu below the button.
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(menu.isVisible());
  EXPECT_EQ(menu.pos(), b->mapToGlobal(QPoint(0, b->height())));
  menu.hide();
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(10, 10));
  // With one, only the rightmost 12 pixels do; elsewhere it is a click.
  int handled = 0;
  QObject::connect(b, &QAbstractButton::clicked, [&handled] { ++handled; });
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() - 14, 10));
  EXPECT_EQ(handled, 1);
  EXPECT_FALSE(menu.isVisible());
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() - 12, 10));
  EXPECT_EQ(handled, 1);
  EXPECT_TRUE(menu.isVisible());
  menu.hide();

  // bkClose closes the window that holds it, instead of the handler.
  b->SetVxMenue(nullptr);
  b->SetVxKind(bkClose);
  QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_FALSE(b->window()->isVisible());
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace qorvex
