// SPDX-License-Identifier: GPL-3.0-or-later
// Design and screen pixels; see dpi_scale.h.
#include "support/dpi_scale.h"

#include <cmath>

namespace qorvex {

int RoundHalfEven(double x) {
  const double below = std::floor(x);
  const double rest = x - below;
  double result = below;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0)) result = below + 1.0;
  return static_cast<int>(result);
}

int RoundRatioHalfEven(int64_t numerator, int64_t denominator) {
  int64_t q = numerator / denominator;
  int64_t r = numerator % denominator;
  if (r < 0) {  // floor division, so that r is in [0, denominator)
    --q;
    r += denominator;
  }
  if (2 * r > denominator || (2 * r == denominator && q % 2 != 0)) ++q;
  return static_cast<int>(q);
}

int ScaleToScreenAt(int screenDpi, bool on, int pixels) {
  if (!on || screenDpi <= 0 || screenDpi == kDesignDpi) return pixels;
  return RoundRatioHalfEven(int64_t{pixels} * screenDpi, kDesignDpi);
}

int ScaleToDesignAt(int screenDpi, bool on, int pixels) {
  if (!on || screenDpi <= 0 || screenDpi == kDesignDpi) return pixels;
  return RoundRatioHalfEven(int64_t{pixels} * kDesignDpi, screenDpi);
}

}  // namespace qorvex
