// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-db as a user runs it: a child process with arguments, its exit
// code, output and error line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "qorvex_version.h"
#include "tests/isam/testutil.h"
#include "tests/tools/run_program.h"

namespace qorvex::testing {
namespace {

std::string DeliveryFile(int n) {
  std::mt19937 rng(7);
  std::string csv;
  for (int i = 0; i < n; ++i)
    csv += "Begriff " + std::to_string(i) + ";<Thema " + std::to_string(i % 13) + ">" +
           std::string(100 + rng() % 1001, static_cast<char>('a' + i % 26)) + ";Dipol, Begriff " +
           std::to_string(rng() % n) + "\r\n";
  return csv;
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string csv = DeliveryFile(10000);
    WriteAll(csv_, Bytes(csv.begin(), csv.end()));
  }
  std::string Lex(const std::string& name) const { return lex_ / name; }
  // Any other tool run: stdin is /dev/null (no terminal to ask).
  Outcome Tool(const std::vector<std::string>& args) const {
    return RunProgram(QORVEX_DB, args, scratch_.path());
  }
  // Starts qorvex-db with args and kills it after the given time, counted
  // from the moment the file waitFor appears when one is named.
  void Kill(std::vector<std::string> args, std::chrono::microseconds after,
            const std::string& waitFor = "") {
    args.insert(args.begin(), {"--dir", lex_.path()});
    const pid_t pid = StartProgram(QORVEX_DB, args, "/dev/null", "/dev/null");
    for (int polls = 0; !waitFor.empty() && !std::filesystem::exists(waitFor) && polls < 20000;
         ++polls)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    std::this_thread::sleep_for(after);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  TempDir scratch_, lex_;
  std::string csv_ = scratch_ / "ZEL_LEX.CSV";
  FolderTool Db{QORVEX_DB, lex_.path(), scratch_.path()};
};

// A small delivery file of two entries.
const std::string kTwoLines = "Dipol;<Antennen>Text;\r\nYagi;<Antennen>Text;\r\n";

constexpr size_t kSection = 616;
const std::string kAllSound = "QDLex: 10000 records, index entries 10000/10000/10000: ok";

TEST_F(ToolTest, ImportThenCheckAndDamageThatCheckFinds) {
  Outcome r = Db({"import", csv_});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "10000 entries imported\n");
  r = Db({"check"});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(kAllSound), std::string::npos) << r.out;
  const Bytes dat = ReadAll(Lex("QDLex.DAT")), ix = ReadAll(Lex("QDLex.IX"));
  constexpr size_t kRow = 1804 + 2424 + 874;
  // The last record's first section is the highest slot (records were
  // appended); its count, an index page's item count, the header's free count.
  const uint32_t last = Le32(dat, 8);
  ASSERT_GT(last, 10u);
  // What, the file, the offset, the byte written there.
  const std::tuple<const char*, std::string, size_t, uint8_t> damages[] = {
      {"a data slot", "QDLex.DAT", last * kSection + kSection - 5, 0xFF},
      {"an index page", "QDLex.IX", kRow + 0, 0},
      {"a header", "QDLex.DAT", 4, 9},
  };
  for (const auto& [what, file, offset, value] : damages) {
    SCOPED_TRACE(what);
    Bytes b = file == "QDLex.DAT" ? dat : ix;
    ASSERT_NE(b[offset], value);
    b[offset] = value;
    WriteAll(Lex(file), b);
    r = Db({"check"});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("fault: "), std::string::npos) << r.out;
    r = Db({"rebuild"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    r = Db({"check"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    WriteAll(Lex("QDLex.DAT"), dat);
    WriteAll(Lex("QDLex.IX"), ix);
  }
  // dump shows the records in UTF-8.
  r = Db({"dump"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Begriff \"Begriff 9999\""), std::string::npos);
}

// A kill at any moment of an import leaves the old lexicon or the new one;
// after a killed rebuild the next command finds every record.
TEST_F(ToolTest, KillsDuringImportAndRebuildLoseNothingTheNextCommandCanKeep) {
  std::mt19937 rng(std::random_device{}());
  int oldSeen = 0, newSeen = 0;
  for (int round = 0; round < 10; ++round) {
    if (round == 0 || newSeen > 0) {
      ASSERT_EQ(Db.Import(kTwoLines), 0);
    }
    Kill({"import", csv_}, std::chrono::milliseconds(rng() % 350));
    const Outcome r = Db({round % 2 ? "dump" : "check"});
    ASSERT_EQ(r.code, 0) << "round " << round << ": " << r.err;
    const Outcome check = Db({"check"});
    const bool old = check.out.find("QDLex: 2 records") != std::string::npos;
    const bool neu = check.out.find("QDLex: 10000 records") != std::string::npos;
    EXPECT_TRUE(old || neu) << "round " << round << ": " << check.out << check.err;
    oldSeen += old;
    newSeen += neu;
  }
  ASSERT_EQ(Db({"import", csv_}).code, 0);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Db({"rebuild"}).code, 0);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  int resumed = 0;
  for (int round = 0; round < 12; ++round) {
    // Every other kill lands while the records are copied (".SAV" exists).
    if (round % 2)
      Kill({"rebuild"}, std::chrono::microseconds(rng() % took.count()));
    else
      Kill({"rebuild"}, std::chrono::microseconds(rng() % (took.count() / 8)), Lex("QDLex.SAV"));
    const Outcome r = Db({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    if (r.err.find("resumed from QDLex.SAV") != std::string::npos) ++resumed;
    EXPECT_NE(r.out.find(kAllSound), std::string::npos) << round << ": " << r.out << r.err;
  }
  // The dump lists every record, each on a line opened by "[".
  const std::string dump = Db({"dump"}).out;
  int records = 0;
  for (size_t at = 0; (at = dump.find("\n[", at)) != std::string::npos; ++at) ++records;
  EXPECT_EQ(records, 10000);
  std::printf(
      "killed imports: %d left the old lexicon, %d the new; %d of 12 killed rebuilds left one "
      "to resume\n",
      oldSeen, newSeen, resumed);
}

TEST_F(ToolTest, AFullDiskLeavesTheOldLexicon) {
  ASSERT_EQ(Db.Import(kTwoLines), 0);
  // qorvex-db may write files of at most 2 MiB.
  const Outcome r = Db({"import", csv_}, {.fileLimit = 2 << 20});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(
      r.err,
      "qorvex-db: import refused: QDLex: the disk is full (10075); the lexicon is unchanged\n");
  const Outcome check = Db({"check"});
  EXPECT_EQ(check.code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("QDLex: 2 records"), std::string::npos) << check.out;
  EXPECT_FALSE(std::filesystem::exists(Lex("QDLexNEU.DAT")));
}

// Every message names its cause in words, with the number in parentheses.
TEST_F(ToolTest, MessagesSayWhatWentWrong) {
  const std::string dir = lex_.path(), nowhere = scratch_ / "nirgends";
  const std::string help = " (qorvex-db --help shows the usage)";
  const std::pair<std::vector<std::string>, std::string> usage[] = {
      {{}, "no command" + help},
      {{"--dir", nowhere, "check"}, "no such folder: " + nowhere},
      {{"--dir", dir, "check", "QDFOO"},
       "unknown block: QDFOO (blocks: QDLex, QDSETUP, QDSETUP2, ZELPSETP, QKSETUP)"},
      {{"--dir", dir, "frobnicate"}, "unknown command: frobnicate" + help},
      {{"--dir", dir, "check", "QDLex", "QDSETUP"}, "check takes at most one BLOCK" + help},
      {{"--dir", dir, "import"}, "import needs one FILE" + help},
      {{"--dir", dir, "check"}, "QDLex: no data file in the folder"},
      {{"--dir", dir, "import", nowhere},
       "cannot read " + nowhere + ": no such file; the lexicon is unchanged"},
  };
  for (const auto& [args, line] : usage) {
    const Outcome r = Tool(args);
    EXPECT_EQ(std::tie(r.code, r.err), std::make_tuple(2, "qorvex-db: " + line + "\n"));
  }
  EXPECT_FALSE(std::filesystem::exists(Lex("QDLex.DAT"))) << "nothing was made";
  Outcome r = Tool({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("usage: qorvex-db", 0), 0u);
  r = Tool({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::string("qorvex-db ") + kVersion + "\n");

  ASSERT_EQ(Db.Import(kTwoLines), 0);
  const Bytes dat = ReadAll(Lex("QDLex.DAT")), ix = ReadAll(Lex("QDLex.IX"));
  const std::string leftInUse =
      "qorvex-db: QDLex: the block was left in use, or its index file cannot be used (10010): "
      "rebuilt, as the viewer would on opening it\n";
  const std::string notIndexed =
      "QDLex: 1 record could not be indexed (its Id is already taken): kept in QDLex.MSG";
  // What, the damage to the data file, the command, its exit code, the
  // whole standard error and a line of the output.
  const std::tuple<const char*, std::function<void(Bytes&)>, std::string, int, std::string,
                   std::string>
      cases[] = {
          {"a .SAV file we did not leave", [&](Bytes&) { WriteAll(Lex("QDLex.SAV"), dat); },
           "rebuild", 2,
           "qorvex-db: QDLex: a .SAV file lies beside the .DAT file and neither was left by our "
           "rebuild: move away the one that does not hold the records (10465)\n",
           ""},
          {"a .SAV file beside a sound block", [&](Bytes&) { WriteAll(Lex("QDLex.SAV"), dat); },
           "check", 0, "",
           "note: QDLex.SAV lies beside QDLex.DAT: a rebuild stops (10465) until one of them is "
           "moved "
           "away"},
          {"a data file cut in its header", [](Bytes& b) { b.resize(10); }, "dump", 2,
           "qorvex-db: QDLex: QDLex.DAT: the file is empty or damaged (it ends before what its "
           "header claims) (10070)\n",
           ""},
          {"one index fewer in the header", [](Bytes& b) { b[16] = 2; }, "check", 0,
           "qorvex-db: QDLex: the index file's layout differs from the block's (24653): rebuilt, "
           "as "
           "the viewer would on opening it\n",
           "QDLex: 2 records, index entries 2/2/2: ok"},
          {"an Id below 1 that a rebuild cannot mend",
           [](Bytes& b) { std::fill_n(b.begin() + kSection + 4, 4, 0); }, "rebuild", 1, "",
           "fault: QDLex.DAT record 1: Id 0, expected 1 or more"},
          {"two records with Id 1", [](Bytes& b) { b[2 * kSection + 4] = 1; }, "rebuild", 1, "",
           notIndexed},
          {"two records with Id 1, left in use",
           [](Bytes& b) { b[2 * kSection + 4] = 1, b[20] = 1; }, "check", 1,
           leftInUse + "qorvex-db: " + notIndexed + "\n", "QDLex: 1 records"},
          {"an empty data file beside its backup",
           [&](Bytes& b) { WriteAll(Lex("QDLex.ALT"), dat), b.clear(); }, "check", 0, leftInUse,
           "QDLex: 2 records, index entries 2/2/2: ok"},
          {"a rebuild killed before the copy's first write",
           [&](Bytes& b) { WriteAll(Lex("QDLex.SAV"), dat), b.clear(); }, "rebuild", 0, "",
           "QDLex: an interrupted rebuild was resumed from QDLex.SAV"},
      };
  for (const auto& [what, damage, command, code, err, out] : cases) {
    SCOPED_TRACE(what);
    Bytes b = dat;
    damage(b);
    WriteAll(Lex("QDLex.DAT"), b);
    r = Db({command});
    EXPECT_EQ(r.code, code) << r.out << r.err;
    EXPECT_EQ(r.err, err);
    EXPECT_NE(r.out.find(out), std::string::npos) << r.out;
    if (r.out.find("could not be indexed") != std::string::npos ||
        r.err.find("could not be indexed") != std::string::npos) {
      // Neither record is lost: the first in slot order is indexed, the other kept.
      const std::string text = ReadText(Lex("QDLex.MSG"));
      EXPECT_NE(text.find("Data record deleted - Dump follows\r\n"), std::string::npos);
      EXPECT_NE(text.find("Yagi"), std::string::npos);
      EXPECT_EQ(Db({"lookup", "Dipol"}).code, 0);
    }
    for (const char* ext : {".SAV", ".ALT", ".MSG"}) std::filesystem::remove(Lex("QDLex") + ext);
    WriteAll(Lex("QDLex.DAT"), dat);
    WriteAll(Lex("QDLex.IX"), ix);
  }

  // A block another program holds open unshared: every command refuses it.
  const int fd = open(Lex("QDLex.DAT").c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  for (const char* command : {"check", "dump", "rebuild", "import"}) {
    SCOPED_TRACE(command);
    r = std::string(command) == "import" ? Db({"import", csv_}) : Db({command});
    EXPECT_EQ(r.code, 2) << r.out;
    const bool import = std::string(command) == "import";
    EXPECT_EQ(r.err, std::string("qorvex-db: ") +
                         (import ? "import refused: QDLex: " : "QDLex: QDLex.DAT: ") +
                         "the file is used by another program or cannot be accessed (10140)" +
                         (import ? "; the lexicon is unchanged" : "") + "\n");
  }
  close(fd);
  EXPECT_EQ(ReadAll(Lex("QDLex.DAT")), dat);
}

}  // namespace
}  // namespace qorvex::testing
