// qorvex-db as a user runs it: a child process with arguments, its exit
// code, output and error line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

using isam::testing::Bytes;
using isam::testing::Le16;
using isam::testing::Le32;
using isam::testing::ReadAll;
using isam::testing::TempDir;
using isam::testing::WriteAll;

struct Outcome {
  int code = -1;
  std::string out, err;
};

// Runs qorvex-db with args; stdin is /dev/null (no terminal to ask).
Outcome Tool(const std::vector<std::string>& args, const std::string& scratch) {
  const std::string out = scratch + "/.out", err = scratch + "/.err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv{const_cast<char*>(QORVEX_DB)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QORVEX_DB, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const Bytes o = ReadAll(out), e = ReadAll(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

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
  Outcome Db(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", lex_.path()});
    return Tool(args, scratch_.path());
  }
  std::string Lex(const std::string& name) const { return lex_ / name; }

  TempDir scratch_, lex_;
  std::string csv_ = scratch_ / "ZEL_LEX.CSV";
};

TEST_F(ToolTest, ImportThenCheckAndDamageThatCheckFinds) {
  Outcome r = Db({"import", csv_});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "10000 entries imported\n");
  r = Db({"check"});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("QDLex: 10000 records, index entries 10000/10000/10000: ok"),
            std::string::npos)
      << r.out;
  const Bytes dat = ReadAll(Lex("QDLex.DAT")), ix = ReadAll(Lex("QDLex.IX"));
  constexpr size_t L = 616, kRow = 1804 + 2424 + 874;
  struct Damage {
    const char* what;
    std::string file;
    size_t offset;
    uint8_t value;
  };
  // Record 5's first section lies at slot 5 when the records were
  // appended; its count, an index page's item count, the header's free count.
  const uint32_t first = Le32(dat, 8);  // highest slot: the last record's first section
  ASSERT_GT(first, 10u);
  const Damage damages[] = {
      {"a data slot", "QDLex.DAT", first * L + L - 5, 0xFF},
      {"an index page", "QDLex.IX", kRow + 0, 0},
      {"a header", "QDLex.DAT", 4, 9},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Bytes b = d.file == "QDLex.DAT" ? dat : ix;
    ASSERT_NE(b[d.offset], d.value);
    b[d.offset] = d.value;
    WriteAll(Lex(d.file), b);
    r = Db({"check"});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("fault: "), std::string::npos) << r.out;
    r = Db({"rebuild"});
    EXPECT_EQ(r.code, 0) << r.err;
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

TEST_F(ToolTest, AKillDuringImportLeavesABlockTheNextCommandRepairs) {
  ASSERT_EQ(Db({"import", csv_}).code, 0);
  std::mt19937 rng(std::random_device{}());
  int repaired = 0;
  for (int round = 0; round < 8; ++round) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl(QORVEX_DB, QORVEX_DB, "--dir", lex_.path().c_str(), "import", csv_.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + rng() % 250));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // Whichever command comes next finds the block as the viewer would.
    const Outcome any = Db({round % 2 ? "dump" : "check"});
    if (any.err.find("rebuilt") != std::string::npos) ++repaired;
    const Outcome r = Db({"check"});
    if (r.err.find("no data file") != std::string::npos) continue;  // killed between deletions
    EXPECT_EQ(r.code, 0) << "round " << round << ": " << r.out << r.err;
  }
  std::printf("%d of 8 kills left a block to repair\n", repaired);
}

TEST_F(ToolTest, BadUsageAndBusyBlocksAreRefused) {
  Outcome r = Tool({}, scratch_.path());
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: no command (qorvex-db --help shows the usage)\n");
  r = Tool({"--dir", scratch_ / "nirgends", "check"}, scratch_.path());
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: no such folder: " + (scratch_ / "nirgends") + "\n");
  r = Db({"check", "QDFOO"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("qorvex-db: unknown block: QDFOO", 0), 0u);
  r = Db({"frobnicate"});
  EXPECT_EQ(r.code, 2);
  r = Db({"check"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: QDLex: no data file in the folder\n");
  r = Db({"import", scratch_ / "fehlt.csv"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: Lexikondatei konnte nicht gelesen werden: " +
                       (scratch_ / "fehlt.csv") + ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(Lex("QDLex.DAT"))) << "nothing was made";
  // A block another program holds open unshared: every command refuses it.
  ASSERT_EQ(Db({"import", csv_}).code, 0);
  const Bytes dat = ReadAll(Lex("QDLex.DAT"));
  const int fd = open(Lex("QDLex.DAT").c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  for (const char* command : {"check", "dump", "rebuild", "import"}) {
    SCOPED_TRACE(command);
    r = std::string(command) == "import" ? Db({"import", csv_}) : Db({command});
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.err.find("10140"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  close(fd);
  EXPECT_EQ(ReadAll(Lex("QDLex.DAT")), dat);
  EXPECT_EQ(Db({"check"}).code, 0);
  r = Tool({"--help"}, scratch_.path());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("usage: qorvex-db", 0), 0u);
}

}  // namespace
}  // namespace qorvex::testing
