// SPDX-License-Identifier: GPL-3.0-or-later
// Sizing of the message dialogs; see dialoglayout.h.
#include "app/ui/dialoglayout.h"

#include <algorithm>

#include "support/dpi_scale.h"

namespace qorvex {

double DialogScale(int fontPoints) {
  return fontPoints / 9.0;
}

TMessageGeometry LayoutMessage(const TMessageText& text, double scale, int pictureHeight,
                               int minClientWidth) {
  TMessageGeometry g;
  const int margin = RoundHalfEven(20 * scale);
  g.labelWidth = text.widestLine;
  g.labelHeight = text.naturalHeight;
  g.clientWidth = margin + kLabel2Left + g.labelWidth;
  if (g.clientWidth < 320 * scale) g.clientWidth = RoundHalfEven(320 * scale);
  if (g.clientWidth > 600 * scale) {
    g.wordWrap = true;
    const int lineHeight = RoundHalfEven(15 * scale);
    const int wrapWidth = std::max(RoundHalfEven(580 * scale), 1);
    g.labelHeight = lineHeight * (text.widestLine / wrapWidth + 1) + lineHeight * text.lineBreaks;
    if (text.wrappedHeight) g.labelHeight = std::max(g.labelHeight, text.wrappedHeight(wrapWidth));
    g.labelWidth = wrapWidth;
    g.clientWidth = margin + kLabel2Left + g.labelWidth;
  }
  g.clientWidth = std::max(g.clientWidth, minClientWidth);
  g.clientHeight = std::max(kLabel2Top + g.labelHeight + kPanel2Height,
                            kImageTop + pictureHeight + kPanel2Height);
  return g;
}

TButtonPair PlaceButtonPair(int panelWidth, int firstWidth) {
  const int half = panelWidth / 2;
  return {half - firstWidth, half + 1};
}

int PlaceOneButton(int panelWidth, int width, int minLeft) {
  return std::max(panelWidth / 2 - width / 2, minLeft);
}

}  // namespace qorvex
