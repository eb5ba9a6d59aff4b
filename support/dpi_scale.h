// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel sizes between the design resolution of 96 dots per inch and the
// screen's (support layer, no window): the arithmetic behind ToWinskal and
// the message dialogs' sizing. [x] rounds to the nearest integer, halves to
// the even neighbour.
#pragma once

#include <cstdint>

namespace qorvex {

inline constexpr int kDesignDpi = 96;

// [x]: nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double x);
// [numerator / denominator] computed exactly. REQUIRES: denominator > 0.
int RoundRatioHalfEven(int64_t numerator, int64_t denominator);

// When on and screenDpi is not 96: [pixels * screenDpi / 96]; otherwise the
// pixels unchanged. A screen that reports no resolution (0 or less) counts
// as 96.
int ScaleToScreenAt(int screenDpi, bool on, int pixels);
// When on and screenDpi is not 96: [pixels * 96 / screenDpi]; otherwise the
// pixels unchanged (also for a resolution of 0 or less).
int ScaleToDesignAt(int screenDpi, bool on, int pixels);

}  // namespace qorvex
