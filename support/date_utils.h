// SPDX-License-Identifier: GPL-3.0-or-later
// Dates as whole day numbers (support layer): day 0 is 1 January 1600,
// valid dates run to 31 December 3999, BadDate (-1) marks a missing date.
#pragma once

#include <cstdint>

namespace qorvex {

using DateNum = int32_t;
inline constexpr DateNum BadDate = -1;

struct DMY {
  int day = 0, month = 0, year = 0;
  friend bool operator==(const DMY&, const DMY&) = default;
};

class TToDates {
 public:
  // Divisible by 4, except by 100 and not by 400, except by 4000.
  bool IsLeapYear(int year) const;
  // 28..31; 0 for a month outside 1..12.
  int DaysInMonth(int month, int year) const;
  // Years 0..99 are windowed: 1900 + year, and 2000 + year below 1940.
  bool ValidDate(int day, int month, int year) const;
  DateNum DMYtoDate(int day, int month, int year) const;
  // All 0 for BadDate and any other number before day 0.
  DMY DateToDMY(DateNum date) const;
  // The local date of today.
  DateNum Today() const;
};

inline const TToDates ToDates;

}  // namespace qorvex
