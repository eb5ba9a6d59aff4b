// SPDX-License-Identifier: GPL-3.0-or-later
// The captions' collation: a list in the expected order, every pair of it.
#include "app/core/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorvex::testing {
namespace {

TEST(CollationTest, EveryPairOfAnOrderedListComparesInOrder) {
  // The two special nodes before digits and letters; lower case first, then
  // the base letter before its accented forms (à, À); the blank before
  // letters; Ähre as AHRE, Äther after Ather, Œ as OE after Oe, Ölkanne as
  // OLKANNE, Straße as STRASSE after it, šum as SUM, ýlo as YLO; °C: a byte
  // that is no letter stays itself.
  // clang-format off
  const std::vector<std::string> list = {
      "", "- alle Eintr\xE4ge", "- Suchergebnis", "0815", "9", "a", "A", "\xE0", "\xC0", "a b",
      "Afrika", "\xC4hre", "Ather", "\xC4ther", "Oe", "\x8C", "Ohm", "\xD6lkanne", "strasse",
      "Strasse", "Stra\337e", "\x9Aum", "\xFDlo", "Zebra", "\260C"};
  // clang-format on
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(CompareCaptions(list[i], list[i]), 0) << i;
    for (size_t j = i + 1; j < list.size(); ++j) {
      EXPECT_LT(CompareCaptions(list[i], list[j]), 0) << i << " " << j;
      EXPECT_GT(CompareCaptions(list[j], list[i]), 0) << i << " " << j;
      // The primary keys never contradict the whole order.
      EXPECT_LE(PrimaryKey(list[i]).compare(PrimaryKey(list[j])), 0) << i << " " << j;
    }
  }
  EXPECT_EQ(PrimaryKey("Stra\337e \xC6\x9C"), "STRASSE AEOE");
}

}  // namespace
}  // namespace qorvex::testing
