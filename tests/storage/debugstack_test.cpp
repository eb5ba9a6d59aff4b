// SPDX-License-Identifier: GPL-3.0-or-later
// The error stack: severities, the fifth error, EDBError's message and the
// dump's text and file.
#include "storage/debugstack.h"

#include <gtest/gtest.h>

#include "isam/engine.h"
#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

class DebugStackTest : public ::testing::Test {
 protected:
  void TearDown() override {
    stack_.Clear();
    SetCurrentDebugStack(nullptr);
    CurrentDebugStack().Clear();
  }
  DebugStack stack_;
};

TEST_F(DebugStackTest, AMessageSaysLevelNumberAndBlock) {
  // A message says the level, the number (a storage one cut to 12 bits) and
  // the block.
  EXPECT_STREQ(EDBError(4, kErrReadPastEnd, "QDLex").what(), "Datenbankfehler 4(10070) QDLEX");
  EXPECT_STREQ(EDBError(5, 28742, "QDLex").what(), "Datenbankfehler 5(70) QDLEX");
  EXPECT_EQ(EDBError(4, kDriverNumberOverflow, "qdsetup").severity(), 4);
}

TEST_F(DebugStackTest, AFifthErrorReplacesTheFourth) {
  SetCurrentDebugStack(&stack_);
  stack_.Clear();
  for (int32_t n : {kDriverDeletedMeanwhile, kDriverDeletedMeanwhile, kNetErrWriteLock,
                    kDriverChangedMeanwhile})
    stack_.Record(nullptr, 0, 1, 0, 0, n);
  EXPECT_EQ(stack_.count(), 4);
  EXPECT_EQ(ErrorLevel(), 2);  // 12309 alone is severity 1: callers give it 4 or 5
  stack_.Record(nullptr, 0, 5, 7, 2, kDriverNextNoCurrent);
  EXPECT_EQ(stack_.count(), 4);
  EXPECT_EQ(stack_.entry(4).number, kDriverNextNoCurrent);
  EXPECT_EQ(stack_.entry(4).reference, 7);
  EXPECT_EQ(stack_.entry(3).number, kNetErrWriteLock);
  EXPECT_EQ(ErrorLevel(), 5);
  EXPECT_EQ(stack_.Worst()->number, kDriverNextNoCurrent);
  // The first of equals is the worst; an explicit severity wins.
  stack_.Clear();
  stack_.Record(nullptr, 4, 1, 0, 0, kErrReadPastEnd);
  stack_.Record(nullptr, 4, 2, 0, 0, kErrFile);
  EXPECT_EQ(stack_.Worst()->number, kErrReadPastEnd);
  EXPECT_EQ(ErrorLevel(), 4);
  stack_.Clear();
  EXPECT_EQ(ErrorLevel(), 0);
  EXPECT_EQ(stack_.Worst(), nullptr);
}

TEST_F(DebugStackTest, TheDumpTextIsExact) {
  SetCurrentDebugStack(&stack_);
  stack_.Clear();
  stack_.SetMainOperation(0x400E);
  stack_.SetSubOperation(0x21);
  EngineFirstIoFunction = 0x3F00;
  EngineFirstOsError = 0x10005;  // only the low 16 bits are kept
  stack_.Record(nullptr, 0, 5, 42, 3, kErrReadPastEnd);
  ClearStatus();
  stack_.Record(nullptr, 5, 6, 0, 0, 28742);
  const std::string text = stack_.DumpText({2026, 3, 7, 9, 5});
  EXPECT_EQ(text,
            "\r\n"
            "*->  2026: 3: 7   9: 5\r\n"
            "     - Err: 10070 (4)  MP: 0/14  [SP: 33  SN: 5]  KN: 3  RN: 42\r\n"
            "     - DF: $3F  DS: $00  DE: 5\r\n"
            "     - Err: 70 (5)  MP: 0/14  [SP: 33  SN: 6]  KN: 0  RN: 0\r\n"
            "     - DF: $00  DS: $00  DE: 0\r\n"
            "     - AA: $\r\n");
}

TEST_F(DebugStackTest, TheDumpIsAppendedAndTheDeleteKeyLineFollows) {
  TempDir dir;
  SetCurrentDebugStack(&stack_);
  stack_.SetDumpFileName(dir / "IFD.ERR");
  stack_.Clear();
  stack_.Record(nullptr, 2, 1, 0, 0, kNetErrWriteLock);
  stack_.WriteDump({2026, 12, 7, 14, 30});
  EXPECT_FALSE(std::filesystem::exists(dir / "IFD.ERR")) << "level 2 writes nothing";
  stack_.SetDeleteKeyFlag();
  stack_.WriteDump({2026, 12, 7, 14, 30});
  EXPECT_EQ(ReadText(dir / "IFD.ERR"), "PosErrorDeleteKey\r\n");
  stack_.Record(nullptr, 4, 1, 0, 0, kErrFile);
  stack_.WriteDump({2026, 12, 7, 14, 30});
  stack_.WriteDump({2026, 12, 7, 14, 31});
  const std::string one = stack_.DumpText({2026, 12, 7, 14, 30}) + "PosErrorDeleteKey\r\n";
  const std::string two = stack_.DumpText({2026, 12, 7, 14, 31}) + "PosErrorDeleteKey\r\n";
  EXPECT_EQ(ReadText(dir / "IFD.ERR"), "PosErrorDeleteKey\r\n" + one + two);
  // A file past 1 MiB drops its oldest dumps, whole: the newest stay.
  const size_t each = one.size();
  for (size_t written = 3 * each; written <= kMaxDumpBytes + each; written += each)
    stack_.WriteDump({2026, 12, 7, 14, 30});
  stack_.WriteDump({2026, 12, 7, 14, 31});
  const std::string bounded = ReadText(dir / "IFD.ERR");
  EXPECT_LE(bounded.size(), kMaxDumpBytes);
  EXPECT_GT(bounded.size(), kMaxDumpBytes - 2 * each);
  EXPECT_EQ(bounded.rfind(one, 0), 0u) << "begins with a whole dump";
  EXPECT_TRUE(bounded.ends_with(two));
  stack_.SetDumpFileName("/dev/null");
}

}  // namespace
}  // namespace qorvex::testing
