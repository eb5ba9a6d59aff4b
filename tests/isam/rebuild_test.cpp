// SPDX-License-Identifier: GPL-3.0-or-later
// Rebuild of a file block from its data file: reorganise through ".SAV",
// re-index with duplicates logged to ".MSG", resume and refuse cases, the
// way back on failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "isam/check.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

constexpr int32_t kL = 40;
// Index 1: bytes 4..7 with duplicates; index 2: bytes 8..11, unique.
const KeyDescriptor kTwoKeys[] = {{4, 1}, {4, 0}};

std::string Key(std::span<const uint8_t> r, int k) {
  return std::string(r.begin() + 4 * k, r.begin() + 4 * k + 4);
}

Bytes Rec(const std::string& k1, const std::string& k2, uint8_t fill) {
  Bytes r(kL, fill);
  std::fill(r.begin(), r.begin() + 12, 0);
  std::copy(k1.begin(), k1.end(), r.begin() + 4);
  std::copy(k2.begin(), k2.end(), r.begin() + 8);
  return r;
}

class RebuildTest : public EngineTest {
 protected:
  void TearDown() override {
    SetRebuildProgress(nullptr);
    EngineTest::TearDown();
  }
  // A block "B" with these records (and no keys); the refs listed are
  // deleted afterwards.
  void Make(const std::vector<Bytes>& records, const std::vector<int32_t>& deleted = {}) {
    FileBlockHandle fb = CreateOpen(base_, kL, kTwoKeys);
    for (Bytes r : records) {
      int32_t ref = 0;
      ASSERT_TRUE(Ok(AddRecord, fb, ref, r.data()))
          << EngineError;  // the keys come with the rebuild
    }
    for (int32_t ref : deleted) DeleteRecord(fb, ref);  // keys are rebuilt anyway
    ASSERT_TRUE(Ok(CloseFileBlock, fb)) << EngineError;
  }
  // The rebuild's outcome: 0, or the engine error it left.
  int32_t Rebuild() {
    RebuildFileBlock(base_, kL, 2, Key, kTwoKeys);
    return EngineOK ? 0 : EngineError;
  }
  // What the driver does on the next open: an empty data file is deleted
  // (its path step); a block that open finds left in use, with an unusable
  // index, missing, or with other indexes than it should have, is rebuilt.
  void OpenAsTheDriverWould() {
    std::error_code ec;
    if (std::filesystem::file_size(base_ + ".DAT", ec) == 0 && !ec)
      std::filesystem::remove(base_ + ".DAT");
    FileBlockHandle fb = nullptr;
    if (OpenError(fb, base_) == 0) {
      const bool sameLayout = IndexCount(fb) == 2;
      CloseFileBlock(fb);
      if (sameLayout) return;
    } else {
      const int32_t e = EngineError;
      ASSERT_TRUE(IsIndexUnusable(e) || e == kErrFileNotFound) << e;
    }
    ASSERT_EQ(Rebuild(), 0);
  }
  bool Exists(const std::string& ext) const { return std::filesystem::exists(base_ + ext); }
  CheckReport Check() const { return CheckFileBlock(base_ + ".DAT", base_ + ".IX"); }

  std::string base_ = Name("B");
};

TEST_F(RebuildTest, DeletedSlotsGoAndTheOrderStays) {
  Make({Rec("a", "1", 0x11), Rec("b", "2", 0x22), Rec("c", "3", 0x33), Rec("d", "4", 0x44),
        Rec("e", "5", 0x55)},
       {2, 4});
  ASSERT_EQ(Rebuild(), 0);
  const Bytes dat = ReadAll(base_ + ".DAT");
  ASSERT_EQ(dat.size(), 4u * kL);
  EXPECT_EQ(DatHeader(dat), (Header{-1, 0, 3, kL, 2, 0}));  // no deleted slot
  EXPECT_EQ(Bytes(dat.begin() + kL, dat.end()),
            Join({Rec("a", "1", 0x11), Rec("c", "3", 0x33), Rec("e", "5", 0x55)}));
  EXPECT_FALSE(Exists(".SAV"));
  EXPECT_FALSE(Exists(".MSG"));
  const CheckReport report = Check();
  EXPECT_TRUE(report.ok()) << report.faults.front();
  EXPECT_EQ(report.indexEntries, (std::vector<uint32_t>{3, 3}));
  FileBlockHandle fb = Open(base_);
  int32_t ref = 0;
  FindKey(fb, 2, ref, std::string("5\0\0\0", 4));
  EXPECT_EQ(ref, 3);
  CloseFileBlock(fb);
}

TEST_F(RebuildTest, ADuplicateInAUniqueIndexIsDeletedAndLogged) {
  Make({Rec("a", "x", 0x41), Rec("b", "x", 0x42), Rec("c", "y", 0x43)});
  ASSERT_EQ(Rebuild(), 0);
  const std::string msg = ReadText(base_ + ".MSG");
  const Bytes b = Rec("b", "x", 0x42);
  EXPECT_EQ(msg, std::string("Key:<x\0\0\0> KeyNr: 2 Ref: 2 not added\r\n", 38) +
                     "Data record deleted - Dump follows\r\n" + std::string(b.begin(), b.end()) +
                     "\r\n\r\n");
  EXPECT_EQ(Le32(ReadAll(base_ + ".DAT"), 0), 2u);  // the second record was deleted
  const CheckReport report = Check();
  EXPECT_TRUE(report.ok()) << report.faults.front();
  EXPECT_EQ(report.liveRecords, 2u);
  EXPECT_EQ(report.indexEntries, (std::vector<uint32_t>{2, 2}));  // b's first key went too
  EXPECT_EQ(LastRebuildOutcome().dropped, 1);
  // A second rebuild finds nothing to log and keeps the only copy of b.
  ASSERT_EQ(Rebuild(), 0);
  EXPECT_EQ(LastRebuildOutcome().dropped, 0);
  EXPECT_EQ(ReadText(base_ + ".MSG"), msg);
}

// A .SAV file beside the data file changes nothing; a lone one is resumed.
TEST_F(RebuildTest, ASavFileBesideTheDataIsRefusedAndALoneOneResumed) {
  Make({Rec("a", "1", 1), Rec("b", "2", 2), Rec("c", "3", 3), Rec("d", "4", 4)});
  const Bytes dat = ReadAll(base_ + ".DAT"), ix = ReadAll(base_ + ".IX");
  WriteAll(base_ + ".SAV", Bytes(kL * 3, 7));
  EXPECT_EQ(Rebuild(), kErrRebuildInterrupted);
  EXPECT_EQ(ReadAll(base_ + ".DAT"), dat);
  EXPECT_EQ(ReadAll(base_ + ".IX"), ix);
  EXPECT_EQ(ReadAll(base_ + ".SAV"), Bytes(kL * 3, 7));
  // A rebuild running in another program holds the .SAV file.
  const int fd = open((base_ + ".SAV").c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Rebuild(), kErrFile);
  close(fd);
  EXPECT_EQ(ReadAll(base_ + ".DAT"), dat);
  // Neither file: nothing to rebuild from.
  std::filesystem::remove(base_ + ".DAT");
  std::filesystem::remove(base_ + ".SAV");
  EXPECT_EQ(Rebuild(), kErrRebuildNoFile);
  // A lone .SAV whose fourth record is cut in the middle, left in use.
  Bytes cut = dat;
  cut.resize(4 * kL + kL / 2);
  cut[20] = 1;
  WriteAll(base_ + ".SAV", cut);
  std::filesystem::remove(base_ + ".IX");
  ASSERT_EQ(Rebuild(), 0);
  EXPECT_TRUE(LastRebuildOutcome().resumed);
  EXPECT_FALSE(Exists(".SAV"));
  const CheckReport report = Check();
  EXPECT_TRUE(report.ok()) << report.faults.front();
  EXPECT_EQ(report.liveRecords, 3u);
  EXPECT_EQ(ReadAll(base_ + ".DAT").size(), 4u * kL);
}

TEST_F(RebuildTest, AFailureTakesTheWayBack) {
  Make({Rec("a", "1", 1), Rec("b", "2", 2), Rec("c", "3", 3)}, {2});
  const Bytes dat = ReadAll(base_ + ".DAT");
  // Stopped by the progress callback in the copy.
  SetRebuildProgress([](uint32_t slots, uint32_t, uint32_t, const void*) {
    if (slots == 2) EngineOK = false;
  });
  EXPECT_EQ(Rebuild(), kErrRebuildStopped);
  EXPECT_EQ(ReadAll(base_ + ".DAT"), dat);
  EXPECT_FALSE(Exists(".SAV"));
  SetRebuildProgress(nullptr);
  // A write of the new data file fails.
  FaultLayer faults;
  SetOsLayer(&faults);
  faults.Arm(FaultLayer::kWrite, 2, true);
  EXPECT_NE(Rebuild(), 0);
  SetOsLayer(nullptr);
  EXPECT_EQ(ReadAll(base_ + ".DAT"), dat);
  EXPECT_FALSE(Exists(".SAV"));
  // Held open by another program: refused before anything moves.
  FileBlockHandle fb = Open(base_);
  EXPECT_EQ(Rebuild(), kErrFile);
  EXPECT_FALSE(Exists(".SAV"));
  CloseFileBlock(fb);
  EXPECT_EQ(ReadAll(base_ + ".DAT"), dat);
}

TEST_F(RebuildTest, AnInterruptedReindexIsRebuiltAgain) {
  Make({Rec("a", "1", 1), Rec("b", "2", 2), Rec("c", "3", 3)});
  int calls = 0;
  // Phase 1 reports 3 slots; the fifth call is in the re-index.
  SetRebuildProgress([&calls](uint32_t, uint32_t, uint32_t, const void*) {
    if (++calls == 5) EngineOK = false;
  });
  EXPECT_EQ(Rebuild(), kErrRebuildStopped);
  SetRebuildProgress(nullptr);
  FileBlockHandle fb = nullptr;
  // The half-filled index is not taken for whole.
  EXPECT_EQ(OpenError(fb, base_), kErrMustRebuild);
  ASSERT_EQ(Rebuild(), 0);
  EXPECT_TRUE(Check().ok());
  CloseFileBlock(Open(base_));
}

TEST_F(RebuildTest, AKillAtAnyStepLosesNoRecord) {
  constexpr int kRecords = 1700;  // three block writes in the copy
  std::vector<Bytes> records;
  for (int i = 0; i < kRecords; ++i)
    records.push_back(
        Rec(std::string(1, static_cast<char>('a' + i % 26)), Digits(i), static_cast<uint8_t>(i)));
  Make(records, {});
  std::multiset<std::string> want;
  for (const Bytes& r : records) want.emplace(r.begin(), r.end());
  Bytes dat = ReadAll(base_ + ".DAT");
  dat[20] = 1;  // left in use: the next open asks for this rebuild
  const Bytes ix = ReadAll(base_ + ".IX");
  CheckOptions withKeys;
  withKeys.keyBuilder = Key;
  int step = 1;
  for (;; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    WriteAll(base_ + ".DAT", dat);
    WriteAll(base_ + ".IX", ix);
    std::filesystem::remove(base_ + ".SAV");
    const pid_t pid = fork();
    if (pid == 0) {
      // Ends at the step-th change of a file (write, truncate, rename,
      // delete, flush), before it.
      FaultLayer crash;
      crash.Arm(FaultLayer::kAnyChange, step, false, FaultLayer::kExit);
      SetOsLayer(&crash);
      Rebuild();
      _exit(EngineOK ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 0 || code == FaultLayer::kExited) << code;
    OpenAsTheDriverWould();
    if (HasFatalFailure()) return;
    const CheckReport report = CheckFileBlock(base_ + ".DAT", base_ + ".IX", withKeys);
    ASSERT_TRUE(report.ok()) << report.faults.front();
    const Bytes now = ReadAll(base_ + ".DAT");
    std::multiset<std::string> found;
    for (size_t at = kL; at + kL <= now.size(); at += kL)
      if (Le32(now, at) == 0) found.emplace(now.begin() + at, now.begin() + at + kL);
    ASSERT_TRUE(found == want) << found.size() << " records of " << want.size();
    if (code == 0) break;  // the rebuild ran to its end
  }
  EXPECT_GT(step, 20);
  std::printf("%d steps\n", step);
}

TEST_F(RebuildTest, VariableRecordsKeepTheirBytes) {
  constexpr int32_t kSection = 64;
  const KeyDescriptor keys[] = {{4, 0}};
  FileBlockHandle fb = CreateOpen(base_, kSection, keys);
  std::vector<Bytes> records;
  std::vector<int32_t> refs;
  for (uint32_t i = 0; i < 60; ++i) {
    Bytes r(5 + (i * 97) % 700, static_cast<uint8_t>(i));
    std::fill(r.begin(), r.begin() + 4, 0);
    if (r.size() >= 8) std::memcpy(r.data() + 4, &i, 4);
    int32_t ref = 0;
    ASSERT_TRUE(Ok(AddVariableRecord, fb, ref, r.data(), static_cast<uint32_t>(r.size())))
        << EngineError;
    records.push_back(r);
    refs.push_back(ref);
  }
  for (uint32_t i = 0; i < 60; i += 3) DeleteVariableRecord(fb, refs[i]);
  CloseFileBlock(fb);
  // Break one chain: its second section no longer reads as a continuation.
  Bytes dat = ReadAll(base_ + ".DAT");
  const uint32_t victim = 31;  // 700-ish bytes: many sections
  const uint32_t second = Le32(dat, refs[victim] * kSection + kSection - 4);
  ASSERT_NE(second, 0u);
  dat[second * kSection] = 0x55;
  WriteAll(base_ + ".DAT", dat);
  auto key = [](std::span<const uint8_t> r, int) {
    return r.size() >= 8 ? std::string(r.begin() + 4, r.begin() + 8) : std::string(4, '\0');
  };
  RebuildVariableFileBlock(base_, kSection, 1, key, keys);
  ASSERT_TRUE(EngineOK) << EngineError;
  const CheckReport report = CheckFileBlock(base_ + ".DAT", base_ + ".IX", {true, true});
  EXPECT_TRUE(report.ok()) << report.faults.front();
  fb = Open(base_);
  int found = 0;
  for (uint32_t i = 0; i < 60; ++i) {
    if (i % 3 == 0 || records[i].size() < 8) continue;
    int32_t ref = 0;
    FindKey(fb, 1, ref, std::string(records[i].begin() + 4, records[i].begin() + 8));
    if (i == victim) {
      EXPECT_EQ(EngineError, kErrKeyNotFound) << "the broken record is dropped";
      continue;
    }
    ASSERT_TRUE(EngineOK) << i;
    EXPECT_EQ(GetVar(fb, ref, 2000), records[i]) << i;
    ++found;
  }
  EXPECT_EQ(found, 39);
  CloseFileBlock(fb);
}

// Two programs: one rebuilds the block again and again while the other
// opens it as the tools and the viewer do. Each open finds the block whole
// or is refused as in use (10140); it never meets a half-done rebuild (a
// missing data file, one left in use, a short header), and each rebuild
// either runs or is refused while the block is open.
TEST_F(RebuildTest, ARunningRebuildIsInUseNeverALeftover) {
  std::vector<Bytes> records;
  for (int i = 0; i < 300; ++i) {
    const std::string k = {static_cast<char>('a' + i % 26), static_cast<char>(i / 26), 'k', 'k'};
    records.push_back(Rec(k, std::string(reinterpret_cast<const char*>(&i), 4), 0x20));
  }
  Make(records);
  ASSERT_EQ(Rebuild(), 0);
  const pid_t child = fork();
  if (child == 0) {
    int done = 0;
    for (int attempt = 0; attempt < 100000 && done < 30; ++attempt) {
      Rebuild();
      if (!EngineOK && EngineError != kErrFile) _exit(100);
      done += EngineOK;
      usleep(300);  // room for the other program's opens
    }
    _exit(done == 30 ? 0 : 101);
  }
  std::set<int32_t> outcomes;
  int opened = 0, status = -1;
  while (waitpid(child, &status, WNOHANG) == 0) {
    FileBlockHandle fb = nullptr;
    outcomes.insert(OpenError(fb, base_, {.readOnly = true}));
    if (EngineOK) {
      ++opened;
      EXPECT_EQ(FileLength(fb), 301);
      CloseFileBlock(fb);
    }
    sched_yield();
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(std::ranges::includes(std::set<int32_t>{0, kErrFile}, outcomes))
      << "an open met something else than the block or a refusal: "
      << *std::ranges::find_if(outcomes, [](int32_t e) { return e != 0 && e != kErrFile; });
  EXPECT_GT(opened, 0);
  OpenAsTheDriverWould();
  EXPECT_EQ(Check().liveRecords, 300u);
}

}  // namespace
}  // namespace qorvex::isam::testing
