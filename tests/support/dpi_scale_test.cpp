// SPDX-License-Identifier: GPL-3.0-or-later
// Design and screen pixels: rounding half to even, both directions.
#include "support/dpi_scale.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace qorvex {
namespace {

TEST(Winskal, RoundsHalvesToEven) {
  const std::pair<double, int> halves[] = {{0.5, 0},    {1.5, 2},  {2.5, 2},   {2.4999, 2},
                                           {2.5001, 3}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
                                           {18.75, 19}, {7.0, 7}};
  for (auto [x, rounded] : halves) EXPECT_EQ(RoundHalfEven(x), rounded) << x;
  const std::array<int, 3> ratios[] = {{5, 2, 2}, {7, 2, 4}, {-5, 2, -2}, {-7, 2, -4}, {-8, 3, -3}};
  for (auto [num, den, rounded] : ratios)
    EXPECT_EQ(RoundRatioHalfEven(num, den), rounded) << num << "/" << den;
}

TEST(Winskal, ScalesBetweenDesignAndScreen) {
  // Resolution, scaling on, design pixels, screen pixels, back to design:
  // at 120 dpi 15 is 18.75 -> 19 and 12, 2 is 2.5 -> 2 and 1.6 -> 2; at 144
  // dpi 3 is 4.5 -> 4 and 2, 5 is 7.5 -> 8 and 3.33 -> 3; 0 dpi: no
  // resolution reported.
  const std::tuple<int, bool, int, int, int> cases[] = {
      {120, true, 15, 19, 12},  {120, true, 100, 125, 80}, {120, true, 2, 2, 2},
      {144, true, 3, 4, 2},     {144, true, 5, 8, 3},      {96, true, 15, 15, 15},
      {120, false, 15, 15, 15}, {0, true, 15, 15, 15},     {120, true, -15, -19, -12}};
  for (auto [dpi, on, pixels, toScreen, toDesign] : cases) {
    EXPECT_EQ(ScaleToScreenAt(dpi, on, pixels), toScreen) << dpi << " " << pixels;
    EXPECT_EQ(ScaleToDesignAt(dpi, on, pixels), toDesign) << dpi << " " << pixels;
  }
}

}  // namespace
}  // namespace qorvex
