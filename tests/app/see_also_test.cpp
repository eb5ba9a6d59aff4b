// The see-also ranking: how lists fall into words, and the ranked list of
// one entry on a lexicon that holds the awkward cases.
#include "app/core/see_also.h"

#include <gtest/gtest.h>

#include "app/core/entry_tree.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

TEST(SeeAlsoTest, ListsFallIntoTrimmedUpperCaseWords) {
  using V = std::vector<std::string>;
  const struct {
    std::string list;
    V words;
  } cases[] = {
      {"Dipol, Antenne", {"DIPOL", "ANTENNE"}},
      {"A,,B", {"A", "", "B"}},  // an empty piece between commas counts
      {"A,", {"A"}},             // the last one only when not empty
      {"A, \t ", {"A"}},
      {",a", {"", "A"}},
      {"", {}},
      {" \x01gr\xFC\337e ", {"GR\xDC\337E"}},  // codes 0-32 trimmed; ß stays
  };
  for (const auto& c : cases) EXPECT_EQ(SeeAlsoWords(c.list), c.words) << c.list;
  EXPECT_EQ(CountEqualPairs({"A", "A", ""}, {"A", "", "B", ""}), 4);
}

TEST_F(LexiconTest, RelatedEntriesBestFirstThenByDescendingTerm) {
  Add("T", "Richtantennenanlage Nord", "Dipol, Antenne,,");
  Add("T", "Dipol", "Antenne");                  // 2: its term and a word
  Add("T", "Doppel", "Dipol, dipol");            // 2: a word that occurs twice
  Add("U", "Koax", "richtantennenanlage nord");  // 1: the own term in its list
  Add("U", "Leer", "x,,y");                      // 1: the empty word
  Add("U", "kabel", "DIPOL");                    // 1
  Add("U", "Antenne  ", "");                     // 0: its term keeps its blanks
  Add("V", "richtantennenanlage S\374d",
      "Dipol");                     // skipped: the same first 20 characters
  Add("V", "Fremd", "Yagi, Quad");  // 0
  const std::optional<LexEntry> nord = FindEntryByTerm(*lex_, "Richtantennenanlage Nord");
  ASSERT_TRUE(nord);
  std::vector<std::pair<int, std::string>> got;
  for (const RelatedEntry& r : RankRelated(*lex_, *nord)) got.emplace_back(r.score, r.caption);
  // Equal scores in descending order of the upper-cased terms ("kabel"
  // would come first by bytes).
  const std::vector<std::pair<int, std::string>> want = {
      {2, EntryCaption("Doppel")}, {2, EntryCaption("Dipol")}, {1, EntryCaption("Leer")},
      {1, EntryCaption("Koax")},   {1, EntryCaption("kabel")},
  };
  EXPECT_EQ(got, want);
  EXPECT_TRUE(RankRelated(*lex_, *FindEntryByTerm(*lex_, "Fremd")).empty());
  // The ranking is of the entry given, wherever the lexicon stands.
  ASSERT_TRUE(lex_->FindTerm("Koax"));
  EXPECT_EQ(RankRelated(*lex_, *nord).size(), want.size());
}

}  // namespace
}  // namespace qorvex::testing
