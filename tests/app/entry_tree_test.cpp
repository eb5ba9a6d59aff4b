// SPDX-License-Identifier: GPL-3.0-or-later
// The entry tree and the search: the tree's shape on a lexicon that holds
// every awkward case, the lookups behind its nodes, and the search hits.
#include "app/core/entry_tree.h"

#include <gtest/gtest.h>

#include "app/core/search.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

// A term of 59 characters, stored as its first 50.
const std::string kLong = std::string(49, 'L') + "MNOPQRSTUV", kStored = kLong.substr(0, 50);

// One line per node: caption without its trailing blanks, image, and the
// data ("-" for none, else "=" and the topic); children indented.
std::string Render(const std::vector<TreeNode>& nodes, const std::string& indent = "") {
  std::string out;
  for (const TreeNode& n : nodes) {
    if (!indent.empty()) {
      EXPECT_EQ(n.caption.size(), 50u) << n.caption;
    }
    out += indent + n.caption.substr(0, n.caption.find_last_not_of(' ') + 1) + "|" +
           std::to_string(n.image) + "|" + (n.data ? "=" + *n.data : "-") + "\n" +
           Render(n.children, indent + "  ");
  }
  return out;
}

class EntryTreeTest : public LexiconTest {
 protected:
  void SetUp() override {
    LexiconTest::SetUp();
    Add("", "Zulu", "Dipolantenne");
    Add("", "alpha");
    Add("Technik", "Dipol");
    Add("technik", "Antenne");
    Add("Betriebstechnik A", "Cc", "dipol");
    Add("Betriebstechnik B", "Bb");
    Add("Betriebstechnik A", "Aa");
    Add("Antennen", "Dipol");
    Add("Antennen", kLong);
  }
};

TEST_F(EntryTreeTest, TreeFollowsIndexTwoThenSortsEveryLevelStably) {
  const EntryTree tree = BuildTree(*lex_);
  // Empty topics first in index 2: under "- alle Einträge" twice, once
  // without data. Topics equal in 10 characters interleave by term and open
  // a root node at each change; so do topics that differ in case.
  EXPECT_EQ(Render(tree.roots),
            "- alle Eintr\xE4ge|5|-\n"
            "  Aa|2|=Betriebstechnik A\n"
            "  alpha|2|-\n"
            "  alpha|2|=\n"
            "  Antenne|2|=technik\n"
            "  Bb|2|=Betriebstechnik B\n"
            "  Cc|2|=Betriebstechnik A\n"
            "  Dipol|2|=Antennen\n"
            "  Dipol|2|=Technik\n"
            "  " +
                kStored +
                "|2|=Antennen\n"
                "  Zulu|2|-\n"
                "  Zulu|2|=\n"
                "- Suchergebnis|3|-\n"
                "Antennen|5|-\n"
                "  Dipol|2|-\n"
                "  " +
                kStored +
                "|2|-\n"
                "Betriebstechnik A|5|-\n"
                "  Aa|2|-\n"
                "Betriebstechnik A|5|-\n"
                "  Cc|2|-\n"
                "Betriebstechnik B|5|-\n"
                "  Bb|2|-\n"
                "technik|5|-\n"
                "  Antenne|2|-\n"
                "Technik|5|-\n"
                "  Dipol|2|-\n");
  EXPECT_EQ(tree.SearchNode().caption, kSearchCaption);
}

TEST_F(EntryTreeTest, TheCurrentRecordSurvivesABuildOrIsCleared) {
  ASSERT_TRUE(lex_->FindTopicTerm("Antennen", "Dipol"));
  BuildTree(*lex_);
  EXPECT_EQ(lex_->GetTopic() + "/" + lex_->GetTerm(), "Antennen/Dipol");
  lex_->SetTerm("Nirgends");
  BuildTree(*lex_);
  EXPECT_EQ(lex_->GetTopic() + lex_->GetTerm(), "");
  EXPECT_EQ(lex_->Rec.Id, 0);
}

TEST_F(EntryTreeTest, ANodeFindsItsOwnEntry) {
  const std::string all(kAllEntriesCaption), hits(kSearchCaption);
  // The parent, the node, its data, what is found: topic/term, or "" for nothing.
  const std::tuple<std::string, std::string, std::optional<std::string>, std::string> cases[] = {
      {all, EntryCaption("Dipol"), "Technik", "Technik/Dipol"},
      {all, EntryCaption("alpha"), "", "/alpha"},  // an empty topic is data too
      {all, EntryCaption("Zulu"), std::nullopt, "/Zulu"},
      {hits, EntryCaption("Aa"), "Betriebstechnik A", "Betriebstechnik A/Aa"},
      {"Technik", EntryCaption("Dipol"), std::nullopt, "Technik/Dipol"},
      {"Antennen", EntryCaption("Zulu"), std::nullopt, ""},
  };
  for (const auto& [parent, node, data, found] : cases) {
    const std::optional<LexEntry> e = FindNodeEntry(*lex_, parent, node, data);
    EXPECT_EQ(e ? e->topic + "/" + e->term : "", found) << parent << " " << node;
  }
  EXPECT_EQ(FindSelectedEntry(*lex_, hits, EntryCaption("Cc"))->term, "Cc");  // by FindTerm
  EXPECT_EQ(FindSelectedEntry(*lex_, "Antennen", EntryCaption("Dipol"))->topic, "Antennen");
}

TEST_F(EntryTreeTest, SearchHitsTermsThenSeeAlsoListsInIndexTwoOrder) {
  EXPECT_EQ(SearchTextOf("\xE4hre stra\337e"), "\xC4HRE STRA\337E");
  EXPECT_EQ(SearchTextOf(std::string(300, 'a')), std::string(255, 'A'));

  EntryTree tree = BuildTree(*lex_);
  AddSearchHits(tree, SearchLexicon(*lex_, ""));
  EXPECT_EQ(Render({tree.SearchNode()}), "- Suchergebnis|3|-\n");
  AddSearchHits(tree, SearchLexicon(*lex_, SearchTextOf("dipol")));
  EXPECT_EQ(Render({tree.SearchNode()}),
            "- Suchergebnis|4|-\n"
            "  Zulu|4|=\n"  // in its see-also list only, "Dipolantenne"
            "  Dipol|4|=Antennen\n"
            "  Cc|4|=Betriebstechnik A\n"
            "  Dipol|4|=Technik\n");
}

TEST_F(LexiconTest, AnEmptyLexiconHasJustTheTwoSpecialNodes) {
  const EntryTree tree = BuildTree(*lex_);
  EXPECT_EQ(Render(tree.roots), "- alle Eintr\xE4ge|5|-\n- Suchergebnis|3|-\n");
  EXPECT_EQ(tree.searchNode, 1u);
}

}  // namespace
}  // namespace qorvex::testing
