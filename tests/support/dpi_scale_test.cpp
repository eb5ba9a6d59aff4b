// Design and screen pixels: rounding half to even, both directions.
#include "support/dpi_scale.h"

#include <gtest/gtest.h>

#include <array>

namespace qorvex {
namespace {

TEST(Winskal, RoundsHalvesToEven) {
  struct Case {
    double x;
    int rounded;
  };
  for (const Case& c :
       {Case{0.5, 0}, Case{1.5, 2}, Case{2.5, 2}, Case{2.4999, 2}, Case{2.5001, 3}, Case{-0.5, 0},
        Case{-1.5, -2}, Case{-2.5, -2}, Case{18.75, 19}, Case{7.0, 7}})
    EXPECT_EQ(RoundHalfEven(c.x), c.rounded) << c.x;
  for (auto [num, den, rounded] :
       {std::array{5, 2, 2}, {7, 2, 4}, {-5, 2, -2}, {-7, 2, -4}, {-8, 3, -3}})
    EXPECT_EQ(RoundRatioHalfEven(num, den), rounded) << num << "/" << den;
}

TEST(Winskal, ScalesBetweenDesignAndScreen) {
  struct Case {
    int dpi;
    bool on;
    int pixels, toScreen, toDesign;
  };
  for (const Case& c : {
           Case{120, true, 15, 19, 12},  // 18.75 -> 19; 12
           Case{120, true, 100, 125, 80},
           Case{120, true, 2, 2, 2},  // 2.5 -> 2; 1.6 -> 2
           Case{144, true, 3, 4, 2},  // 4.5 -> 4; 2
           Case{144, true, 5, 8, 3},  // 7.5 -> 8; 3.33 -> 3
           Case{96, true, 15, 15, 15},
           Case{120, false, 15, 15, 15},
           Case{0, true, 15, 15, 15},  // no resolution reported
           Case{120, true, -15, -19, -12},
       }) {
    EXPECT_EQ(ScaleToScreenAt(c.dpi, c.on, c.pixels), c.toScreen) << c.dpi << " " << c.pixels;
    EXPECT_EQ(ScaleToDesignAt(c.dpi, c.on, c.pixels), c.toDesign) << c.dpi << " " << c.pixels;
  }
}

}  // namespace
}  // namespace qorvex
