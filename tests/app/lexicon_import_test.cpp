// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon import: how lines are split, cut into pieces and unquoted, and
// what an import does to the lexicon files.
#include "app/core/lexicon_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <new>

#include "isam/check.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

TEST(CsvTest, LinesEndAtCrLfLfOrCr) {
  using V = std::vector<std::string>;
  // LF CR is two line ends.
  // clang-format off
  const std::pair<std::string, V> cases[] = {
      {"", {}}, {"a", {"a"}}, {"a\r\n", {"a"}}, {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}}, {"a\r\n\r\nb\r\n\r\n", {"a", "", "b", ""}}, {"\n", {""}}};
  // clang-format on
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(SplitCsvLines(bytes), lines) << bytes;
}

// Each line falls into its four pieces: split at the first two ";", the
// topic between the middle piece's first "<" and first ">", then unquoted
// (pairs of quotes collapse, then one leading and one trailing quote go).
TEST(CsvTest, ALineFallsIntoItsFourPiecesUnquoted) {
  const struct {
    std::string line, term, topic, text, seeAlso;
  } cases[] = {
      {"Antenne;<Technik>Eine <b>Antenne</b> strahlt ab.;Dipol, Richtantenne", "Antenne", "Technik",
       "Eine <b>Antenne</b> strahlt ab.", "Dipol, Richtantenne"},
      {"a;<b>c;d;e;f", "a", "b", "c", "d;e;f"},  // the see-also keeps further ";"
      {"nur Text", "", "", "nur Text", ""},      // no ";": no term
      {"<T>rest", "", "T", "rest", ""},
      {"W;Text ohne Thema;S", "W", "", "Text ohne Thema", "S"},
      {"W;Thema>Text;S", "W", "Thema", "Text", "S"},  // ">" without "<"
      {"W;a>b<c;S", "W", "", "b<c", "S"},             // ">" before "<"
      {"W;<>Text;S", "W", "", "Text", "S"},
      {"\"a;b\"", "a", "", "b", ""},  // quotes do not protect a ";"
      {"", "", "", "", ""},
      {"\"", "", "", "", ""},
      {"\"\"Q\"\" code;\"\"\"Q\"\"\";\"\"", "Q\" code", "", "Q", ""},
      {"\"a\"; \"x\" ;\"", "a", "", " \"x\" ", ""},  // blanks stay
  };
  for (const auto& c : cases) {
    const CsvEntry e = ParseCsvLine(c.line);
    EXPECT_EQ(std::tie(e.term, e.topic, e.text, e.seeAlso),
              std::tie(c.term, c.topic, c.text, c.seeAlso))
        << c.line;
  }
}

class ImportTest : public LexiconTest {
 protected:
  ImportResult Import(const std::string& bytes) {
    WriteAll(Path("ZEL_LEX.CSV"), isam::testing::Bytes(bytes.begin(), bytes.end()));
    return ImportLexicon(Path("ZEL_LEX.CSV"), *lex_);
  }
  // Terms in the order of index 2 (topic, then term).
  std::vector<std::string> Terms() {
    std::vector<std::string> t;
    for (bool ok = lex_->First(2); ok; ok = lex_->Next(false, true)) t.push_back(lex_->GetTerm());
    return t;
  }
};

TEST_F(ImportTest, EveryLineBecomesAnEntry) {
  const std::string text(70000, 't');
  const ImportResult r =
      Import("Dipol;<Antennen>Zwei Leiter.;Antenne\r\n\r\n" + std::string(60, 'L') + ";<A>" + text +
             ";\n\xD6l;<Betrieb>x;\rletzte;<Z>y;");
  ASSERT_TRUE(r.read) << r.error;
  EXPECT_EQ(r.added, 5);
  // The empty entry sorts first (empty topic).
  EXPECT_EQ(Terms(),
            (std::vector<std::string>{"", std::string(50, 'L'), "Dipol", "\xD6l", "letzte"}));
  ASSERT_TRUE(lex_->FindTerm(std::string(50, 'L')));
  EXPECT_EQ(lex_->GetText().size(), 64000u);
  ASSERT_TRUE(lex_->FindTerm("\xF6L"));
  EXPECT_EQ(lex_->GetTopic(), "Betrieb");
  ASSERT_TRUE(lex_->FindTerm("dipol"));
  EXPECT_EQ(lex_->GetSeeAlso(), "Antenne");
  EXPECT_EQ(lex_->Rec.Id, 1);
  EXPECT_TRUE(CheckFiles().ok());
}

TEST_F(ImportTest, AByteOrderMarkMeansUtf8) {
  const ImportResult r =
      Import("\xEF\xBB\xBF\xC3\x96l;<Betrieb>Gr\xC3\xBC\xC3\237e \xE2\x82\xAC \xE2\x9C\x93;");
  ASSERT_TRUE(r.read);
  EXPECT_EQ(r.added, 1);
  ASSERT_TRUE(lex_->First(1));
  EXPECT_EQ(lex_->GetTerm(), "\xD6l");
  EXPECT_EQ(lex_->GetText(), "Gr\xFC\337e \x80 ?")
      << "the euro sign is in the code page, the tick not";
  // Without the mark the bytes are stored as they are.
  ASSERT_TRUE(Import("\xC3\x96l;x;").read);
  ASSERT_TRUE(lex_->First(1));
  EXPECT_EQ(lex_->GetTerm(), "\xC3\x96l");
}

// Only a regular file of up to 1 GiB is read; anything else, or memory
// running out while reading, leaves the lexicon as it was.
TEST_F(ImportTest, AnUnreadableFileChangesNothing) {
  ASSERT_EQ(Import("a;<T>1;\r\nb;<T>2;\r\n").added, 2);
  const auto files = Files();
  std::filesystem::create_directory(Path("ORDNER.CSV"));
  ASSERT_EQ(mkfifo(Path("FIFO.CSV").c_str(), 0600), 0);  // no writer: an open would wait
  WriteAll(Path("GROSS.CSV"), {});
  std::filesystem::resize_file(Path("GROSS.CSV"), kMaxDeliveryBytes + 1);  // sparse
  std::filesystem::create_symlink("SCHLEIFE.CSV", Path("SCHLEIFE.CSV"));
  const DeliveryReader noMemory = [](const std::string&, std::string&, ReadProblem&) -> bool {
    throw std::bad_alloc();
  };
  // The file, how it is read, the problem in German and in English.
  const std::tuple<std::string, DeliveryReader, std::string, std::string> cases[] = {
      {Path("FEHLT.CSV"), ReadDeliveryFile, "Datei nicht gefunden", "no such file"},
      {Path("ORDNER.CSV"), ReadDeliveryFile, "ein Ordner, keine Datei", "a folder, not a file"},
      {Path("FIFO.CSV"), ReadDeliveryFile, "keine gew\xF6hnliche Datei", "not a regular file"},
      {"/dev/zero", ReadDeliveryFile, "keine gew\xF6hnliche Datei", "not a regular file"},
      // A regular file whose size reads as 0 and whose bytes cannot be read.
      {"/proc/self/mem", ReadDeliveryFile, "Lesefehler (Ein-/Ausgabefehler)",
       "read error (input/output error)"},
      {Path("GROSS.CSV"), ReadDeliveryFile, "1073741825 Bytes, mehr als 1 GiB",
       "1073741825 bytes, more than 1 GiB"},
      {Path("SCHLEIFE.CSV"), ReadDeliveryFile, "zu viele Ebenen symbolischer Verkn\xFCpfungen",
       "too many levels of symbolic links (errno 40)"},
      {Path("ZEL_LEX.CSV"), noMemory, "zu wenig Arbeitsspeicher", "not enough memory"},
  };
  for (const auto& [file, read, german, english] : cases) {
    const ImportResult r = ImportLexicon(file, *lex_, read);
    EXPECT_FALSE(r.read);
    EXPECT_EQ(r.error, "Lexikondatei konnte nicht gelesen werden: " + file + ": " + german);
    EXPECT_EQ(ReadProblemEnglish(r.problem), english);
  }
  EXPECT_EQ(Terms(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Files(), files);
}

// Whatever stops an import (the n-th write, sync, rename or unlink failing,
// for every n the import makes), the lexicon is afterwards the old one or
// the new one, never a third; a refused import leaves the old one.
TEST_F(ImportTest, AFailureAtAnyStepLeavesTheOldLexiconOrTheNew) {
  const std::string oldCsv = "a;<T>1;\r\nb;<T>2;\r\n";
  std::string newCsv;
  for (int i = 0; i < 40; ++i)
    newCsv +=
        "n" + std::to_string(i) + ";<U>" + std::string(static_cast<size_t>(i) * 50, 'x') + ";\r\n";
  ASSERT_EQ(Import(newCsv).added, 40);
  const std::vector<std::string> newTerms = Terms();
  int runs = 0, oldSeen = 0, newSeen = 0;
  for (const auto kind :
       {FaultLayer::kWrite, FaultLayer::kSync, FaultLayer::kRename, FaultLayer::kUnlink}) {
    for (int n = 1;; ++n) {
      ASSERT_EQ(Import(oldCsv).added, 2);
      const std::vector<std::string> oldTerms = Terms();
      FaultLayer faults;
      faults.Arm(kind, n);
      isam::SetOsLayer(&faults);
      ImportResult r;
      try {
        r = Import(newCsv);
      } catch (const EDBError&) {  // after the new lexicon took the place
        r.replaced = true;
      }
      isam::SetOsLayer(nullptr);
      if (faults.fired() == 0) {
        EXPECT_TRUE(r.replaced);
        break;
      }
      ++runs;
      Detach();  // the next open finds what the failure left
      Attach();
      const std::vector<std::string> terms = Terms();
      EXPECT_TRUE(terms == oldTerms || terms == newTerms) << kind << " " << n;
      if (r.storageError != 0) {
        EXPECT_EQ(terms, oldTerms) << kind << " " << n;
      }
      oldSeen += terms == oldTerms;
      newSeen += terms == newTerms;
      EXPECT_FALSE(std::filesystem::exists(Path("QDLexNEU.DAT"))) << kind << " " << n;
      EXPECT_TRUE(CheckFiles().ok()) << kind << " " << n;
    }
  }
  EXPECT_GT(runs, 20);
  EXPECT_GT(oldSeen, 0);
  EXPECT_GT(newSeen, 0);
}

// The same delivery file gives the same files, whatever the lexicon held;
// an empty one leaves an empty lexicon.
TEST_F(ImportTest, ImportingTwiceGivesTheSameFilesAndAnEmptyFileNone) {
  std::string csv;
  for (int i = 0; i < 300; ++i)
    csv += "Begriff " + std::to_string(i * 7919 % 300) + ";<Thema " + std::to_string(i % 9) +
           ">Text " + std::string(static_cast<size_t>(i % 1500), 'x') + ";siehe " +
           std::to_string(i) + "\r\n";
  ASSERT_EQ(Import(csv).added, 300);
  const auto files = Files();
  ASSERT_EQ(Import(csv).added, 300);
  EXPECT_EQ(Files(), files);
  const ImportResult r = Import("");
  ASSERT_TRUE(r.read);
  EXPECT_EQ(r.added, 0);
  Detach();
  const isam::CheckReport report = CheckFiles();
  EXPECT_TRUE(report.ok());
  EXPECT_EQ(report.liveRecords, 0u);
  EXPECT_EQ(report.indexEntries, (std::vector<uint32_t>{0, 0, 0}));
  Attach();
}

}  // namespace
}  // namespace qorvex::testing
