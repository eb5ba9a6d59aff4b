// SPDX-License-Identifier: GPL-3.0-or-later
// The storage session of a program folder: how far an open comes, and that
// it closes what it opened in reverse order whatever fails on the way.
#include "app/core/lexicon_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/core/lexicon_import.h"
#include "diag/storage_startup.h"
#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentDebugStack().SetDumpFileName("/dev/null"); }
  void TearDown() override {
    isam::SetOsLayer(nullptr);
    EXPECT_FALSE(IFDriver::Started()) << "a session left the driver running";
  }
  // A folder with a lexicon of two entries, closed.
  void MakeLexicon() {
    const std::string csv = "Dipol;<Antennen>Text;\r\nYagi;<Antennen>Text;\r\n";
    WriteAll(dir_ / "new.csv", Bytes(csv.begin(), csv.end()));
    LexiconSession session(dir_.path());
    ASSERT_EQ(session.state(), LexiconSession::State::kOpen);
    ASSERT_EQ(ImportLexicon(dir_ / "new.csv", *session.lexicon()).added, 2);
  }
  std::vector<int32_t> reported_;
  SessionReport report_ = [this](const EDBError& e) { reported_.push_back(e.number()); };
  TempDir dir_;
};

TEST_F(SessionTest, OpensDriverSettingsAndLexiconAndClosesThem) {
  MakeLexicon();
  {
    LexiconSession session(dir_.path(), {}, report_);
    EXPECT_EQ(session.state(), LexiconSession::State::kOpen);
    EXPECT_TRUE(session.settingsReady());
    ASSERT_NE(session.lexicon(), nullptr);
    EXPECT_TRUE(session.lexicon()->FindTerm("yagi"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "QDSETUP.DAT"));
    EXPECT_TRUE(reported_.empty());
  }
  // A session for the blocks alone makes nothing.
  TempDir empty;
  {
    LexiconSession blocks(empty.path(), {.settings = false, .lexicon = false}, report_);
    EXPECT_EQ(blocks.state(), LexiconSession::State::kOpen);
    EXPECT_EQ(blocks.lexicon(), nullptr);
  }
  EXPECT_TRUE(std::filesystem::is_empty(empty.path()));
}

// Another program holds the lexicon: a value, nothing written, the driver
// still stopped at the end.
TEST_F(SessionTest, ALexiconHeldElsewhereIsAStateAndNothingChanges) {
  MakeLexicon();
  const Bytes dat = ReadAll(dir_ / "QDLex.DAT"), ix = ReadAll(dir_ / "QDLex.IX");
  const int fd = ::open((dir_ / "QDLex.DAT").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  {
    LexiconSession session(dir_.path(), {.settings = false}, report_);
    EXPECT_EQ(session.state(), LexiconSession::State::kLexiconHeld);
    EXPECT_EQ(session.lexicon(), nullptr);
  }
  ::close(fd);
  EXPECT_TRUE(reported_.empty()) << reported_.front();
  EXPECT_EQ(ReadAll(dir_ / "QDLex.DAT"), dat);
  EXPECT_EQ(ReadAll(dir_ / "QDLex.IX"), ix);
}

// A driver that does not start (here: it runs already) leaves nothing open
// and stops nothing it did not start.
TEST_F(SessionTest, ADriverThatFailsToStartLeavesNothingOpen) {
  ASSERT_TRUE(IFDriver::Start(2, 160, 32));
  {
    LexiconSession session(dir_.path(), {}, report_);
    EXPECT_EQ(session.state(), LexiconSession::State::kDriverFailed);
    EXPECT_EQ(session.lexicon(), nullptr);
  }
  EXPECT_EQ(reported_.size(), 1u);
  EXPECT_TRUE(IFDriver::Started());
  // The refused start left the in-operation flag: the first stop clears it.
  if (!IFDriver::Stop()) IFDriver::Stop();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "QDLex.DAT"));
}

// Closing goes on in reverse order when a step fails: the lexicon's last
// write-back fails (the driver keeps that in its error stack), the driver
// still stops, and the next session finds the lexicon again.
TEST_F(SessionTest, ClosingGoesOnWhenAStepFails) {
  MakeLexicon();
  FaultLayer faults;
  {
    LexiconSession session(dir_.path(), {.settings = false}, report_);
    ASSERT_EQ(session.state(), LexiconSession::State::kOpen);
    session.lexicon()->ClearRec();
    session.lexicon()->SetTerm("Neu");
    ASSERT_TRUE(session.lexicon()->Add());
    faults.Arm(FaultLayer::kWrite, 1, true);
    isam::SetOsLayer(&faults);
  }
  isam::SetOsLayer(nullptr);
  EXPECT_GT(faults.fired(), 0);
  EXPECT_FALSE(IFDriver::Started());
  LexiconSession next(dir_.path(), {.settings = false}, report_);
  EXPECT_EQ(next.state(), LexiconSession::State::kOpen);
  ASSERT_NE(next.lexicon(), nullptr);
  EXPECT_TRUE(next.lexicon()->FindTerm("Dipol"));
}

}  // namespace
}  // namespace qorvex::testing
