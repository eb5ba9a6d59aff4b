// SPDX-License-Identifier: GPL-3.0-or-later
// The settings blocks: the first start, the placement kept with every other
// byte, and other programs using the same files at the same time.
#include "storage/dbsetup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "isam/check.h"
#include "tests/isam/peer.h"
#include "tests/storage/storagetest.h"

namespace qorvex::testing {
namespace {

using isam::testing::Peer;

class SetupTest : public StorageTest {
 protected:
  // A second program in the same folder.
  std::unique_ptr<Peer> Program() { return std::make_unique<Peer>(dir_.path()); }
  std::string Ask(Peer& p, const std::string& command) {
    p.Send(command);
    return p.ReadLine(120000);
  }
};

// What the main window does at start: read, or make, the record of slot 0.
bool StartWindow(TSetupRec0& placement) {
  {
    TdbSetup s(0);
    if (!s.First(1)) {
      s.ClearRec();
      if (!s.Add()) return false;
    }
  }
  TdbSetup s(0);
  if (!s.First(1)) return false;
  s.GetRec0(placement);
  return true;
}

TEST_F(SetupTest, TheFirstStartMakesTheRecordAndThePlacementIsKept) {
  TSetupRec0 r;
  ASSERT_TRUE(StartWindow(r));
  EXPECT_EQ(r.Get(TSetupRec0::kWindowHeight), 0) << "no placement stored yet";
  EXPECT_EQ(std::filesystem::file_size(Path("QDSETUP.DAT")), 2u * 3530);
  EXPECT_TRUE(std::filesystem::exists(Path("QDSETUP.DIA"))) << "opened shared";
  // Another program's bytes in the record survive the window's save.
  Bytes dat = ReadAll(Path("QDSETUP.DAT"));
  dat[3530 + 100] = 0x5A;
  dat[3530 + 3529] = 0xA5;
  WriteAll(Path("QDSETUP.DAT"), dat);
  {
    TdbSetup s(0);
    ASSERT_TRUE(s.First(1));
    s.GetRec0(r);
    r.Set(TSetupRec0::kWindowLeft, 10);
    r.Set(TSetupRec0::kWindowTop, 20);
    r.Set(TSetupRec0::kWindowHeight, 480);
    r.Set(TSetupRec0::kWindowWidth, 640);
    r.bytes[TSetupRec0::kWindowMaximized] = 1;
    s.SetRec0(r);
    ASSERT_TRUE(s.Save());
  }
  TSetupRec0 back;
  ASSERT_TRUE(StartWindow(back));
  EXPECT_EQ(back.bytes, r.bytes);
  EXPECT_EQ(back.bytes[100], 0x5A);
  EXPECT_EQ(back.bytes[3529], 0xA5);
  EXPECT_EQ(back.Get(TSetupRec0::kWindowWidth), 640);
  TdbSetup count(0);
  EXPECT_EQ(count.Count(), 1);
}

TEST_F(SetupTest, TwoProgramsAddingAtOnceBothSucceed) {
  // Round 1 starts without files: both programs make them at once. Round 2
  // finds them; the pause lets the other program in (a program that locks
  // again at once keeps the block to itself until it is done).
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto a = Program(), b = Program();
    a->Send("add 400 300");
    b->Send("add 400 300");
    for (Peer* p : {a.get(), b.get()}) {
      const std::string line = p->ReadLine(240000);
      EXPECT_EQ(line.substr(0, 2), "0 ") << line;
      Ask(*p, "exit");
      EXPECT_EQ(p->Wait(), 0);
    }
    // Every record has its own number.
    TdbSetup s(1);
    std::set<int32_t> ids;
    int turns = 0;  // how often the adding program changes along the numbers
    int previous = -1;
    for (bool ok = s.First(1); ok; ok = s.Next(false, true)) {
      int32_t id;
      std::memcpy(&id, s.Rec.data() + 4, 4);
      ids.insert(id);
      if (id > 800 && previous >= 0 && s.Rec[20] != previous) ++turns;
      previous = s.Rec[20];
    }
    EXPECT_EQ(ids.size(), 800u * round);
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 800 * round);
    if (round == 2) {
      EXPECT_GE(turns, 2) << "the adds did not interleave";
    }
  }
  EXPECT_TRUE(isam::CheckFileBlock(Path("QDSETUP2.DAT"), Path("QDSETUP2.IX")).ok());
}

TEST_F(SetupTest, ChangesByAnotherProgramStopASave) {
  TSetupRec0 r;
  ASSERT_TRUE(StartWindow(r));
  auto other = Program();
  // Changed between the read and the write: the driver's update refuses.
  {
    TdbSetup s(0);
    ASSERT_TRUE(s.First(1));
    IFDriver* d = *DatSetup.DriverRef(0);
    ASSERT_TRUE(d->FindKey(1, LongToKey(0)));
    EXPECT_EQ(Ask(*other, "save0 77"), "0 0");
    d->GetBuffer()[TSetupRec0::kWindowLeft] = 5;
    EXPECT_EQ(Raised([&] { d->Update(); }), "Datenbankfehler 5(21) QDSETUP");
    EXPECT_FALSE(d->First(1));  // clears the in-operation flag
    // A save reads the record again first, so it writes over the change.
    ASSERT_TRUE(s.First(1));
    s.GetRec0(r);
    EXPECT_EQ(r.Get(TSetupRec0::kWindowLeft), 77);
  }
  // Deleted meanwhile: the save finds nothing to write.
  TdbSetup s(0);
  ASSERT_TRUE(s.First(1));
  EXPECT_EQ(Ask(*other, "delete0"), "0 0");
  s.GetRec0(r);
  r.Set(TSetupRec0::kWindowLeft, 1);
  s.SetRec0(r);
  EXPECT_FALSE(s.Save());
  EXPECT_FALSE(s.First(1));
}

}  // namespace
}  // namespace qorvex::testing
