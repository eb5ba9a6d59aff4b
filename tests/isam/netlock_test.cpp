// SPDX-License-Identifier: GPL-3.0-or-later
// Sharing a file block between processes: each station is a peer process
// (fork and exec), so the locks are the ones other programs would meet.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "isam/check.h"
#include "tests/isam/crash_model.h"
#include "tests/isam/peer.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

class NetLockTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    name_ = Name("S");
    const KeyDescriptor keys[] = {{crash::kKeyLength, 0}};
    CreateFileBlock(name_, crash::kFixedLength, 1, keys);
    ASSERT_TRUE(EngineOK) << EngineError;
  }
  // A station that has opened the block.
  std::unique_ptr<Peer> Station(int32_t expect = 0) {
    auto p = std::make_unique<Peer>();
    EXPECT_EQ(p->Ask("open " + name_).error, expect);
    return p;
  }
  // Adds records with these keys through station p under its write lock.
  static void AddLocked(Peer& p, const std::vector<std::string>& keys) {
    ASSERT_EQ(p.Ask("lock").error, 0);
    for (const std::string& k : keys) ASSERT_EQ(p.Ask("add " + k).error, 0) << k;
    ASSERT_EQ(p.Ask("unlock").error, 0);
  }
  // Each command must succeed on the station named before it.
  template <class... Rest>
  static void Succeed(std::unique_ptr<Peer>& p, const char* command, Rest&&... rest) {
    EXPECT_EQ(p->Ask(command).error, 0) << command;
    if constexpr (sizeof...(rest) > 0) Succeed(rest...);
  }
  static std::vector<std::string> Keys(int from, int to) {
    std::vector<std::string> keys;
    for (int i = from; i < to; ++i) keys.push_back(crash::KeyOf(i));
    return keys;
  }
  std::string name_;
};

TEST_F(NetLockTest, ReadLocksShareAndTheWriteLockWaitsForThem) {
  auto a = Station(), b = Station(), c = Station();
  Succeed(a, "rlock", b, "rlock");
  const Answer w = c->Ask("lock");
  EXPECT_EQ(w.error, kNetErrWriteLock);
  EXPECT_GE(w.ms, 3000);
  EXPECT_LT(w.ms, 6000);
  // A read lock is not an exclusion among readers: c still reads.
  Succeed(c, "rlock", c, "unlock", a, "unlock", b, "unlock");
  const Answer free = c->Ask("lock");
  EXPECT_EQ(free.error, 0);
  EXPECT_LT(free.ms, 1000);
  // Closing another descriptor of the files keeps the lock.
  ASSERT_EQ(c->Ask("touch " + name_).error, 0);
  EXPECT_EQ(a->Ask("rlock").error, kNetErrReadLock);
  // Taking a read lock while holding the write lock gives the write lock up.
  Succeed(c, "rlock", a, "rlock", c, "close", a, "close", b, "close");
}

// A block a station holds is never rebuilt, recreated or deleted under it:
// each is refused as "in use", and the station's dialog file stays.
TEST_F(NetLockTest, ABlockAStationHoldsIsNotRebuiltOrDeletedUnderIt) {
  auto a = Station();
  const KeyDescriptor keys[] = {{crash::kKeyLength, 0}};
  auto key = [](std::span<const uint8_t> r, int) {
    return std::string(r.begin() + 4, r.begin() + 4 + crash::kKeyLength);
  };
  const Bytes dia = ReadAll(name_ + ".DIA");
  ASSERT_FALSE(dia.empty());
  for (int step = 0; step < 3; ++step) {
    if (step == 0) RebuildFileBlock(name_, crash::kFixedLength, 1, key, keys);
    if (step == 1) CreateFileBlock(name_, crash::kFixedLength, 1, keys);
    if (step == 2) DeleteFileBlock(name_);
    EXPECT_EQ(EngineError, kErrFile) << "step " << step;
    EXPECT_EQ(ReadAll(name_ + ".DIA"), dia) << "step " << step;
    EXPECT_FALSE(std::filesystem::exists(name_ + ".SAV"));
  }
  Succeed(a, "lock", a, "close");
}

TEST_F(NetLockTest, FiveStationsAtMost) {
  std::vector<std::unique_ptr<Peer>> stations;
  for (int i = 0; i < 5; ++i) stations.push_back(Station());
  auto sixth = Station(kNetErrNoStation);
  // A station that goes frees its number for the next one.
  EXPECT_EQ(stations[1]->Ask("close").error, 0);
  auto next = Station();
  stations[2]->Kill();
  auto last = Station();
  EXPECT_EQ(sixth->Ask("open " + name_).error, kNetErrNoStation);
}

TEST_F(NetLockTest, ChangesReachTheOtherStation) {
  auto a = Station(), b = Station();
  AddLocked(*a, Keys(0, 40));
  // b reads (and caches) the tree as it is now.
  EXPECT_EQ(b->Ask("find " + crash::KeyOf(7)).value, 8);
  EXPECT_EQ(b->Ask("find " + crash::KeyOf(500)).error, kErrKeyNotFound);
  // a's adds fill b's cached root page, then split it: b's copy is stale.
  AddLocked(*a, Keys(40, 50));
  EXPECT_EQ(b->Ask("find " + crash::KeyOf(45)).value, 46);
  AddLocked(*a, Keys(50, 600));
  const Answer found = b->Ask("find " + crash::KeyOf(500));
  EXPECT_EQ(found.error, 0);
  EXPECT_EQ(found.value, 501);
  EXPECT_EQ(b->Ask("find " + crash::KeyOf(7)).value, 8);
  // Changes need the write lock.
  EXPECT_EQ(b->Ask("add X").error, kErrNeedsWriteLock);
  // An explicit read lock resynchronises too.
  AddLocked(*a, Keys(900, 901));
  ASSERT_EQ(b->Ask("rlock").error, 0);
  EXPECT_EQ(b->Ask("find " + crash::KeyOf(900)).value, 601);
  ASSERT_EQ(b->Ask("unlock").error, 0);
  Succeed(a, "close", b, "close");
  EXPECT_TRUE(CheckFileBlock(name_ + ".DAT", name_ + ".IX").ok());
}

TEST_F(NetLockTest, AKilledStationLeavesNoLockBehind) {
  auto a = Station(), b = Station();
  ASSERT_EQ(a->Ask("lock").error, 0);
  ASSERT_EQ(a->Ask("add K").error, 0);  // the in-use byte is 1 now
  ASSERT_EQ(a->Ask("lockrec 1").error, 0);
  a->Kill();
  const Answer w = b->Ask("lock");
  EXPECT_EQ(w.error, 0);
  EXPECT_LT(w.ms, 500);
  Succeed(b, "lockrec 1", b, "unlock");
  // While b is open the byte may be a live station's: a new station opens.
  auto c = Station();
  Succeed(c, "lock", c, "add L");
  c->Kill();
  b->Ask("close");
  // Alone, the byte left by a killed station calls for a rebuild.
  auto d = Station(kErrMustRebuild);
}

TEST_F(NetLockTest, AnUnsharedOpenAndStationsExcludeEachOther) {
  FileBlockHandle fb = nullptr;
  ASSERT_EQ(OpenError(fb, name_), 0);
  auto a = Station(kNetErrOpenLock);
  CloseFileBlock(fb);
  EXPECT_EQ(a->Ask("open " + name_).error, 0);
  EXPECT_EQ(OpenError(fb, name_), kErrFile);
  // Read-only programs may look on.
  EXPECT_EQ(OpenError(fb, name_, {.readOnly = true}), 0);
  CloseFileBlock(fb);
  EXPECT_EQ(a->Ask("close").error, 0);
}

TEST_F(NetLockTest, ADamagedDialogIsSetUpAgain) {
  auto a = Station();
  AddLocked(*a, {"K1"});
  const Bytes dialog = ReadAll(name_ + ".DIA");
  EXPECT_EQ(dialog.size(), 3u + 6u);  // one byte per station slot (1 index)
  EXPECT_EQ(Le16(dialog, 1), 2000);
  WriteAll(name_ + ".DIA", Bytes{0});
  // While a is open no one else may set it up.
  auto b = Station(kNetErrDialogBusy);
  // a's next lock finds no valid dialog, re-reads everything and repairs it.
  EXPECT_EQ(a->Ask("find K1").error, 0);
  EXPECT_EQ(ReadAll(name_ + ".DIA").size(), 9u);
  EXPECT_EQ(b->Ask("open " + name_).error, 0);
  EXPECT_EQ(b->Ask("find K1").value, 1);
}

TEST_F(NetLockTest, SaveModeStationsShareTheDialogWithTheLog) {
  auto a = std::make_unique<Peer>();
  ASSERT_EQ(a->Ask("open " + name_ + " save").error, 0);
  auto b = Station();
  for (int round = 0; round < 3; ++round) {
    AddLocked(*a, Keys(round * 100, round * 100 + 30));
    EXPECT_EQ(b->Ask("find " + crash::KeyOf(round * 100 + 29)).value, round * 30 + 30);
    EXPECT_EQ(b->Ask("find " + crash::KeyOf(round * 100 + 3)).value, round * 30 + 4);
  }
  AddLocked(*b, {"Z"});
  EXPECT_EQ(a->Ask("find Z").value, 91);
  Succeed(a, "close", b, "close");
  EXPECT_TRUE(CheckFileBlock(name_ + ".DAT", name_ + ".IX").ok());
}

TEST_F(NetLockTest, RecordLocksCountPerStation) {
  auto a = Station(), b = Station();
  AddLocked(*a, {"K"});
  Succeed(a, "lockrec 1", a, "lockrec 1");
  EXPECT_EQ(a->Ask("isreclocked 1").value, 1);
  const Answer busy = b->Ask("lockrec 1");
  EXPECT_EQ(busy.error, kNetErrRecordLock);
  EXPECT_GE(busy.ms, 700);
  EXPECT_EQ(b->Ask("isreclocked 1").value, 0);
  // Another record is free.
  Succeed(b, "lockrec 2", a, "unlockrec 1");
  EXPECT_EQ(a->Ask("isreclocked 1").value, 0);
  // a's lock is not held any more; closing releases b's record locks.
  Succeed(b, "lockrec 1");
  EXPECT_EQ(a->Ask("unlockrec 1").error, kNetErrRegionUnlock);
  Succeed(b, "close", a, "lockrec 1");
}

TEST_F(NetLockTest, NoUpdateIsLost) {
  for (const char* mode : {"file", "record"}) {
    SCOPED_TRACE(mode);
    FileBlockHandle fb = Open(name_);
    if (FileLength(fb) == 1) {
      std::vector<uint8_t> r(crash::kFixedLength, 0);
      int32_t ref = 0;
      AddRecord(fb, ref, r.data());
      ASSERT_EQ(ref, 1);
    }
    CloseFileBlock(fb);
    std::vector<std::unique_ptr<Peer>> stations;
    for (int i = 0; i < 4; ++i) stations.push_back(Station());
    for (auto& s : stations) s->Send(std::string("incr 2500 ") + mode);
    for (auto& s : stations) EXPECT_EQ(s->Reply(240000).error, 0);
    const int64_t expect = std::string(mode) == "file" ? 10000 : 20000;
    EXPECT_EQ(stations[0]->Ask("get 1").value, expect);
    for (auto& s : stations) EXPECT_EQ(s->Ask("close").error, 0);
  }
}

// A save-mode log written over a dialog longer than its first entry: the
// replay must not read the dialog's old slot bytes as entries.
using NetworkSaveModeTest = EngineTest;

TEST_F(NetworkSaveModeTest, ALogOverADialogLeavesNoStaleEntries) {
  ExitEngine();
  ASSERT_GT(InitEngine(2, 64), 0);
  std::vector<KeyDescriptor> keys(60, KeyDescriptor{1, 1});  // slots of 8 bytes
  const std::string name = Name("W");
  CreateFileBlock(name, 32, 60, keys);
  FileBlockHandle fb = Open(name, false, true, true);
  ASSERT_EQ(ReadAll(name + ".DIA").size(), 3u + 48u);
  ASSERT_TRUE(Ok(LockFileBlock, fb)) << EngineError;
  Bytes r(32, 0);
  int32_t ref = 0;
  FaultLayer faults;
  SetOsLayer(&faults);
  faults.Arm(FaultLayer::kWrite, 2);  // the record's slot, after the log entry
  EXPECT_EQ(ErrorOf(AddRecord, fb, ref, r.data()), kErrAddRecordRestored);
  SetOsLayer(nullptr);
  EXPECT_TRUE(Ok(AddRecord, fb, ref, r.data())) << EngineError;
  EXPECT_EQ(ref, 1);
  EXPECT_TRUE(Ok(UnlockFileBlock, fb)) << EngineError;
  CloseFileBlock(fb);
  EXPECT_TRUE(CheckFileBlock(name + ".DAT", name + ".IX").ok());
}

}  // namespace
}  // namespace qorvex::isam::testing
