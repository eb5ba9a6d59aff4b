// SPDX-License-Identifier: GPL-3.0-or-later
// Sizing of the message dialogs (window layer, but no widget: testable
// without a window). The dialog's width follows the message's widest line
// between a minimum and a wrap threshold; beyond it the message wraps at a
// fixed width and the dialog grows in height. Lengths in pixels at the
// design font; the design constants are scaled by DialogScale.
#pragma once

#include <functional>

namespace qorvex {

// Fixed places in the form (Panel1 holds Image1, Label1, Label2 and Panel2,
// which is aligned to the bottom and holds Bevel1 and the buttons).
inline constexpr int kImageLeft = 24;
inline constexpr int kImageTop = 16;
inline constexpr int kHeadingLeft = 128;
inline constexpr int kHeadingTop = 16;
inline constexpr int kLabel2Left = 128;
inline constexpr int kLabel2Top = 48;
inline constexpr int kPanel2Height = 66;
inline constexpr int kBevelTop = 20;
inline constexpr int kBevelHeight = 2;
inline constexpr int kButtonTop = 25;
inline constexpr int kButtonHeight = 35;
inline constexpr int kCheckLeft = 16;
inline constexpr int kCheckTop = 40;
inline constexpr int kCheckWidth = 185;
inline constexpr int kCheckHeight = 17;
// Gap between the check box and the button beside it, and to the edge.
inline constexpr int kCheckButtonGap = 8;
inline constexpr int kRightGap = 16;

// The dialog font's size in whole points (as the platform reports it for a
// pixel height of 12) divided by 9: 1.0 on a 96-dpi screen.
double DialogScale(int fontPoints);

struct TMessageText {
  int widestLine = 0;     // width of the widest line, not wrapped
  int naturalHeight = 0;  // height of the text, not wrapped
  int lineBreaks = 0;     // line breaks (carriage returns) in the text
  // Height the text needs when wrapped at a width; empty: not measured.
  std::function<int(int width)> wrappedHeight;
};

struct TMessageGeometry {
  int clientWidth = 0;  // Panel1 and the window's client area
  int clientHeight = 0;
  int labelWidth = 0;  // Label2
  int labelHeight = 0;
  bool wordWrap = false;
};

// With s = scale and [x] rounding half to even:
//   w = [20 s] + 128 + widestLine, at least [320 s] (when below 320 s);
//   when w > 600 s the text wraps: line height h = [15 s], wrap width
//   ww = [580 s], label height h * (widestLine div ww + 1) + h * lineBreaks
//   (or what wrappedHeight(ww) measures, when that is more: the text is
//   never cut off), label width ww, w = [20 s] + 128 + ww;
//   height = the larger of 48 + label height + 66 and 16 + pictureHeight + 66.
// minClientWidth widens the dialog for a control beside the button.
TMessageGeometry LayoutMessage(const TMessageText& text, double scale, int pictureHeight,
                               int minClientWidth = 0);

// Two buttons meeting at the middle of Panel2 with one pixel between:
// the first ends at half, the second starts at half + 1 (half =
// panelWidth div 2).
struct TButtonPair {
  int firstLeft = 0;
  int secondLeft = 0;
};
TButtonPair PlaceButtonPair(int panelWidth, int firstWidth);
// One button centred on half, but not left of minLeft.
int PlaceOneButton(int panelWidth, int width, int minLeft = 0);

}  // namespace qorvex
