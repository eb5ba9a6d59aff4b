// SPDX-License-Identifier: GPL-3.0-or-later
// The bundled sample lexicon data/ZEL_LEX.CSV: it imports without losing or
// cutting a line, its see-also words name entries, and its texts use every tag
// of the entry markup, and only tags the renderer knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/core/lexicon_import.h"
#include "support/text_utils.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

std::vector<std::string> SampleLines() {
  const std::string text = ReadText(QORVEX_SAMPLE);
  // CR LF after every line, the last included: as many CR LF as lines.
  size_t crlf = 0;
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
  std::vector<std::string> lines = SplitCsvLines(text);
  EXPECT_EQ(crlf, lines.size());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(lines.size()));
  EXPECT_EQ(text.find('\xC3'), std::string::npos) << "UTF-8 bytes: the file is Windows-1252";
  return lines;
}

using SampleTest = LexiconTest;

TEST_F(SampleTest, ImportsWholeAndEverySeeAlsoWordNamesAnEntry) {
  const std::vector<std::string> lines = SampleLines();
  ASSERT_GE(lines.size(), 150u);
  const ImportResult r = ImportLexicon(QORVEX_SAMPLE, *lex_);
  ASSERT_TRUE(r.read) << r.error;
  EXPECT_EQ(r.added, static_cast<int>(lines.size()));

  // Each line comes back uncut through its term's key; a second term with the
  // same key (first 20 characters, upper-cased) would hide the line.
  std::set<std::string> terms, keys, topics, topicKeys;
  for (const std::string& line : lines) {
    const CsvEntry e = ParseCsvLine(line);
    ASSERT_TRUE(lex_->FindTerm(e.term)) << e.term;
    EXPECT_EQ(lex_->GetTerm(), e.term);
    EXPECT_EQ(lex_->GetTopic(), e.topic) << e.term;
    EXPECT_EQ(lex_->GetSeeAlso(), e.seeAlso) << e.term;
    EXPECT_EQ(lex_->GetText(), e.text) << e.term;
    EXPECT_FALSE(e.topic.empty()) << e.term;
    terms.insert(ToStrings.UpperCase(e.term));
    keys.insert(ToStrings.UpPad(e.term, 20));
    topics.insert(e.topic);
    topicKeys.insert(ToStrings.UpPad(e.topic, 10));
  }
  EXPECT_EQ(keys.size(), lines.size()) << "two terms share their first 20 characters";
  EXPECT_GE(topics.size(), 10u);
  EXPECT_EQ(topicKeys.size(), topics.size()) << "two topics share their first 10 characters";

  // The ranking compares trimmed, upper-cased words with upper-cased terms.
  for (const std::string& line : lines) {
    const CsvEntry e = ParseCsvLine(line);
    for (size_t from = 0;;) {
      const size_t comma = e.seeAlso.find(',', from);
      const std::string word =
          ToStrings.UpperCase(ToStrings.Trim(e.seeAlso.substr(from, comma - from)));
      EXPECT_TRUE(terms.count(word)) << e.term << ": \"" << word << "\" names no entry";
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
  }
}

TEST(SampleMarkupTest, EveryTagOccursAndNoneIsUnknown) {
  const std::set<std::string> kColours = {"black",  "white",    "red",       "blue",
                                          "green",  "lightred", "lightblue", "lightgreen",
                                          "silver", "yellow"};
  const std::set<std::string> kToneFiles = {"TON1000.WAV", "1750HZ.WAV", "ZWEITON.WAV", "RTTY.WAV",
                                            "TON600.WAV"};
  // Tags without a value, tags with a number, tags with a name after the "=".
  const std::set<std::string> kPlain = {"br",          "b",      "/b",   "u",    "/u",
                                        "Morse",       "/Morse", "/Ton", "/ton", "blockquote",
                                        "/blockquote", "/pos",   "/font"};
  const std::set<std::string> kNumbered = {"pos=", "fontsize="};
  const std::map<std::string, std::set<std::string>> kNamed = {
      {"fontcolor=", kColours}, {"fontbg=", kColours}, {"Ton=", kToneFiles}, {"ton=", kToneFiles}};
  const std::string kMorseSet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+,./=? ";

  std::map<std::string, int> seen;  // tags, colours and tone files
  int links = 0;
  for (const std::string& line : SampleLines()) {
    const std::string text = ParseCsvLine(line).text;
    if (text.find("http://") != std::string::npos) ++links;
    for (size_t at = 0; (at = text.find('<', at)) != std::string::npos;) {
      const size_t end = text.find('>', at);
      ASSERT_NE(end, std::string::npos) << "a '<' without '>': " << text.substr(at, 30);
      const std::string tag = text.substr(at + 1, end - at - 1);
      // A blank would split the tag into two words, a '<' means a stray one.
      EXPECT_EQ(tag.find_first_of(" <"), std::string::npos) << "<" << tag << ">";
      const size_t eq = tag.find('=');
      const std::string name = eq == std::string::npos ? tag : tag.substr(0, eq + 1);
      const std::string value = eq == std::string::npos ? "" : tag.substr(eq + 1);
      ++seen[name];
      if (kNumbered.count(name)) {
        EXPECT_TRUE(!value.empty() && value.find_first_not_of("0123456789") == std::string::npos)
            << "<" << tag << ">";
      } else if (const auto named = kNamed.find(name); named != kNamed.end()) {
        EXPECT_TRUE(named->second.count(value)) << "<" << tag << ">";
        ++seen[value];
      } else {
        EXPECT_TRUE(kPlain.count(name)) << "unknown tag <" << tag << ">";
      }
      // Morse words are played character by character: only playable ones.
      if (tag == "Morse") {
        const size_t close = text.find("</Morse>", end);
        ASSERT_NE(close, std::string::npos);
        const std::string word = text.substr(end + 1, close - end - 1);
        EXPECT_EQ(word.find_first_not_of(kMorseSet), std::string::npos) << word;
      }
      at = end + 1;
    }
  }
  for (const auto& used : {kPlain, kNumbered, kColours, kToneFiles})
    for (const std::string& u : used) EXPECT_GT(seen[u], 0) << u << " unused";
  for (const auto& [tag, names] : kNamed) EXPECT_GT(seen[tag], 0) << tag << " unused";
  EXPECT_GT(links, 0);
}

}  // namespace
}  // namespace qorvex::testing
