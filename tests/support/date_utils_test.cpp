// SPDX-License-Identifier: GPL-3.0-or-later
// Day numbers: the fixed points, the two-digit window and the round trip.
#include "support/date_utils.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>

namespace qorvex {
namespace {

TEST(Dates, FixedPointsInvalidDatesAndTwoDigitYears) {
  const std::array<int, 4> cases[] = {
      {1, 1, 1600, 0},        {31, 1, 1600, 30},       {1, 2, 1600, 31},
      {29, 2, 1600, 59},      {1, 3, 1600, 60},        {31, 12, 1999, 146096},
      {1, 1, 2000, 146097},   {29, 2, 2000, 146156},   {29, 2, 1900, BadDate},
      {29, 2, 4000, BadDate}, {31, 12, 1599, BadDate}, {0, 1, 2000, BadDate},
      {1, 13, 2000, BadDate}, {31, 4, 2000, BadDate},  {1, 1, -5, BadDate}};
  for (auto [d, m, y, n] : cases)
    EXPECT_EQ(ToDates.DMYtoDate(d, m, y), n) << d << "." << m << "." << y;
  EXPECT_EQ(ToDates.DaysInMonth(0, 2000), 0);
  EXPECT_EQ(ToDates.DaysInMonth(13, 2000), 0);
  EXPECT_FALSE(ToDates.IsLeapYear(3200 + 800));  // 4000: divisible by 4000
  EXPECT_TRUE(ToDates.IsLeapYear(2400));
  EXPECT_FALSE(ToDates.IsLeapYear(2100));
  // Two-digit years are windowed at 1940.
  for (auto [d, m, y, full] :
       {std::array{1, 1, 39, 2039}, {1, 1, 40, 1940}, {1, 1, 0, 2000}, {31, 12, 99, 1999}})
    EXPECT_EQ(ToDates.DMYtoDate(d, m, y), ToDates.DMYtoDate(d, m, full)) << y;
  EXPECT_TRUE(ToDates.ValidDate(29, 2, 0));  // 2000
}

TEST(Dates, EveryValidDateRoundTripsAndDaysAreConsecutive) {
  DateNum expected = 0;
  for (int y = 1600; y < 4000; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= ToDates.DaysInMonth(m, y); ++d) {
        const DateNum n = ToDates.DMYtoDate(d, m, y);
        ASSERT_EQ(n, expected) << d << "." << m << "." << y;
        ASSERT_EQ(ToDates.DateToDMY(n), (DMY{d, m, y})) << n;
        ++expected;
      }
    }
  }
  EXPECT_EQ(ToDates.DateToDMY(BadDate), DMY{});
  EXPECT_EQ(ToDates.DateToDMY(-1000), DMY{});
}

TEST(Dates, TodayIsTheLocalDate) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const DMY got = ToDates.DateToDMY(ToDates.Today());
  // A midnight between the two readings may move the date by one day.
  const DMY want{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
  EXPECT_LE(std::abs(ToDates.DMYtoDate(got.day, got.month, got.year) -
                     ToDates.DMYtoDate(want.day, want.month, want.year)),
            1);
}

}  // namespace
}  // namespace qorvex
