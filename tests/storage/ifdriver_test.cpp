// SPDX-License-Identifier: GPL-3.0-or-later
// The file-block driver: files created, rebuilt and restored on open, the
// pool of open files, automatic numbering, the in-step keys, positioning and
// the errors it records and raises.
#include "storage/ifdriver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "isam/check.h"
#include "tests/storage/storagetest.h"

namespace qorvex::testing {
namespace {

constexpr uint16_t kLength = 64;

// Records of the test blocks: a name of 8 characters at 4, the automatic
// number at 12. Index 1: the name (unique); index 2: LongToKey(number).
void Builder(const uint8_t* r, uint16_t index, std::string& key) {
  if (index == 1) key.assign(reinterpret_cast<const char*>(r + 4), 8);
  if (index == 2) {
    int32_t n;
    std::memcpy(&n, r + 12, 4);
    key = LongToKey(n);
  }
}

// One block as an owner holds it.
// shared: opened for other stations too; files: the pool's size.
struct Block {
  IFDriver* driver = nullptr;
  explicit Block(const std::string& name, bool numbered = true, bool shared = false,
                 int files = 32) {
    driver = new IFDriver;
    if (!driver->Open(&driver, name, name,
                      {.shared = shared,
                       .rebuildAllowed = true,
                       .sectionLength = kLength,
                       .indexCount = 2,
                       .recordLength = kLength,
                       .keyBuilder = Builder,
                       .retryCount = static_cast<uint16_t>(files)}) ||
        !driver->DefineKey(1, 8, false) || !driver->DefineKey(2, 5, false) ||
        (numbered && !driver->SetAutoNumber(2, driver->GetBuffer() + 12)))
      ADD_FAILURE() << "open " << name << ": level " << ErrorLevel();
  }
  ~Block() { delete driver; }
  IFDriver* operator->() { return driver; }
  void Set(const std::string& name) {
    uint8_t* b = driver->GetBuffer();
    std::memset(b, 0, kLength);
    std::memcpy(b + 4, name.data(), std::min<size_t>(8, name.size()));
    std::memset(b + 20, name.empty() ? 0 : name[0], kLength - 20);
  }
  std::string Name() { return std::string(reinterpret_cast<char*>(driver->GetBuffer() + 4), 8); }
  int32_t Number() {
    int32_t n;
    std::memcpy(&n, driver->GetBuffer() + 12, 4);
    return n;
  }
  bool Add(const std::string& name) {
    Set(name);
    return driver->Add();
  }
  // A block of these records, closed again.
  static void Fill(const std::string& block, std::initializer_list<const char*> names) {
    Block b(block);
    for (const char* n : names) EXPECT_TRUE(b.Add(n)) << n;
  }
};

std::string Key8(std::string s) {
  s.resize(8, '\0');
  return s;
}

using DriverTest = StorageTest;

TEST_F(DriverTest, MissingFilesAreMadeAndNumbersCountUpToTheLargest) {
  Block b("Test");
  EXPECT_FALSE(std::filesystem::exists(Path("Test.DAT"))) << "Open touches no file";
  EXPECT_FALSE(b->First(1));  // created, and empty
  EXPECT_EQ(ErrorLevel(), 1);
  EXPECT_TRUE(std::filesystem::exists(Path("Test.DAT")));
  EXPECT_EQ(asked_, std::vector<std::string>{"TEST:6"});
  for (const char* n : {"delta", "alpha", "charlie", "bravo"}) ASSERT_TRUE(b.Add(n));
  EXPECT_EQ(b.Number(), 4);
  // Index order, then numbers.
  std::vector<std::string> names;
  for (bool ok = b->First(1); ok; ok = b->Next(1)) names.push_back(b.Name());
  EXPECT_EQ(names, (std::vector<std::string>{Key8("alpha"), Key8("bravo"), Key8("charlie"),
                                             Key8("delta")}));
  EXPECT_EQ(ErrorLevel(), 1) << "the end of the index is harmless";
  ASSERT_TRUE(b->FindKey(2, LongToKey(3)));
  EXPECT_EQ(b.Name(), Key8("charlie"));
  // Next switches index from the current record.
  ASSERT_TRUE(b->Next(1));
  EXPECT_EQ(b.Name(), Key8("delta"));
  ASSERT_TRUE(b->Search(1, "b"));
  EXPECT_EQ(b.Name(), Key8("bravo"));
  ASSERT_TRUE(b->Last(2));
  EXPECT_EQ(b.Number(), 4);
  // A duplicate name fails the add and leaves nothing behind.
  EXPECT_FALSE(b.Add("alpha"));
  EXPECT_EQ(ErrorLevel(), 1);
  EXPECT_TRUE(b.Add("echo"));
  EXPECT_EQ(b.Number(), 5);
  // A wrong first word is refused (fatal).
  b.Set("foxtrot");
  b->GetBuffer()[0] = 1;
  EXPECT_THROW(b->Add(), EDBError);
  // The next operation finds the flag still set, does nothing and clears it.
  EXPECT_FALSE(b->First(1));
  EXPECT_EQ(CurrentDebugStack().entry(1).number, kDriverReentered);
  EXPECT_TRUE(b->First(1));
  // Numbering stops at the largest number (24592 & 0xFFF); the next
  // operation clears the flag.
  ASSERT_TRUE(b->FindKey(1, Key8("alpha")));
  const int32_t top = INT32_MAX;
  std::memcpy(b->GetBuffer() + 12, &top, 4);
  ASSERT_TRUE(b->Update());
  b.Set("golf");
  EXPECT_EQ(Raised([&] { b->Add(); }), "Datenbankfehler 4(16) TEST");
  EXPECT_FALSE(b->First(1));
  // Negative numbers sort below: the next is still above the largest.
  EXPECT_EQ(LongToKey(1), std::string("\x81\x80\x80\x80\x81"));
  EXPECT_EQ(LongToKey(0), std::string("\x81\x80\x80\x80\x80"));
  EXPECT_EQ(LongToKey(-1), std::string("\x71\xFF\xFF\xFF\xFF"));
  for (int32_t v : {INT32_MIN, -70000, -1, 0, 1, 127, 128, 1 << 21, INT32_MAX}) {
    EXPECT_EQ(KeyToLong(LongToKey(v)), v);
    EXPECT_EQ(LongToKey(v).find('\0'), std::string::npos) << "no zero character";
  }
  for (auto [lower, higher] : {std::pair{-1, 0}, {INT32_MIN, -70000}, {127, 128}})
    EXPECT_LT(LongToKey(lower), LongToKey(higher)) << lower;
}

TEST_F(DriverTest, UpdateDeleteAndTheCurrentRecord) {
  Block b("Upd");
  for (const char* n : {"one", "two", "three"}) ASSERT_TRUE(b.Add(n));
  ASSERT_TRUE(b->FindKey(1, Key8("two")));
  // Unchanged: nothing to write.
  EXPECT_TRUE(b->Update());
  std::memcpy(b->GetBuffer() + 4, "zwei\0\0\0\0", 8);
  EXPECT_TRUE(b->Update());
  EXPECT_FALSE(b->FindKey(1, Key8("two")));
  ASSERT_TRUE(b->FindKey(1, Key8("zwei")));
  EXPECT_EQ(b.Number(), 2);
  // A key clash fails the update and keeps the old keys.
  std::memcpy(b->GetBuffer() + 4, "one\0\0\0\0\0", 8);
  EXPECT_FALSE(b->Update());
  EXPECT_TRUE(b->FindKey(1, Key8("zwei")));
  // Delete and move on along the current index (one < three < zwei).
  ASSERT_TRUE(b->FindKey(1, Key8("three")));
  EXPECT_TRUE(b->Delete(3));
  EXPECT_EQ(b.Name(), Key8("zwei"));
  EXPECT_FALSE(b->Delete(3)) << "deleted, but there is no next entry";
  EXPECT_EQ(ErrorLevel(), 1);
  EXPECT_FALSE(b->FindKey(1, Key8("zwei")));
  ASSERT_TRUE(b->FindKey(1, Key8("one")));
  EXPECT_TRUE(b->Delete(0));
  EXPECT_FALSE(b->Next(1));
  EXPECT_EQ(CurrentDebugStack().entry(1).number, kDriverNextNoCurrent);
  EXPECT_EQ(ErrorLevel(), 1);
  EXPECT_FALSE(b->FindKey(1, Key8("one")));
  // A buffer changed since it was read may not be deleted.
  ASSERT_TRUE(b.Add("four"));
  ASSERT_TRUE(b->First(1));
  b->GetBuffer()[30] ^= 1;
  EXPECT_FALSE(b->Delete(0));
  EXPECT_EQ(CurrentDebugStack().entry(1).number, kDriverDeleteNotRead);
  b->GetBuffer()[30] ^= 1;
  EXPECT_TRUE(b->Delete(0));
  EXPECT_FALSE(b->First(1));
}

TEST_F(DriverTest, AnUnusableIndexIsRebuiltOnOpen) {
  Block::Fill("Rb", {"x1", "x2", "x3"});
  EXPECT_EQ(asked_, std::vector<std::string>{"RB:6"});
  const Bytes dat = ReadAll(Path("Rb.DAT")), ix = ReadAll(Path("Rb.IX"));
  // Index 1 has key length 8: pages of 17 x 62 + 6 bytes.
  // What, the file (0 data, 1 index), the offset and the little-endian value.
  const std::tuple<const char*, size_t, size_t, uint16_t> cases[] = {
      {"index file missing", 1, 0, 0},
      {"data file left in use", 0, 20, 1},
      {"page size off (10120)", 1, 12, 17 * 62 + 7},
      {"key length 0 (10121)", 1, 12, 9 * 62 + 6},
      {"63 keys per page (10122)", 1, 26, 63},
  };
  for (const auto& [what, file, at, value] : cases) {
    SCOPED_TRACE(what);
    Bytes d = dat, x = ix;
    Put16(file == 0 ? d : x, at, value);
    WriteAll(Path("Rb.DAT"), d);
    std::filesystem::remove(Path("Rb.IX"));
    if (at != 0) WriteAll(Path("Rb.IX"), x);
    asked_.clear();
    Block b("Rb");
    ASSERT_TRUE(b->FindKey(1, Key8("x2")));
    EXPECT_EQ(b.Number(), 2);
    EXPECT_EQ(asked_, std::vector<std::string>{"RB:5"});
  }
  // A rebuild killed while it copied: the records lie in Rb.SAV beside the
  // unfinished copy, marked in use and without indexes.
  std::filesystem::copy_file(Path("Rb.DAT"), Path("Rb.SAV"));
  Bytes copy(kLength, 0);
  std::fill_n(copy.begin(), 4, 0xFF);  // no deleted slot
  copy[12] = kLength;
  copy[20] = 1;
  WriteAll(Path("Rb.DAT"), copy);
  {
    Block b("Rb");
    ASSERT_TRUE(b->FindKey(1, Key8("x3")));
    EXPECT_TRUE(b.Add("x4"));
    EXPECT_EQ(b.Number(), 4);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("Rb.SAV")));
  EXPECT_TRUE(isam::CheckFileBlock(Path("Rb.DAT"), Path("Rb.IX")).ok());
  // Refused: the error stands.
  Bytes left = ReadAll(Path("Rb.DAT"));
  left[20] = 1;
  WriteAll(Path("Rb.DAT"), left);
  SetRetryHandler([](const std::string&, uint8_t) { return false; });
  Block b("Rb");
  EXPECT_THROW(b->First(1), EDBError);
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kErrMustRebuild);
  EXPECT_FALSE(b->First(1));
}

TEST_F(DriverTest, AnEmptyDataFileGivesWayToItsBackup) {
  Block::Fill("Alt", {"r1", "r2"});
  std::filesystem::copy_file(Path("Alt.DAT"), Path("Alt.ALT"));
  WriteAll(Path("Alt.DAT"), {});
  {
    Block b("Alt.DAT");  // a ".DAT" given is dropped
    EXPECT_FALSE(std::filesystem::exists(Path("Alt.ALT")));
    EXPECT_FALSE(std::filesystem::exists(Path("Alt.IX"))) << "the index goes with the old data";
    ASSERT_TRUE(b->FindKey(1, Key8("r2")));
  }
  // Without a backup the empty file goes and the block starts again.
  WriteAll(Path("Alt.DAT"), {});
  Block b("Alt");
  EXPECT_FALSE(b->First(1));
  EXPECT_EQ(ErrorLevel(), 1);
  EXPECT_TRUE(b.Add("new"));
  EXPECT_EQ(b.Number(), 1);
}

TEST_F(DriverTest, ThePoolClosesOthersAndReopensThemUnseen) {
  std::vector<std::unique_ptr<Block>> blocks;
  auto filesOpen = [&] {
    int n = 0;
    for (auto& b : blocks) n += (*b)->engineOpen() ? (*b)->FilesNeeded() : 0;
    return n;
  };
  for (int i = 0; i < 40; ++i) {
    blocks.push_back(std::make_unique<Block>("P" + std::to_string(i)));
    ASSERT_TRUE(blocks.back()->Add("k" + std::to_string(i)));
    EXPECT_LE(filesOpen(), 31);
  }
  EXPECT_EQ(filesOpen(), 30);  // 15 blocks of two files fit under 32
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 40; ++i) {
      Block& b = *blocks[(i * 7) % 40];
      ASSERT_TRUE(b->First(1)) << i;
      ASSERT_TRUE(b.Add("m" + std::to_string(round)));
      EXPECT_LE(filesOpen(), 31);
    }
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(blocks[i]->driver->FindKey(1, Key8("k" + std::to_string(i))));
    EXPECT_EQ(blocks[i]->Number(), 1);
  }
}

TEST_F(DriverTest, RegistryAndStartRules) {
  Block a("Same");
  IFDriver* twin = new IFDriver;
  EXPECT_THROW(twin->Open(&twin, "same", "Other", false, false, false, true, kLength, 0, nullptr,
                          kLength, nullptr, 32),
               EDBError);
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kDriverRegistered);
  delete twin;
  EXPECT_NE(IFDriver::FindByName("SAME"), nullptr);
  EXPECT_EQ(IFDriver::FindByName(std::string(41, 'X')), nullptr);
  EXPECT_FALSE(IFDriver::Stop());  // the flag the raise left
  EXPECT_EQ(CurrentDebugStack().entry(1).number, kDriverReentered);
  EXPECT_THROW(IFDriver::Stop(), EDBError);  // blocks are registered
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kDriverStopRegistered);
  EXPECT_FALSE(IFDriver::Start(2, 160, 32));
  EXPECT_THROW(IFDriver::Start(2, 160, 32), EDBError);
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kDriverStartedTwice);
  EXPECT_FALSE(a->First(1));  // the flag again
  EXPECT_EQ(BlockNameKey("ab\x84\x94z"), "AB\x8E\x99Z");
}

TEST_F(DriverTest, AReadPastTheEndIsFatalWithItsNumber) {
  Block::Fill("QDLex", {"a", "b", "c"});
  // The data file loses its last record while no program holds it (a block
  // held unshared is changed by its holder only).
  ASSERT_EQ(::truncate(Path("QDLex.DAT").c_str(), 2 * kLength), 0);
  const std::string named = "     Fileblock  " + Path("QDLex") + "\r\n";
  std::optional<DebugStack> stack;
  {
    Block b("QDLex");
    ASSERT_TRUE(b->First(1));
    EXPECT_EQ(Raised([&] { b->FindKey(1, Key8("c")); }), "Datenbankfehler 4(10070) QDLEX");
    const TErrorEntry& e = CurrentDebugStack().entry(1);
    EXPECT_EQ(e.number, kErrReadPastEnd);
    EXPECT_EQ(e.mainOperation, kOpFindKey);
    EXPECT_EQ(e.reference, 3);
    stack = CurrentDebugStack();
    // The dump names the block while it is open, and not once it is closed.
    EXPECT_NE(stack->DumpText({}).find(named), std::string::npos);
    b->First(1);
  }
  EXPECT_EQ(stack->DumpText({}).find(named), std::string::npos);
}

TEST_F(DriverTest, ALockedRecordIsRetriedThenPutToTheHandler) {
  FileBlockHandle other = nullptr;  // another station on the same files
  int answers = 0;
  SetRetryHandler([&](const std::string& block, uint8_t kind) {
    asked_.push_back(block + ":" + std::to_string(kind));
    if (kind != kRetryRecordLock) return kind == kRetryIndexUnusable || kind == kRetryFilesMissing;
    // The first time no; the second time the other station lets go first.
    if (++answers == 1) return false;
    UnlockRecord(other, 1);
    ClearStatus();
    return true;
  });
  Block d("Shared", true, true, 2);
  ASSERT_TRUE(d.Add("a"));
  ASSERT_EQ(isam::testing::OpenError(other, Path("Shared"), {.network = true}), 0);
  ASSERT_TRUE(Ok(LockRecord, other, 1)) << EngineError;
  ASSERT_TRUE(d->FindKey(1, Key8("a")));
  d->GetBuffer()[30] = 7;
  // Two automatic tries (768 ms each), then the handler: no.
  EXPECT_FALSE(d->Update());
  EXPECT_EQ(ErrorLevel(), 2);
  EXPECT_EQ(CurrentDebugStack().Worst()->number, kNetErrRecordLock);
  EXPECT_EQ(asked_.back(), "SHARED:2");
  // Yes, after the other station released the record: the update lands.
  EXPECT_TRUE(d->Update());
  EXPECT_EQ(asked_.size(), 3u) << "created on first use, then two questions";
  uint8_t r[kLength];
  ASSERT_TRUE(Ok(GetRecord, other, 1, r, false));
  EXPECT_EQ(r[30], 7) << "the other station sees the change";
  CloseFileBlock(other);
}

TEST(RetryPolicy, OnlyBusyErrorsAreRetriedEachAsItsKind) {
  const std::pair<int32_t, uint8_t> kinds[] = {
      {kNetErrRecordLock, kRetryRecordLock},
      {kNetErrWriteLock, kRetryFileBlockLock},
      {kNetErrReadLock, kRetryFileBlockLock},
      {kErrDriveNotReady, kRetryDriveNotReady},
      {kErrPathNotFound, kRetryPathNotFound},
      {kNetErrOpenLock, kRetryLocked},
      {kErrReadOnly, kRetryLocked},
      {kErrFile, 0},
      {kErrKeyNotFound, 0},
      {kErrAddRecordRestored, 0},
      {kDriverMustExist, 0},
      {0, 0},
  };
  for (auto [error, kind] : kinds) EXPECT_EQ(RetryKindOf(error), kind) << error;
  EXPECT_TRUE(AsksAtOnce(kRetryDriveNotReady) && AsksAtOnce(kRetryPathNotFound));
  EXPECT_FALSE(AsksAtOnce(kRetryLocked) || AsksAtOnce(kRetryRecordLock));
}

}  // namespace
}  // namespace qorvex::testing
