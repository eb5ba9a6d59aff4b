// The captions' collation: a list in the expected order, every pair of it.
#include "app/core/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorvex::testing {
namespace {

TEST(CollationTest, EveryPairOfAnOrderedListComparesInOrder) {
  const std::vector<std::string> list = {
      "",
      "- alle Eintr\xE4ge",  // the two special nodes before digits and letters
      "- Suchergebnis",
      "0815",
      "9",
      "a",  // lower case first, then the base letter before its accented forms
      "A",
      "\xE0",  // à
      "\xC0",  // À
      "a b",   // the blank before letters
      "Afrika",
      "\xC4hre",  // Ähre: as AHRE
      "Ather",
      "\xC4ther",  // Äther: after Ather
      "Oe",
      "\x8C",  // Œ: as OE, after Oe
      "Ohm",
      "\xD6lkanne",  // Ölkanne: as OLKANNE
      "strasse",
      "Strasse",
      "Stra\xDF"
      "e",       // Straße: as STRASSE, after it
      "\x9Aum",  // šum: as SUM
      "\xFDlo",  // ýlo: as YLO
      "Zebra",
      "\xB0"
      "C",  // °C: a byte that is no letter stays itself
  };
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(CompareCaptions(list[i], list[i]), 0) << i;
    for (size_t j = i + 1; j < list.size(); ++j) {
      EXPECT_LT(CompareCaptions(list[i], list[j]), 0) << i << " " << j;
      EXPECT_GT(CompareCaptions(list[j], list[i]), 0) << i << " " << j;
      // The primary keys never contradict the whole order.
      EXPECT_LE(PrimaryKey(list[i]).compare(PrimaryKey(list[j])), 0) << i << " " << j;
    }
  }
  EXPECT_EQ(PrimaryKey("Stra\xDF"
                       "e \xC6\x9C"),
            "STRASSE AEOE");
}

}  // namespace
}  // namespace qorvex::testing
