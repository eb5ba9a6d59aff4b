// SPDX-License-Identifier: GPL-3.0-or-later
// Driver start and stop for the programs, and the retry questions.
#include "diag/storage_startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/ifdriver.h"
#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

class DiagTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetQuestionHandler(
        [this](const std::string& caption, const std::string& heading, const std::string& text) {
          EXPECT_EQ(caption, "");
          EXPECT_EQ(heading, "");
          asked_.push_back(text);
          return answer_;
        });
  }
  void TearDown() override {
    SetQuestionHandler(nullptr);
    CurrentDebugStack().Clear();
    CurrentDebugStack().SetDumpFileName("/dev/null");
  }
  std::vector<std::string> asked_;  // the questions' texts
  bool answer_ = true;
};

TEST_F(DiagTest, EveryKindHasItsQuestion) {
  const std::string name = "QDSETUP";
  EXPECT_EQ(RetryQuestion(name, 1), "QDSETUP:  Record oder Datei gelockt. Noch einmal versuchen? ");
  EXPECT_EQ(RetryQuestion(name, 2), "QDSETUP:  LockRec gescheitert. Noch einmal versuchen? ");
  EXPECT_EQ(RetryQuestion(name, 3), "QDSETUP:  LockFileBlock gescheitert. Noch einmal versuchen? ");
  EXPECT_EQ(RetryQuestion(name, 4), "QDSETUP:  Satz bereits gel\xF6scht. Neuanlegen? ");
  EXPECT_EQ(RetryQuestion(name, 7), "QDSETUP:  Laufwerk nicht bereit. Noch einmal versuchen? ");
  for (uint8_t kind : {0, 8, 200, 255})
    EXPECT_EQ(RetryQuestion(name, kind), "QDSETUP:  undefinierter Fehler. Noch einmal versuchen? ");
  const std::string fifty(50, 'N');
  EXPECT_EQ(RetryQuestion(fifty, 1).substr(0, 43), std::string(40, 'N') + ":  ");
  // Rebuilding and creating are answered yes without a question.
  EXPECT_TRUE(AskRetry(name, 5));
  EXPECT_TRUE(AskRetry(name, 6));
  EXPECT_TRUE(asked_.empty());
  EXPECT_TRUE(AskRetry(name, 1));
  answer_ = false;
  EXPECT_FALSE(AskRetry(name, 3));
  EXPECT_EQ(asked_, (std::vector<std::string>{RetryQuestion(name, 1), RetryQuestion(name, 3)}));
  SetQuestionHandler(nullptr);
  EXPECT_FALSE(AskRetry(name, 1)) << "no one to ask: no";
  EXPECT_EQ(SelectText("Ja", "Yes"), "Ja");
}

TEST_F(DiagTest, StartNamesTheDumpsAndInstallsTheQuestions) {
  TempDir dir;
  SetProgramFolder(dir.path());
  ASSERT_TRUE(InitFileManager());
  EXPECT_EQ(CurrentDebugStack().dumpFileName(), "IFD.ERR");
  // A fatal start error: raised, with the start's dump name.
  EXPECT_THROW(InitFileManager(), EDBError);
  EXPECT_EQ(CurrentDebugStack().dumpFileName(), "VX.ERR");
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kDriverStartedTwice);
  CurrentDebugStack().SetDumpFileName("/dev/null");
  // The retry handler is AskRetry: a missing block is made without asking.
  {
    IFDriver* d = new IFDriver;
    // The raise left the in-operation flag: this open only clears it.
    ASSERT_FALSE(d->Open(&d, "T", "T", false, false, false, true, 30, 0, nullptr, 30, nullptr, 32));
    ASSERT_TRUE(d->Open(&d, "T", "T", false, false, false, true, 30, 0, nullptr, 30, nullptr, 32));
    d->ClearBuffer();
    EXPECT_TRUE(d->Add());
    delete d;
  }
  EXPECT_TRUE(asked_.empty());
  DoneFileManager();
  EXPECT_FALSE(IFDriver::Started());
}

TEST_F(DiagTest, TwoFatalEndsLeaveTwoDumpsInOneFile) {
  TempDir dir;
  for (int run = 0; run < 2; ++run) {
    const std::string command = std::string(QORVEX_FATAL_EXIT) + " " + dir.path() + " > " +
                                dir.path() + "/out" + std::to_string(run);
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  EXPECT_EQ(ReadText(dir / "out0"), "Datenbankfehler 5(52) \n");
  const std::string text = ReadText(dir / "IFD.ERR");
  const std::string entry = "     - Err: 52 (5)  MP: 0/96  [SP: 0  SN: 0]  KN: 0  RN: 0\r\n";
  size_t first = text.find(entry);
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_NE(text.find(entry, first + 1), std::string::npos) << text;
  EXPECT_EQ(text.substr(0, 7), "\r\n*->  ");
  EXPECT_FALSE(std::filesystem::exists(dir / "VX.ERR"));
}

}  // namespace
}  // namespace qorvex::testing
