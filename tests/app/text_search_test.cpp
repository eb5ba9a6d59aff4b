// SPDX-License-Identifier: GPL-3.0-or-later
// Forgiving and full-text search: folding, the plain text of an entry, the
// searches' hits and their order, the suggestions, the window's fallbacks,
// the highlighted pieces and the copied text.
#include "app/core/text_search.h"

#include <gtest/gtest.h>

#include <random>

#include "app/core/entry_layout.h"
#include "app/core/entry_text.h"
#include "app/core/lexicon_import.h"
#include "app/core/search_fallback.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

TEST(FoldTest, EveryMappedLetterAndTheDigraphs) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"\334ber", "uber"}, {"Ueber", "uber"}, {"uber", "uber"},
      {"Stra\337e", "strasse"}, {"Strasse", "strasse"},
      {"\xC0\xC1\xC2\xC3\xC4\xC5\xE0\xE1\xE2\xE3\xE4\xE5", "aaaaaaaaaaaa"},
      {"\xC7\xE7", "cc"},
      {"\xC8\xC9\xCA\xCB\xE8\xE9\xEA\xEB", "eeeeeeee"},
      {"\xCC\xCD\xCE\xCF\xEC\xED\xEE\xEF", "iiiiiiii"},
      {"\xD1\xF1", "nn"},
      {"\xD2\xD3\xD4\xD5\xD6\xD8\xF2\xF3\xF4\xF5\xF6\xF8", "oooooooooooo"},
      {"\xD9\xDA\xDB\xDC\xF9\xFA\xFB\xFC", "uuuuuuuu"},
      {"\xDD\xFD\xFF\x9F", "yyyy"}, {"\x8A\x9A", "ss"}, {"\x8E\x9E", "zz"},
      {"\xC6\xE6", "aa"},  // ae, then the digraph
      {"\x8C\x9C", "oo"},
      {"aee", "ae"},  // left to right, without overlap
      {"UE-OE-AE", "u-o-a"},
      {"\xD7\xF7\xB5 1", "\xD7\xF7\xB5 1"},  // no letters: unchanged
      {std::string("A\0E", 3), std::string("a\0e", 3)},
  };
  // clang-format on
  for (const auto& [text, folded] : cases) EXPECT_EQ(FoldText(text), folded) << text;
  // Each folded byte knows its letter: ß gives two, a dropped "e" none.
  std::vector<uint32_t> origins;
  EXPECT_EQ(FoldText("Ue\xDFx", origins), "ussx");
  EXPECT_EQ(origins, (std::vector<uint32_t>{0, 2, 2, 3}));
}

// Texts of letters that fold, the digraphs' vowels among them, and bytes
// that do not: eight bytes at a time must fold as one at a time.
TEST(FoldTest, AsByteByByte) {
  const std::string ascii = std::string("aAoOuUeExZ <>") + std::string(1, '\0');
  const std::string other = "\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xC6\xE6\x8C\x9C\x80\xFF";
  std::string folded = "left over";
  for (const unsigned seed : {1u, 7u, 99u, 2024u, 31337u, 4000000000u}) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 500; ++i) {
      std::string text;
      for (size_t n = rng() % 40; n > 0; --n)
        text += rng() % 8 != 0 ? ascii[rng() % ascii.size()] : other[rng() % other.size()];
      // Each byte's spelling (æ and œ before their digraph), then the digraphs.
      std::string spelled, expected;
      for (const char c : text) {
        const uint8_t u = static_cast<uint8_t>(c);
        spelled += u == 0xC6 || u == 0xE6   ? "ae"
                   : u == 0x8C || u == 0x9C ? "oe"
                                            : FoldText({&c, 1});
      }
      for (size_t k = 0; k < spelled.size(); ++k)
        if (!(spelled[k] == 'e' && k > 0 &&
              std::string_view("aou").find(spelled[k - 1]) != std::string_view::npos))
          expected += spelled[k];
      FoldInto(text, folded);
      ASSERT_EQ(folded, expected) << text;
      std::vector<uint32_t> origins;  // the highlighting's fold says where
      ASSERT_EQ(FoldText(text, origins), expected) << text;
      ASSERT_EQ(origins.size(), expected.size());
      ASSERT_TRUE(std::is_sorted(origins.begin(), origins.end()));
    }
  }
}

// The plain text by its definition: RenderEntry's text, link, Morse and tone
// labels at a width of 100,000 with the fixed metrics, joined.
std::string PlainTextByLayout(const std::string& text) {
  return JoinLabels(
      RenderEntry("Titel", "Thema", text, false, false, kPlainTextWidth, FixedTextMetrics()),
      false);
}

// Entry texts of pieces that move labels (lines, blanks, indents, columns
// up to 2^31, unclosed tags, lines that end near the wrap) among ones that
// only style them.
std::string RandomEntryText(std::mt19937& rng, size_t pieces) {
  // clang-format off
  static const char* const kPieces[] = {
      "Antenne", "Dipol", "\xC4ther", "stra\337e", " ", "  ", "<br>", "<br", "<b>", "</b>",
      "<u>", "</u>", "<Morse>", "CQ DE", "</Morse>", "<Ton=a.wav>", "</Ton>", "<ton=b", "</ton>",
      "<blockquote>", "</blockquote>", "<pos=0>", "<pos=5>", "<pos=40>", "<pos=-3>", "<pos=-1>",
      "<pos=$10>", "<pos=12490>", "<pos=268435455>", "<pos=2147483647>", "<pos=7", "</pos>",
      "<fontsize=14>", "<fontcolor=red>", "<fontbg=light red>", "</font>",
      "http://example.org/a", "x@y.de", "<", ">", "<>", "<<b>", "a>b", "<i>"};
  // clang-format on
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::string text;
  for (size_t i = 0; i < pieces; ++i) {
    // 98,400 to 100,000 pixels: the next few labels may wrap, or it does.
    if (rng() % 100 == 0) text += std::string(12300 + rng() % 200, 'w');
    text += kPieces[pick(rng)];
  }
  return text;
}

TEST(PlainTextTest, AsTheLayoutGivesIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"Not<b>funk</b>", "Notfunk"},
      {"eins zwei<br>drei", "eins zwei drei"},
      {"Rufe <Morse>SOS</Morse> und <b>warte</b>.", "Rufe SOS und warte."},
      {"siehe http://example.org/x hier", "siehe http://example.org/x hier"},
      {"a<pos=3>b c", "a b c"},  // a column starts a piece of its own
      {"a<pos=0>b", "ab"},       // column 0: where the line is
      // A label may end at 100,000 − 30 and no further (10 + 8 + 8 × 12,494).
      {"a<b>" + std::string(12494, 'w'), "a" + std::string(12494, 'w')},
      {"a<b>" + std::string(12495, 'w'), "a " + std::string(12495, 'w')},
      {"a<b>w " + std::string(12493, 'w'), "aw " + std::string(12493, 'w')},  // the last word wraps
      {"", ""},
  };
  for (const auto& [text, plain] : cases) {
    EXPECT_EQ(PlainTextOf({1, "Titel", "Thema", "", text}), plain) << text;
    EXPECT_EQ(PlainTextByLayout(text), plain) << text;
  }
  // Every entry of the sample, then random texts, through one reused buffer.
  const std::string sample = ReadText(QORVEX_SAMPLE);
  std::vector<std::string> texts;
  for (const std::string& line : SplitCsvLines(sample)) texts.push_back(ParseCsvLine(line).text);
  ASSERT_GE(texts.size(), 150u);
  for (const unsigned seed : {1u, 2u, 3u, 42u, 1000u, 65535u, 123456789u, 4000000000u}) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 60; ++i) texts.push_back(RandomEntryText(rng, rng() % 300));
  }
  std::string plain = "left over";
  for (const std::string& text : texts) {
    PlainTextInto(text, plain);
    ASSERT_EQ(plain, PlainTextByLayout(text)) << text;
  }
}

TEST(EntryTextTest, HighlightedPiecesAndCopiedText) {
  // The text, the search, folded or not, the marks (label 0 is the title).
  // clang-format off
  const std::tuple<std::string, std::string, bool, std::vector<TextMark>> cases[] = {
      {"Das <b>Not</b>zeichen der", "notzeichen", false, {{2, 0, 3}, {3, 0, 7}}},
      {"Zwei stra\337enweit.", "strasse", true, {{2, 0, 6}}},  // all of the "\xDF"
      {"\334ber Ueber", "ueber", true, {{1, 0, 4}, {2, 0, 5}}},  // the "e" read into "U"
      {"\334ber Ueber", "UEBER", false, {{2, 0, 5}}},
      {"aaaa", "aa", false, {{1, 0, 4}}},
      {"eins<br>zwei", "s z", false, {{1, 3, 4}, {2, 0, 1}}},  // the break reads as a blank
      {"eins", "", true, {}},
  };
  // clang-format on
  for (const auto& [text, search, fold, marks] : cases) {
    const std::vector<EntryLabel> labels =
        RenderEntry("T", "", text, false, false, 100000, FixedTextMetrics());
    EXPECT_EQ(FindTextMarks(labels, search, fold), marks) << text << " / " << search;
  }
  EXPECT_EQ(EntryCopyText({1, "SOS   ", "Betrieb  ", "", "Rufe <Morse>SOS</Morse> und <br>warte."}),
            "SOS\n[Thema: Betrieb]\n\nRufe SOS und\nwarte.");
}

TEST(OsaTest, Distances) {
  const std::tuple<std::string, std::string, int> cases[] = {
      {"antenne", "antenne", 0},
      {"antene", "antenne", 1},
      {"anetnne", "antenne", 1},
      {"ca", "abc", 3},  // no edit of a swapped pair
      {"", "abc", 3},
  };
  for (const auto& [a, b, d] : cases) EXPECT_EQ(OsaDistance(a, b), d) << a << " " << b;
}

class TextSearchTest : public LexiconTest {
 protected:
  void SetUp() override {
    LexiconTest::SetUp();
    Add("Ausbreitung", "\334berreichweite", "", "weiter als sonst");
    Add("Betrieb", "SOS", "", "Das <b>Not</b>zeichen der Telegrafie.");
    Add("Antennen", "Antenne", "Dipol");
    Add("Antennen", "Antennen", "");
    Add("Antennen", "Dipol", "Antenne", "Zwei Leiter, stra\337enweit.");
    Add("Antennen", "Antenna", "");
  }
  std::vector<std::string> Terms(const std::string& text, SearchOptions options) {
    std::vector<std::string> t;
    for (const SearchHit& h : SearchEntries(*lex_, text, options)) t.push_back(h.term);
    return t;
  }
};

TEST_F(TextSearchTest, FullTextAndForgivingHitsInIndexTwoOrder) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Terms("ueber", {}), V{});
  EXPECT_EQ(Terms("ueber", {.fold = true}), V{"\334berreichweite"});
  EXPECT_EQ(Terms("notzeichen", {}), V{});
  EXPECT_EQ(Terms("notzeichen", {.fullText = true}), V{"SOS"});
  EXPECT_EQ(Terms("strasse", {.fullText = true}), V{});
  EXPECT_EQ(Terms("strasse", {.fold = true, .fullText = true}), V{"Dipol"});
  // Both off: the specified search, term else see-also, topic then term.
  EXPECT_EQ(Terms("antenne", {}), (V{"Antenne", "Antennen", "Dipol"}));
  EXPECT_EQ(Terms("", {.fold = true, .fullText = true}), V{});
  for (const std::string text : {"dipol", "ANTEN", "x"})
    EXPECT_EQ(SearchEntries(*lex_, text, {}).size(),
              SearchLexicon(*lex_, SearchTextOf(text)).size());
}

TEST_F(TextSearchTest, SuggestionsWithinOneOrTwoClosestFirst) {
  std::vector<std::pair<std::string, int>> got;
  for (const Suggestion& s : Suggest(*lex_, "Antene")) got.emplace_back(s.term, s.distance);
  // Six folded characters: within 2; ties in index-1 order.
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{
                     {"Antenne", 1}, {"Antenna", 2}, {"Antennen", 2}}));
  // Four characters: within 1 only.
  got.clear();
  for (const Suggestion& s : Suggest(*lex_, "Dipl")) got.emplace_back(s.term, s.distance);
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"Dipol", 1}}));
  EXPECT_TRUE(Suggest(*lex_, "Dpl").empty());  // three characters, distance 2
  EXPECT_TRUE(Suggest(*lex_, "").empty());
}

TEST_F(TextSearchTest, TheWindowFallsBackToFoldedHitsThenSuggestions) {
  // The text, full text or not, how the hits were found, the hits.
  // clang-format off
  const std::tuple<std::string, bool, FoundBy, std::vector<std::string>> cases[] = {
      {"antenne", false, FoundBy::kExact, {"Antenne", "Antennen", "Dipol"}},
      {"ueber", false, FoundBy::kFolded, {"\334berreichweite"}},
      {"Antene", false, FoundBy::kSuggestion, {"Antenne", "Antenna", "Antennen"}},
      {"notzeichen", false, FoundBy::kNothing, {}}, {"notzeichen", true, FoundBy::kExact, {"SOS"}},
      {"strasse", true, FoundBy::kFolded, {"Dipol"}}, {"", true, FoundBy::kNothing, {}},
  };
  // clang-format on
  for (const auto& [text, fullText, by, want] : cases) {
    const FoundEntries found = FindForField(*lex_, text, fullText);
    std::vector<std::string> terms;
    for (const SearchHit& h : found.hits)
      terms.push_back(h.term.substr(0, h.term.find_last_not_of(' ') + 1));
    EXPECT_EQ(found.by, by) << text;
    EXPECT_EQ(terms, want) << text;
  }
  const LexEntry sos = *FindEntryByTerm(*lex_, "SOS");
  EXPECT_FALSE(HitsOutsideText(sos, "notzeichen", true));
  EXPECT_TRUE(HitsOutsideText(sos, "so", false));
}

}  // namespace
}  // namespace qorvex::testing
