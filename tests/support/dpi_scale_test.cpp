// Design and screen pixels: rounding half to even, both directions.
#include "support/dpi_scale.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace qorvex {
namespace {

TEST(Winskal, RoundsHalvesToEven) {
  for (auto [x, rounded] : {std::pair{0.5, 0},
                            {1.5, 2},
                            {2.5, 2},
                            {2.4999, 2},
                            {2.5001, 3},
                            {-0.5, 0},
                            {-1.5, -2},
                            {-2.5, -2},
                            {18.75, 19},
                            {7.0, 7}})
    EXPECT_EQ(RoundHalfEven(x), rounded) << x;
  for (auto [num, den, rounded] :
       {std::array{5, 2, 2}, {7, 2, 4}, {-5, 2, -2}, {-7, 2, -4}, {-8, 3, -3}})
    EXPECT_EQ(RoundRatioHalfEven(num, den), rounded) << num << "/" << den;
}

TEST(Winskal, ScalesBetweenDesignAndScreen) {
  // Resolution, scaling on, design pixels, screen pixels, back to design.
  const std::tuple<int, bool, int, int, int> cases[] = {
      {120, true, 15, 19, 12},                           // 18.75 -> 19; 12
      {120, true, 100, 125, 80},  {120, true, 2, 2, 2},  // 2.5 -> 2; 1.6 -> 2
      {144, true, 3, 4, 2},                              // 4.5 -> 4; 2
      {144, true, 5, 8, 3},                              // 7.5 -> 8; 3.33 -> 3
      {96, true, 15, 15, 15},     {120, false, 15, 15, 15},
      {0, true, 15, 15, 15},  // no resolution reported
      {120, true, -15, -19, -12},
  };
  for (auto [dpi, on, pixels, toScreen, toDesign] : cases) {
    EXPECT_EQ(ScaleToScreenAt(dpi, on, pixels), toScreen) << dpi << " " << pixels;
    EXPECT_EQ(ScaleToDesignAt(dpi, on, pixels), toDesign) << dpi << " " << pixels;
  }
}

}  // namespace
}  // namespace qorvex
