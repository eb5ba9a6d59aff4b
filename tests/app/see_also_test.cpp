// SPDX-License-Identifier: GPL-3.0-or-later
// The see-also ranking: how lists fall into words, and the ranked list of
// one entry on a lexicon that holds the awkward cases.
#include "app/core/see_also.h"

#include <gtest/gtest.h>

#include <random>

#include "app/core/entry_tree.h"
#include "app/core/lexicon_import.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

TEST(SeeAlsoTest, ListsFallIntoTrimmedUpperCaseWords) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      // a list, its words
      {"Dipol, Antenne", {"DIPOL", "ANTENNE"}},
      {"A,,B", {"A", "", "B"}},  // an empty piece between commas counts
      {"A,", {"A"}},             // the last one only when not empty
      {"A, \t ", {"A"}},
      {",a", {"", "A"}},
      {"", {}},
      {" \x01gr\xFC\337e ", {"GR\xDC\337E"}},  // codes 0-32 trimmed; ß stays
  };
  for (const auto& [list, words] : cases) EXPECT_EQ(SeeAlsoWords(list), words) << list;
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

// The index ranks every entry as RankRelated does, on the sample and on
// random lexicons of few words: empty pieces, words repeated, terms that
// agree in their first 20 characters or differ by case or trailing blanks.
TEST_F(LexiconTest, RelatedIndexRanksAsRankRelated) {
  std::vector<LexEntry> entries;
  const auto add = [&](const LexEntry& e) {
    Add(e.topic, e.term, e.seeAlso);
    entries.push_back(EntryOf(*lex_));
  };
  const std::string sample = ReadText(QORVEX_SAMPLE);
  for (const std::string& line : SplitCsvLines(sample)) {
    const CsvEntry r = ParseCsvLine(line);
    add({0, r.term, r.topic, r.seeAlso, ""});
  }
  ASSERT_GE(entries.size(), 150u);
  const char* words[] = {"Dipol",
                         "dipol",
                         "",
                         " ",
                         "Antenne",
                         "Koax ",
                         "Richtantennenanlage Nord",
                         "richtantennenanlage s\374d",
                         "Balun"};
  std::mt19937 rng(7);
  for (int i = 0; i < 120; ++i) {
    std::string list;
    for (int w = rng() % 6; w > 0; --w) list += std::string(words[rng() % 9]) + (w > 1 ? "," : "");
    add({0, words[rng() % 9] + std::string(rng() % 3 == 0 ? "  " : ""), "T", list, ""});
  }
  const RelatedIndex index(entries);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::vector<std::pair<int, std::string>> want, got;
    for (const RelatedEntry& r : RankRelated(*lex_, entries[i]))
      want.emplace_back(r.score, r.caption);
    for (const RelatedIndex::Item& item : index.Rank(i)) {
      got.emplace_back(item.related.score, item.related.caption);
      EXPECT_EQ(EntryCaption(entries[item.entry].term), item.related.caption);
    }
    ASSERT_EQ(got, want) << entries[i].term;
  }
}

}  // namespace
}  // namespace qorvex::testing
