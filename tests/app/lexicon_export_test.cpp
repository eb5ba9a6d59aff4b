// SPDX-License-Identifier: GPL-3.0-or-later
// The export: how one entry is written, and the round trip import, export,
// import into fresh files giving the same data and index files.
#include "app/core/lexicon_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "support/cp1252.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

TEST(ExportTest, AnEntryBecomesALineTheImportReadsBack) {
  const std::string bom = "\xEF\xBB\xBF", q49 = std::string(49, 'a') + "\"";
  // The entry, the first line or not, the line, the problems counted.
  const std::tuple<CsvEntry, bool, std::string, size_t> cases[] = {
      {{"Antenne", "x<y", "Eine <b>A</b> > 1", "Dipol; Yagi"},
       false,
       "Antenne;<x<y>Eine <b>A</b> > 1;Dipol; Yagi",
       0},
      {{q49, "", "", ""}, false, q49 + "x;<>;", 0},              // the setter cuts the filler again
      {{bom + "W", "", "", ""}, true, "\"" + bom + "W;<>;", 0},  // the import takes the quote
      {{bom + "W", "", "", ""}, false, bom + "W;<>;", 0},
      {{"a;b", "a>b", "a\nb", "\"a\"\"b\""}, false, "a;b;<a>b>a\nb;\"a\"\"b\"x", 6},
  };
  for (const auto& [entry, first, line, count] : cases) {
    std::vector<std::string> problems;
    EXPECT_EQ(FormatCsvLine(entry, first, problems), line);
    EXPECT_EQ(problems.size(), count) << line;
  }
}

// Lines that the import cuts and unquotes in every awkward way.
std::string RandomLines(std::mt19937& rng, int n) {
  const std::string pool = "aZ \";<>,\xE4\xDF\x81\xEF\xBB\xBF\t-";
  auto piece = [&](size_t max) {
    std::string s(rng() % (max + 1), ' ');
    for (char& c : s) c = pool[rng() % pool.size()];
    return s;
  };
  std::string csv = "Erste;<T>x;y\r\n";  // the file must not begin with the mark
  for (int i = 0; i < n; ++i)
    csv += piece(rng() % 8 ? 40 : 300) + piece(60) + piece(rng() % 8 ? 40 : 600) + "\r\n";
  // Values that end in a quote where their setters cut them.
  csv += std::string(49, 'b') + "\"rest;<" + std::string(29, 't') + "\"t>" +
         std::string(63999, 'x') + "\"xyz;" + std::string(254, 's') + "\"s\r\n";
  return csv + "\r\n\"\"Q\"\" code;<\"K\">>;\"\r\n";
}

class RoundTripTest : public LexiconTest {
 protected:
  // Imports bytes into fresh files; the data and index files.
  std::pair<Bytes, Bytes> Import(const std::string& bytes) {
    Detach();
    for (const char* ext : {".DAT", ".IX"}) std::filesystem::remove(Path("QDLex") + ext);
    Attach();
    WriteAll(Path("in.csv"), Bytes(bytes.begin(), bytes.end()));
    EXPECT_TRUE(ImportLexicon(Path("in.csv"), *lex_).read);
    return Files();
  }
  std::string Export(bool utf8) {
    std::string out;
    const std::vector<ExportNote> notes =
        ExportLexicon(*lex_, utf8, [&out](std::string_view b) { out += b; });
    for (const ExportNote& n : notes) ADD_FAILURE() << "Id " << n.id << ": " << n.problem;
    return out;
  }
};

TEST_F(RoundTripTest, ImportExportImportGivesTheSameFiles) {
  std::mt19937 rng(12);
  for (int round = 0; round < 6; ++round) {
    std::string csv = RandomLines(rng, 60);
    // Every other round a UTF-8 file whose first term begins with the
    // mark's own bytes.
    if (round % 2) csv = "\xEF\xBB\xBF" + Cp1252ToUtf8("\xEF\xBB\xBFW" + csv);
    const auto files = Import(csv);
    for (bool utf8 : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "round " << round << (utf8 ? " utf8" : " plain"));
      const std::string exported = Export(utf8);
      EXPECT_EQ(exported.starts_with("\xEF\xBB\xBF"), utf8);
      EXPECT_TRUE(exported.ends_with("\r\n"));
      EXPECT_TRUE(Import(exported) == files);
    }
  }
}

}  // namespace
}  // namespace qorvex::testing
