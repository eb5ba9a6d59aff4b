// SPDX-License-Identifier: GPL-3.0-or-later
// Day-number arithmetic; see date_utils.h.
#include "support/date_utils.h"

#include <ctime>

namespace qorvex {
namespace {

int WindowYear(int year) {
  if (year >= 0 && year < 100) {
    year += 1900;
    if (year < 1940) year += 100;
  }
  return year;
}

}  // namespace

bool TToDates::IsLeapYear(int year) const {
  if (year % 4 != 0) return false;
  if (year % 100 == 0 && year % 400 != 0) return false;
  return year % 4000 != 0;
}

int TToDates::DaysInMonth(int month, int year) const {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

bool TToDates::ValidDate(int day, int month, int year) const {
  year = WindowYear(year);
  return day >= 1 && year >= 1600 && year < 4000 && month >= 1 && month <= 12 &&
         day <= DaysInMonth(month, year);
}

DateNum TToDates::DMYtoDate(int day, int month, int year) const {
  if (!ValidDate(day, month, year)) return BadDate;
  year = WindowYear(year);
  if (year == 1600 && month <= 2) return month == 1 ? day - 1 : day + 30;
  // Years start in March: January and February are months 10 and 11 of the
  // year before, March..December months 0..9.
  int m = month;
  if (m <= 2) {
    m += 9;
    --year;
  } else {
    m -= 3;
  }
  const int y = year - 1600;
  return (y / 100) * 146097 / 4 + (y % 100) * 1461 / 4 + (153 * m + 2) / 5 + day + 59;
}

DMY TToDates::DateToDMY(DateNum date) const {
  if (date < 0) return {};
  if (date <= 30) return {date + 1, 1, 1600};
  if (date <= 59) return {date - 30, 2, 1600};
  const int64_t t = (static_cast<int64_t>(date) - 59) * 4 - 1;
  const int64_t c = t / 146097;
  const int64_t r = (t % 146097) / 4 * 4 + 3;
  int64_t year = c * 100 + r / 1461;
  const int64_t q = (r % 1461 + 4) / 4;
  int64_t month = (5 * q - 3) / 153;
  const int64_t day = ((5 * q - 3) % 153 + 5) / 5;
  if (month >= 10) {
    month -= 9;
    ++year;
  } else {
    month += 3;
  }
  return {static_cast<int>(day), static_cast<int>(month), static_cast<int>(year + 1600)};
}

DateNum TToDates::Today() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DMYtoDate(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

}  // namespace qorvex
