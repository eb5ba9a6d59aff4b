// SPDX-License-Identifier: GPL-3.0-or-later
// The error catalogue's rows and classes; see errors.h.
#include "isam/errors.h"

#include <algorithm>
#include <iterator>

namespace qorvex {
namespace {

constexpr ErrorRow kRows[] = {
#define QORVEX_ERROR_ROW(name, number, cls, english, german) {number, cls, english, german},
    QORVEX_ERROR_CATALOGUE(QORVEX_ERROR_ROW)
#undef QORVEX_ERROR_ROW
};

// The class a number has by the rules alone.
constexpr int32_t ClassByRule(int32_t n) {
  if (n == 0) return 0;
  if (n == kDriverReentered) return 1;
  if (n >= kFirstDriverError) {
    const int32_t s = ((n & 0xF000) >> 12) - 2;
    return s >= 1 && s <= 5 ? s : 99;
  }
  if (IsIndexMiss(n)) return 1;
  if (n >= kFirstRestored && n <= kLastRestored) return 3;
  return 4;
}

constexpr bool RowsAgreeWithRules() {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const ErrorRow& r = kRows[i];
    if (i > 0 && kRows[i - 1].number >= r.number) return false;  // sorted, unique
    // Engine rows may name an exception (a busy or not-found number among
    // the fatal ones); inside the ranges and for the driver the rule holds.
    const bool ruled =
        r.number >= kFirstDriverError || IsIndexMiss(r.number) || ClassByRule(r.number) == 3;
    if (ruled && r.errorClass != ClassByRule(r.number)) return false;
    if (!ruled && r.errorClass != 4 && r.errorClass != 1 && r.errorClass != 2) return false;
  }
  return true;
}
static_assert(RowsAgreeWithRules(), "error catalogue: unsorted, or a class against its rule");

}  // namespace

const ErrorRow* FindError(int32_t number) {
  const ErrorRow* end = std::end(kRows);
  const ErrorRow* row = std::lower_bound(std::begin(kRows), end, number,
                                         [](const ErrorRow& r, int32_t n) { return r.number < n; });
  return row != end && row->number == number ? row : nullptr;
}

int32_t ErrorClassOf(int32_t number) {
  const ErrorRow* row = FindError(number);
  return row != nullptr ? row->errorClass : ClassByRule(number);
}

}  // namespace qorvex
