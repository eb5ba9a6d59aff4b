// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-db's query commands as a user runs them: their exact output on a
// small lexicon, the exit codes and usage errors, and agreement with the
// core functions on a larger one.
#include <gtest/gtest.h>

#include <random>

#include "app/core/entry_tree.h"
#include "app/core/search.h"
#include "app/core/see_also.h"
#include "app/core/text_search.h"
#include "support/cp1252.h"
#include "tests/storage/lexicontest.h"
#include "tests/tools/run_program.h"

namespace qorvex::testing {
namespace {

const std::string kSmall =
    "Dipol;<Antennen>Der <b>Dipol</b> ist einfach.;Antenne, Balun\r\n"
    "Antenne;<Antennen>Strahlt ab.;Dipol\r\n"
    "Balun;<Technik>Symmetrierglied.;Dipol,Antenne\r\n"
    "\xC4hre;<Technik>Kein Funkbegriff.;\r\n";

// The viewer's fixture gives the program folder and a started driver; the
// lexicon stays detached while the tool works in the folder.
class QueryTest : public LexiconTest {
 protected:
  void SetUp() override {
    LexiconTest::SetUp();
    Detach();
  }
  TempDir scratch_;
  FolderTool Db{QORVEX_DB, dir_.path(), scratch_.path()};
};

TEST_F(QueryTest, EachCommandPrintsWhatTheViewerWouldShow) {
  ASSERT_EQ(Db.Import(kSmall), 0);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out, err = "";
  } cases[] = {
      // clang-format off
      {{"lookup", "dipol"}, 0, "Begriff: Dipol\nThema: Antennen\nsiehe auch: Antenne, Balun\n\n"
                               "Der <b>Dipol</b> ist einfach.\n"},
      {{"lookup", "--json", "\xC3\x84hre"}, 0, "{\"id\":4,\"term\":\"\xC3\x84hre\",\"topic\":"
       "\"Technik\",\"see_also\":\"\",\"text\":\"Kein Funkbegriff.\"}\n"},
      {{"lookup", "--json", "Dipo"}, 1, "", "qorvex-db: no entry Dipo\n"},
      {{"search", "ba"}, 0, "Dipol\nBalun\n"},  // index 2 order; Dipol by its list
      {{"search", "--json", "\xC3\xA4h"}, 0,
       "[{\"term\":\"\xC3\x84hre\",\"topic\":\"Technik\"}]\n"},
      {{"search", "xyz", "--json"}, 1, "[]\n"},
      {{"related", "Dipol"}, 0, "3\tBalun\n2\tAntenne\n"},
      {{"related", "--json", "Antenne"}, 0,
       "[{\"score\":2,\"term\":\"Dipol\"},{\"score\":2,\"term\":\"Balun\"}]\n"},
      {{"related", "--json", "\xC3\x84hre"}, 1, "[]\n"},
      {{"tree", "--search", "BA"}, 0,
       "- alle Eintr\xC3\xA4ge\n  \xC3\x84hre\n  Antenne\n  Balun\n  Dipol\n- Suchergebnis\n"
       "  Dipol\n  Balun\nAntennen\n  Antenne\n  Dipol\nTechnik\n  \xC3\x84hre\n  Balun\n"},
      // clang-format on
      {{"export"}, 0, kSmall},
      {{"export", "--utf8"}, 0, "\xEF\xBB\xBF" + Cp1252ToUtf8(kSmall)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const Outcome r = Db(c.args);
    EXPECT_EQ(std::tie(r.code, r.out, r.err), std::tie(c.code, c.out, c.err));
  }
  const Outcome json = Db({"tree", "--json"});
  EXPECT_NE(json.out.find("{\"caption\":\"Dipol" + std::string(45, ' ') +
                          "\",\"image\":2,\"data\":\"Antennen\",\"children\":[]}"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("{\"caption\":\"- Suchergebnis\",\"image\":3,\"data\":null,"),
            std::string::npos);
}

TEST_F(QueryTest, BadInputIsAUsageErrorAndNothingIsCreated) {
  // A character Windows-1252 lacks; no UTF-8 at all.
  const std::vector<std::string> usage[] = {
      {"lookup"},          {"search", ""},           {"search", "\xF0\x9F\x98\x80"},
      {"related", "\xFF"}, {"tree", "--search", ""}, {"export", "--json"}};
  for (const auto& args : usage) {
    const Outcome r = Db(args);
    EXPECT_EQ(r.code, 2) << args[0];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  const Outcome r = Db({"tree"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: QDLex: no data file in the folder\n");
  EXPECT_FALSE(std::filesystem::exists(Path("QDLex.DAT")));
}

// A lexicon of n entries in few topics, with see-also lists of 0..6 terms.
std::string Generated(int n) {
  std::mt19937 rng(5);
  const char* topics[] = {"Antennen", "antennen", "Betriebstechnik", "Betriebste X", ""};
  std::string csv;
  for (int i = 0; i < n; ++i) {
    std::string list;
    for (int w = static_cast<int>(rng() % 7); w > 0; --w)
      list += (list.empty() ? "" : ", ") + ("Wort " + std::to_string(rng() % 40));
    csv += "Wort " + std::to_string(rng() % 60) + (rng() % 5 ? "" : " \xC4") + ";<" +
           topics[rng() % 5] + ">\"Text\" <b>" + std::to_string(i) + "</b> > 0;" + list + "\r\n";
  }
  return csv;
}

TEST_F(QueryTest, TheToolPrintsWhatTheCoreComputes) {
  ASSERT_EQ(Db.Import(Generated(400)), 0);
  const Outcome tree = Db({"tree", "--search", "wort 1"});
  std::vector<std::string> related;
  for (int i = 0; i < 60; i += 7)
    related.push_back(Db({"related", "Wort " + std::to_string(i)}).out);
  // The forgiving and full-text searches, the suggestions, the plain text.
  const Outcome folded = Db({"search", "--fold", "--text", "wort 1 ae"});
  const Outcome suggested = Db({"suggest", "Wrot 12"});
  const Outcome plain = Db({"lookup", "--plain", "Wort 12"});

  Attach();
  // A caption as the tool prints it: without its trailing blanks, in UTF-8.
  auto line = [](const std::string& s) {
    return Cp1252ToUtf8(s.substr(0, s.find_last_not_of(' ') + 1)) + "\n";
  };
  std::string expect;
  for (const SearchHit& h : SearchEntries(*lex_, "wort 1 ae", {.fold = true, .fullText = true}))
    expect += line(h.term);
  EXPECT_FALSE(expect.empty());
  EXPECT_EQ(folded.out, expect);
  expect.clear();
  for (const Suggestion& g : Suggest(*lex_, "Wrot 12")) expect += Cp1252ToUtf8(g.term) + "\n";
  EXPECT_FALSE(expect.empty());
  EXPECT_EQ(suggested.out, expect);
  EXPECT_EQ(plain.out, Cp1252ToUtf8(PlainTextOf(*FindEntryByTerm(*lex_, "Wort 12"))) + "\n");
  EntryTree want = BuildTree(*lex_);
  AddSearchHits(want, SearchLexicon(*lex_, "WORT 1"));
  EXPECT_GT(want.SearchNode().children.size(), 20u);
  std::string wantTree;
  for (const TreeNode& root : want.roots) {
    wantTree += line(root.caption);
    for (const TreeNode& c : root.children) wantTree += "  " + line(c.caption);
  }
  EXPECT_EQ(tree.out, wantTree);
  for (int i = 0, k = 0; i < 60; i += 7, ++k) {
    const std::optional<LexEntry> entry = FindEntryByTerm(*lex_, "Wort " + std::to_string(i));
    ASSERT_TRUE(entry);
    std::string wantRelated;
    for (const RelatedEntry& r : RankRelated(*lex_, *entry))
      wantRelated += std::to_string(r.score) + "\t" + line(r.caption);
    EXPECT_FALSE(wantRelated.empty());
    EXPECT_EQ(related[k], wantRelated) << i;
  }
}

}  // namespace
}  // namespace qorvex::testing
