// SPDX-License-Identifier: GPL-3.0-or-later
// Message dialog sizing: the pure rule, and the forms that apply it.
#include "app/ui/dialoglayout.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>

#include "app/ui/command_button.h"
#include "app/ui/error_dialog.h"
#include "app/ui/notice_dialog.h"
#include "app/ui/question_dialog.h"
#include "app/ui/warning_dialog.h"

namespace qorvex {
namespace {

TEST(DialogLayout, SizesToTheWidestLine) {
  struct Case {
    const char* what;
    double scale;
    int widest, natural, breaks, picture, minWidth;
    int width, height, labelWidth, labelHeight;
    bool wrap;
  };
  const double s10 = DialogScale(10);  // 1.111: [20 s] 22, [320 s] 356, [15 s] 17, [580 s] 644
  for (const Case& c : {
           Case{"short question", 1.0, 132, 14, 0, 64, 0, 320, 146, 132, 14, false},
           Case{"short error", 1.0, 132, 14, 0, 61, 0, 320, 143, 132, 14, false},
           Case{"empty", 1.0, 0, 14, 0, 61, 0, 320, 143, 0, 14, false},
           Case{"just the minimum", 1.0, 172, 14, 0, 64, 0, 320, 146, 172, 14, false},
           Case{"above the minimum", 1.0, 173, 14, 0, 64, 0, 321, 146, 173, 14, false},
           Case{"w exactly 600", 1.0, 452, 14, 0, 64, 0, 600, 146, 452, 14, false},
           Case{"one pixel more", 1.0, 453, 14, 0, 64, 0, 728, 146, 580, 15, true},
           Case{"1500 pixels, two returns", 1.0, 1500, 42, 2, 64, 0, 728, 189, 580, 75, true},
           Case{"many lines unwrapped", 1.0, 300, 140, 9, 61, 0, 448, 254, 300, 140, false},
           Case{"check box beside", 1.0, 132, 14, 0, 64, 330, 330, 146, 132, 14, false},
           Case{"10 points, short", s10, 132, 14, 0, 64, 0, 356, 146, 132, 14, false},
           Case{"10 points, wraps", s10, 517, 14, 1, 64, 0, 794, 148, 644, 34, true},
       }) {
    TMessageText text;
    text.widestLine = c.widest;
    text.naturalHeight = c.natural;
    text.lineBreaks = c.breaks;
    const TMessageGeometry g = LayoutMessage(text, c.scale, c.picture, c.minWidth);
    EXPECT_EQ(std::tie(g.clientWidth, g.clientHeight, g.labelWidth, g.labelHeight, g.wordWrap),
              std::tie(c.width, c.height, c.labelWidth, c.labelHeight, c.wrap))
        << c.what;
  }
  // Wrapped text that needs more lines than the rule counts is not cut off.
  TMessageText two;
  two.widestLine = 1000;
  two.lineBreaks = 1;
  int askedWidth = 0;
  two.wrappedHeight = [&askedWidth](int width) {
    askedWidth = width;
    return 4 * 14;
  };
  EXPECT_EQ(LayoutMessage(two, 1.0, 64).labelHeight, 56);
  EXPECT_EQ(askedWidth, 580);
  two.wrappedHeight = [](int) { return 20; };
  EXPECT_EQ(LayoutMessage(two, 1.0, 64).labelHeight, 45) << "the rule's height when enough";
}

// At 320 pixels: the forms below.
TEST(DialogLayout, PlacesTheButtons) {
  EXPECT_EQ(PlaceButtonPair(321, 81).firstLeft, 79);  // half rounds down
  EXPECT_EQ(PlaceButtonPair(321, 81).secondLeft, 161);
  EXPECT_EQ(PlaceOneButton(728, 105), 312);
  EXPECT_EQ(PlaceOneButton(330, 105, 209), 209);
}

TEST(DialogLayout, FormsApplyTheRule) {
  const QString shortText = QString::fromUtf8("Kein Thema ausgewählt.");
  Tjaneinfrage frage;
  Thinweis hinweis;
  Tfehler fehler;
  Tachtung achtung;
  for (auto [form, height] : {std::pair<TvxMessageForm*, int>{&frage, 146},
                              {&hinweis, 146},
                              {&fehler, 143},
                              {&achtung, 143}}) {
    form->SetMessage(shortText);
    form->ApplyLayout();
    EXPECT_EQ(form->size(), QSize(320, height)) << form->windowTitle().toStdString();
    EXPECT_EQ(form->Panel2->geometry(), QRect(0, height - 66, 320, 66));
    EXPECT_EQ(form->Bevel1->geometry(), QRect(0, 20, 320, 2));
    EXPECT_FALSE(form->Label2->wordWrap());
  }
  EXPECT_EQ(frage.vxBitBtn1->geometry(), QRect(79, 25, 81, 35));
  EXPECT_EQ(frage.vxBitBtn2->geometry(), QRect(161, 25, 81, 35));
  EXPECT_EQ(hinweis.vxBitBtn1->geometry(), QRect(108, 25, 105, 35));
  EXPECT_EQ(fehler.vxBitBtn1->geometry(), QRect(104, 25, 113, 35));
  EXPECT_EQ(achtung.vxBitBtn1->geometry(), QRect(108, 25, 105, 35));
  EXPECT_EQ(frage.Image1->size(), QSize(64, 64));
  EXPECT_EQ(fehler.Image1->size(), QSize(60, 61));

  // A long message with carriage returns (CR LF counts once) wraps at 580.
  const QString word = QStringLiteral("Datei ");
  QString longText;
  while (QFontMetrics(fehler.Label2->font()).horizontalAdvance(longText) < 1500) longText += word;
  fehler.SetMessage(longText + "\r\nzweite Zeile\rdritte Zeile");
  fehler.ApplyLayout();
  EXPECT_TRUE(fehler.Label2->wordWrap());
  EXPECT_EQ(fehler.Label2->size(), QSize(580, 75));
  EXPECT_EQ(fehler.Label2->text().count('\n'), 2);
  EXPECT_EQ(fehler.size(), QSize(728, 189));
  EXPECT_EQ(fehler.vxBitBtn1->x(), 364 - 56);

  // The check box of the note keeps the button off its text.
  hinweis.ShowCheckBox(true);
  hinweis.ApplyLayout();
  EXPECT_EQ(hinweis.width(), 330);
  EXPECT_GE(hinweis.vxBitBtn1->x(), hinweis.ccheck->geometry().right() + 1);
}

}  // namespace
}  // namespace qorvex
