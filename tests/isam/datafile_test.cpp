// SPDX-License-Identifier: GPL-3.0-or-later
// Data files, fixed and variable records, engine control and the save-mode
// log: bytes on disk after known call sequences, and failures injected into
// the OS layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "isam/check.h"
#include "isam/engine.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

// A variable record of n bytes counting up from seed, after the caller's
// 0 word.
Bytes Text(size_t n, uint8_t seed) {
  Bytes t(n);
  for (size_t i = 0; i < n; ++i) t[i] = static_cast<uint8_t>(seed + i);
  std::fill_n(t.begin(), std::min<size_t>(n, 4), 0);
  return t;
}

class DataFileTest : public EngineTest {
 protected:
  // Creates and opens "T" with record length L and no indexes.
  FileBlockHandle CreateT(int32_t L, bool saveMode = false) {
    return CreateOpen(Name("T"), L, {}, saveMode);
  }
  Bytes Dat() const { return ReadAll(Name("T.DAT")); }
};

TEST_F(DataFileTest, NewFileAndAddDeleteSequenceAreExactOnDisk) {
  CreateFileBlock(Name("T"), 100, 0, {});
  ASSERT_TRUE(EngineOK) << EngineError;
  Bytes expected(100, 0);
  std::memset(expected.data(), 0xFF, 4);  // free head -1
  expected[12] = 100;                     // record length
  EXPECT_EQ(Dat(), expected);

  FileBlockHandle fb = Open(Name("T"));
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(FileLength(fb), 1);
  EXPECT_EQ(RecordLength(fb), 100);

  int32_t ref = 0;
  for (uint8_t fill : {0x11, 0x22, 0x33}) {
    Bytes r = Record(100, fill);
    ASSERT_TRUE(Ok(AddRecord, fb, ref, r.data())) << EngineError;
  }
  EXPECT_EQ(ref, 3);
  EXPECT_EQ(Dat()[20], 1) << "in-use byte written at the first change";
  ASSERT_TRUE(Ok(DeleteRecord, fb, 2));
  ASSERT_TRUE(Ok(FlushFileBlock, fb));

  Bytes d = Dat();
  ASSERT_EQ(d.size(), 400u);
  EXPECT_EQ(DatHeader(d), (Header{2, 1, 3, 100, 0, 0})) << "flush clears the in-use byte";
  EXPECT_EQ(Le32(d, 200), 0xFFFFFFFFu);
  for (int i = 204; i < 300; ++i) ASSERT_EQ(d[i], 0x22) << "deleted slot keeps its bytes";

  // Out of range deletes change nothing.
  for (int32_t bad : {0, 4, -1})
    EXPECT_EQ(ErrorOf(DeleteRecord, fb, bad), kErrDeleteRefRange) << bad;
  FlushFileBlock(fb);
  EXPECT_EQ(Dat(), d);

  Bytes r = Record(100, 0x44);
  ASSERT_TRUE(Ok(AddRecord, fb, ref, r.data()));
  EXPECT_EQ(ref, 2);
  Bytes back(100);
  GetRecord(fb, 2, back.data(), false);
  EXPECT_EQ(back, r);
  int32_t marker = -5;
  ReadRecordMarker(fb, 2, marker);
  EXPECT_EQ(marker, 0);
  EXPECT_EQ(ErrorOf(GetRecord, fb, 4, back.data(), false), kErrReadPastEnd)
      << "no range check: a read past the end";
  EXPECT_EQ(ErrorOf(PutRecord, fb, 0, r.data(), false), kErrPutRefZero);
  ASSERT_TRUE(Ok(CloseFileBlock, fb));
  EXPECT_EQ(DatHeader(Dat()), (Header{-1, 0, 3, 100, 0, 0}));
}

TEST_F(DataFileTest, BrokenFreeChainIsAnErrorNotACrash) {
  for (uint32_t link : {0u, 4u, 1000000u}) {
    FileBlockHandle fb = CreateT(32);
    int32_t ref = 0;
    Bytes r = Record(32, 7);
    for (int i = 0; i < 3; ++i) AddRecord(fb, ref, r.data());
    DeleteRecord(fb, 2);
    CloseFileBlock(fb);
    Bytes d = Dat();
    Put32(d, 64, link);
    WriteAll(Name("T.DAT"), d);
    fb = Open(Name("T"));
    EXPECT_EQ(ErrorOf(AddRecord, fb, ref, r.data()), kErrChainCorrupt) << link;
    CloseFileBlock(fb);
  }
}

// What makes open refuse a block that a rebuild repairs, and the number it
// reports for it.
TEST_F(DataFileTest, OpenNamesWhatMakesABlockUnusable) {
  const KeyDescriptor keys[] = {{10, 0}};
  FileBlockHandle fb = CreateOpen(Name("T"), 32, keys);
  int32_t ref = 0;
  Bytes r = Record(32, 7);
  AddRecord(fb, ref, r.data());
  const Bytes crashed = Dat();  // what a killed program leaves
  CloseFileBlock(fb);
  ASSERT_EQ(crashed[20], 1);
  const Bytes dat = Dat(), ix = ReadAll(Name("T.IX"));
  // What, the damage to the data and index files, the error.
  const std::tuple<const char*, std::function<void(Bytes&, Bytes&)>, int32_t> cases[] = {
      {"left in use", [&](Bytes& d, Bytes&) { d = crashed; }, kErrMustRebuild},
      {"index file missing", [](Bytes&, Bytes& x) { x.clear(); }, kErrMustRebuild},
      {"page size 1 over", [](Bytes&, Bytes& x) { Put32(x, 12, 1185); }, kErrPageSizeMismatch},
      {"key length 0", [](Bytes&, Bytes& x) { Put32(x, 12, 9 * 62 + 6); }, kErrDerivedKeyLength},
      {"key length 51", [](Bytes&, Bytes& x) { Put32(x, 12, 60 * 62 + 6); }, kErrDerivedKeyLength},
      {"63 keys per page", [](Bytes&, Bytes& x) { Put16(x, 26, 63); }, kErrKeysPerPage},
      // Every buffer sized by the record length (up to 4 GiB) would
      // otherwise be allocated on the first read.
      {"record length beyond the file", [](Bytes& d, Bytes&) { Put32(d, 12, 65); },
       kErrMustRebuild},
      {"record length 2^31 - 1", [](Bytes& d, Bytes&) { Put32(d, 12, 0x7FFFFFFF); },
       kErrMustRebuild},
      {"record length 20", [](Bytes& d, Bytes&) { Put32(d, 12, 20); }, kErrMustRebuild},
  };
  for (const auto& [what, damage, error] : cases) {
    SCOPED_TRACE(what);
    Bytes d = dat, x = ix;
    damage(d, x);
    WriteAll(Name("T.DAT"), d);
    std::filesystem::remove(Name("T.IX"));
    if (!x.empty()) WriteAll(Name("T.IX"), x);
    EXPECT_EQ(OpenError(fb, Name("T")), error);
    EXPECT_EQ(fb, nullptr);
  }
}

TEST_F(DataFileTest, VariableRecordsSplitIntoSectionsInRecordOrder) {
  constexpr uint32_t L = 40;
  FileBlockHandle fb = CreateT(L);
  // L - 6 bytes: one section, count 34, no link.
  Bytes a = Text(L - 6, 1);
  int32_t ref = 0;
  ASSERT_TRUE(Ok(AddVariableRecord, fb, ref, a.data(), static_cast<uint32_t>(a.size())));
  EXPECT_EQ(ref, 1);
  EXPECT_EQ(FileLength(fb), 2);
  // L - 5 bytes: the continuation (the tail, added first) takes slot 2 and
  // holds one byte; the first section in slot 3 links to it.
  Bytes b = Text(L - 5, 9);
  ASSERT_TRUE(Ok(AddVariableRecord, fb, ref, b.data(), static_cast<uint32_t>(b.size())));
  EXPECT_EQ(ref, 3);
  FlushFileBlock(fb);
  Bytes d = Dat();
  ASSERT_EQ(d.size(), 4 * L);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), d.begin() + L));
  EXPECT_EQ(Le16(d, 2 * L - 6), L - 6);
  EXPECT_EQ(Le32(d, 2 * L - 4), 0u);
  EXPECT_EQ(d[2 * L], 1) << "continuation marker";
  EXPECT_EQ(d[2 * L + 1], b.back());
  EXPECT_EQ(Le16(d, 3 * L - 6), 1u);
  EXPECT_EQ(Le32(d, 3 * L - 4), 0u);
  EXPECT_TRUE(std::equal(b.begin(), b.begin() + (L - 6), d.begin() + 3 * L));
  EXPECT_EQ(Le16(d, 4 * L - 6), L - 6);
  EXPECT_EQ(Le32(d, 4 * L - 4), 2u);

  // Round trips of many lengths, with less room than the record.
  std::map<int32_t, Bytes> stored;
  int32_t looped = 0;  // the 500-byte record, damaged below
  for (size_t n : {0, 1, 4, 33, 34, 35, 66, 67, 68, 500, 4000}) {
    Bytes t = Text(n, static_cast<uint8_t>(n));
    ASSERT_TRUE(Ok(AddVariableRecord, fb, ref, t.data(), static_cast<uint32_t>(n))) << n;
    stored[ref] = t;
    if (n == 500) looped = ref;
  }
  for (const auto& [r, t] : stored) {
    EXPECT_EQ(GetVar(fb, r, static_cast<uint32_t>(t.size() + 10)), t);
    ASSERT_TRUE(EngineOK);
    if (t.size() > 5) {
      Bytes part(t.size(), 0xEE);
      uint32_t room = static_cast<uint32_t>(t.size() - 5);
      ASSERT_TRUE(Ok(GetVariableRecord, fb, r, part.data(), false, room));
      EXPECT_EQ(room, t.size() - 5);
      EXPECT_TRUE(std::equal(t.begin(), t.end() - 5, part.begin()));
      EXPECT_EQ(part[t.size() - 5], 0xEE) << "nothing written past the room";
    }
  }
  // Put grows and shrinks in place of the first section; delete frees all.
  const int32_t big = stored.rbegin()->first;
  Bytes shorter = Text(100, 3);
  ASSERT_TRUE(Ok(PutVariableRecord, fb, big, shorter.data(), 100));
  EXPECT_EQ(GetVar(fb, big, 200), shorter);
  ASSERT_TRUE(Ok(DeleteVariableRecord, fb, big));
  FlushFileBlock(fb);
  d = Dat();
  auto sections = [](uint32_t n) { return n <= L - 6 ? 1 : 1 + (n - (L - 6) + L - 8) / (L - 7); };
  EXPECT_EQ(Le32(d, 4), sections(4000) - 1 + sections(100));

  // A chain that loops back on itself ends in an error, not a hang.
  const int32_t two = looped;
  const uint32_t firstLink = Le32(d, two * L + L - 4);
  CloseFileBlock(fb);
  Put32(d, firstLink * L + L - 4, firstLink);
  WriteAll(Name("T.DAT"), d);
  fb = Open(Name("T"));
  GetVar(fb, two, 100000);
  EXPECT_EQ(EngineError, kErrChainCorrupt);
  EXPECT_EQ(ErrorOf(DeleteVariableRecord, fb, two), kErrChainCorrupt);
  CloseFileBlock(fb);
}

// Records the dialog file's bytes at the moment the data file's record slot
// is written: the log entry that protects the write.
class LogSnapshotLayer : public OsLayer {
 public:
  LogSnapshotLayer(std::string dialog, uint32_t length)
      : dialogPath(dialog), recordLength(length) {}
  const std::string dialogPath;
  const uint32_t recordLength;
  Bytes seen;
  ssize_t PWrite(int fd, const void* buf, size_t n, off_t offset) override {
    if (n == recordLength && offset > 0 && seen.empty()) seen = ReadAll(dialogPath);
    return OsLayer::PWrite(fd, buf, n, offset);
  }
};

TEST_F(DataFileTest, SaveModeLogEntryIsExactAndEmptiedAfterEachOperation) {
  FileBlockHandle fb = CreateT(32, true);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(ReadAll(Name("T.DIA")).size(), 1u);
  int32_t ref = 0;
  Bytes r = Record(32, 5);
  AddRecord(fb, ref, r.data());
  AddRecord(fb, ref, r.data());
  ASSERT_TRUE(Ok(DeleteRecord, fb, 1));
  EXPECT_EQ(ReadAll(Name("T.DIA")).size(), 1u);
  EXPECT_EQ(DatHeader(Dat()), (Header{1, 1, 2, 32, 0, 0}))
      << "save mode never leaves the in-use byte set";

  LogSnapshotLayer layer(Name("T.DIA"), 32);
  SetOsLayer(&layer);
  AddRecord(fb, ref, r.data());  // reuses slot 1, whose link is -1
  SetOsLayer(nullptr);
  ASSERT_TRUE(EngineOK);
  EXPECT_EQ(ref, 1);
  // Byte 0 is not part of the log; then 1000 and 0 in 16 bits, the header
  // as it was at 5 (free head 1, free count 1, highest 2, record length 32,
  // no indexes, not in use, 7 bytes without meaning) and the restore link at
  // 33: the taken slot held -1.
  Bytes expected(37, 0);
  Put16(expected, 1, 1000);
  for (auto [at, v] : {std::pair{5, 1u}, {9, 1u}, {13, 2u}, {17, 32u}, {33, 0xFFFFFFFFu}})
    Put32(expected, at, v);
  EXPECT_EQ(layer.seen, expected);
  CloseFileBlock(fb);
}

// Fails the n-th call of a kind during one operation, for n = 1, 2, ...
// until the operation succeeds untouched; each failure must be reported as
// restored and leave the data file as it was.
TEST_F(DataFileTest, SaveModeRestoresEveryInterruptedOperation) {
  FaultLayer faults;
  for (FaultLayer::Kind kind : {FaultLayer::kWrite, FaultLayer::kSync}) {
    for (int op = 0; op < 3; ++op) {
      FileBlockHandle fb = CreateT(32, true);
      int32_t ref = 0;
      Bytes r = Record(32, 9);
      for (int i = 0; i < 3; ++i) AddRecord(fb, ref, r.data());
      if (op == 1) DeleteRecord(fb, 2);  // the add then reuses slot 2
      ASSERT_TRUE(EngineOK);
      SCOPED_TRACE("op " + std::to_string(op));
      const Bytes before = Dat();
      auto run = [&](int nth) {
        Bytes w = Record(32, static_cast<uint8_t>(nth));
        op == 2 ? DeleteRecord(fb, 3) : AddRecord(fb, ref, w.data());
      };
      auto restored = [&](int) {
        EXPECT_EQ(EngineError, op == 2 ? kErrDeleteRecordRestored : kErrAddRecordRestored);
        Bytes after = Dat();
        // A reused slot past its link word held a deleted record's bytes,
        // which no log keeps: those may differ.
        if (op == 1 && after.size() == before.size())
          std::copy(before.begin() + 2 * 32 + 4, before.begin() + 3 * 32,
                    after.begin() + 2 * 32 + 4);
        EXPECT_EQ(after, before);
        EXPECT_EQ(ReadAll(Name("T.DIA")).size(), 1u);
      };
      EXPECT_GT(FailEachCall(faults, kind, FaultLayer::kErrno, run, restored), 1);
      // Only the forcing of the emptied log failed: the change is done.
      EXPECT_TRUE(EngineError != kErrFile || Dat() != before);
      ASSERT_TRUE(Ok(CloseFileBlock, fb));
      CloseFileBlock(Open(Name("T"), false, false, true));
    }
  }
}

// Appended records are written whole, records that reuse deleted slots (and
// all records in save mode) section by section: both must give the same
// bytes, and reads must follow chains wherever their sections lie.
TEST_F(DataFileTest, VariableRecordsAreTheSameBytesWhicheverWayTheyAreWritten) {
  std::vector<Bytes> texts;
  for (size_t n : {10, 34, 35, 200, 1000, 3000}) texts.push_back(Text(n, static_cast<uint8_t>(n)));
  Bytes files[2];
  for (bool saveMode : {false, true}) {
    FileBlockHandle fb = CreateT(40, saveMode);
    int32_t ref = 0;
    for (const Bytes& t : texts)
      AddVariableRecord(fb, ref, t.data(), static_cast<uint32_t>(t.size()));
    ASSERT_TRUE(EngineOK);
    CloseFileBlock(fb);
    files[saveMode] = Dat();
  }
  EXPECT_EQ(files[0], files[1]);

  // Delete every other record, then add them again into the freed slots
  // (scattered chains) and read everything back.
  FileBlockHandle fb = CreateT(40);
  std::vector<int32_t> refs;
  int32_t ref = 0;
  for (const Bytes& t : texts) {
    AddVariableRecord(fb, ref, t.data(), static_cast<uint32_t>(t.size()));
    refs.push_back(ref);
  }
  for (size_t i = 0; i < texts.size(); i += 2) DeleteVariableRecord(fb, refs[i]);
  for (size_t i = texts.size(); i-- > 0;)
    if (i % 2 == 0) {
      ASSERT_TRUE(Ok(AddVariableRecord, fb, refs[i], texts[i].data(),
                     static_cast<uint32_t>(texts[i].size())));
    }
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(GetVar(fb, refs[i], 4000), texts[i]) << i;
    ASSERT_TRUE(EngineOK) << i;
  }
  CloseFileBlock(fb);
  const CheckReport report = CheckFileBlock(Name("T.DAT"), "", CheckOptions(true));
  EXPECT_TRUE(report.ok()) << report.faults.front();
}

TEST_F(DataFileTest, ReadOnlyAndUnsharedOpens) {
  const KeyDescriptor keys[] = {{8, 0}};
  FileBlockHandle fb = CreateOpen(Name("T"), 32, keys);
  Bytes r = Record(32, 3);
  int32_t ref = 0;
  AddRecord(fb, ref, r.data());
  AddKey(fb, 1, ref, "key");
  // An unshared block cannot be opened a second time, not even read-only.
  FileBlockHandle other = nullptr;
  EXPECT_EQ(OpenError(other, Name("T")), kErrFile);
  EXPECT_NE(OpenError(other, Name("T"), {.readOnly = true}), 0);
  EXPECT_EQ(other, nullptr);
  ASSERT_TRUE(Ok(CloseFileBlock, fb));

  const Bytes dat = Dat(), ix = ReadAll(Name("T.IX"));
  fb = Open(Name("T"), true);
  CloseFileBlock(Open(Name("T"), true));  // read-only opens share
  EXPECT_EQ(ErrorOf(AddRecord, fb, ref, r.data()), kErrReadOnly);
  EXPECT_EQ(ErrorOf(DeleteRecord, fb, 1), kErrReadOnly);
  EXPECT_EQ(ErrorOf(AddKey, fb, 1, 1, "more"), kErrReadOnly);
  int32_t found = 0;
  EXPECT_TRUE(Ok(FindKey, fb, 1, found, "key"));
  EXPECT_EQ(found, 1);
  FlushFileBlock(fb);
  EXPECT_TRUE(Ok(CloseFileBlock, fb));
  EXPECT_EQ(Dat(), dat);
  EXPECT_EQ(ReadAll(Name("T.IX")), ix);

  EXPECT_TRUE(Ok(DeleteFileBlock, Name("T")));
  EXPECT_FALSE(std::filesystem::exists(Name("T.DAT")));
  EXPECT_FALSE(std::filesystem::exists(Name("T.IX")));
}

TEST_F(DataFileTest, CreateRejectsBadArgumentsAndLeavesNothing) {
  CreateFileBlock(Name("A"), 20, 0, {});
  EXPECT_EQ(EngineError, kErrRecordLengthTooSmall);
  std::vector<KeyDescriptor> keys(111, KeyDescriptor{10, 0});
  EXPECT_EQ(ErrorOf(CreateFileBlock, Name("A"), 40, 111, keys), kErrTooManyIndexes);
  keys = {{10, 0}, {51, 0}};
  EXPECT_EQ(ErrorOf(CreateFileBlock, Name("A"), 40, 2, keys), kErrBadKeyLength);
  EXPECT_FALSE(std::filesystem::exists(Name("A.DAT")));
  EXPECT_FALSE(std::filesystem::exists(Name("A.IX")));
  FileBlockHandle fb = nullptr;
  EXPECT_EQ(OpenError(fb, Name("missing")), kErrFileNotFound);
  EXPECT_EQ(fb, nullptr);
  EXPECT_EQ(ErrorOf(CloseFileBlock, fb), kErrBadHandle);
}

TEST(EngineControl, StartStopAndErrorClasses) {
  int32_t ref = 0;
  EXPECT_EQ(ErrorOf(AddRecord, nullptr, ref, nullptr), kErrNotStarted);
  EXPECT_EQ(ErrorOf(ExitEngine), kErrNotStarted);
  // Network kind, buffers, the buffers started, the error: too few buffers,
  // an unknown kind, the smallest start, a second start.
  for (auto [kind, buffers, started, error] : {std::array{0, 7, 0, int{kErrTooFewBuffersAsked}},
                                               {1, 160, 0, kNetErrUnknownKind},
                                               {0, 8, 8, 0},
                                               {0, 8, 0, kErrStartedTwice}}) {
    EXPECT_EQ(InitEngine(static_cast<uint8_t>(kind), buffers), started) << kind << " " << buffers;
    EXPECT_EQ(EngineOK ? 0 : EngineError, error) << kind << " " << buffers;
  }
  EXPECT_FALSE(CheckEngineReady(false));
  EXPECT_TRUE(EngineOK);
  EXPECT_EQ(ErrorOf(AddRecord, nullptr, ref, nullptr), kErrBadHandle);
  EXPECT_EQ(ErrorOf(ExitEngine), 0);
  EXPECT_FALSE(CheckEngineReady(false));
  EXPECT_EQ(EngineError, kErrNotStarted);

  // Engine numbers: listed exceptions, the not-found and restored ranges,
  // else 4. Driver numbers: the top nibble less 2 (0xF000 gives 13, outside
  // 1..5: 99), the re-entry 1.
  const std::pair<int32_t, int> classes[] = {
      {0, 0},
      {kErrFileNotFound, 1},
      {kErrKeyNotFound, 1},
      {10299, 1},
      {kErrRebuildNoFile, 1},
      {kErrRecordLockedRestRead, 1},
      {kErrPathNotFound, 2},
      {kErrReadOnly, 2},
      {kErrDriveNotReady, 2},
      {kNetErrWriteLock, 2},
      {kErrAutoReadLock, 2},
      {kErrAddRecordRestored, 3},
      {10009, 3},
      {kErrMustRebuild, 4},
      {kErrFile, 4},
      {10300, 4},
      {9999, 4},
      {-1, 4},
      {kDriverDeletedMeanwhile, 1},
      {kDriverMustExist, 2},
      {kDriverNumberOverflow, 4},
      {kDriverNextNoCurrent, 5},
      {28742, 5},
      {kDriverReentered, 1},
      {0xF000, 99},
      {0xC000, 99},
  };
  for (auto [error, cls] : classes) {
    EngineError = error;
    EXPECT_EQ(ErrorClass(), cls) << error;
    EXPECT_EQ(ErrorClassOf(error), cls) << error;
  }
  ClearStatus();
  EngineError = kErrDuplicateKey;
  EngineOK = false;
  TStatusArea area;
  SaveStatus(area);
  ClearStatus();
  RestoreStatus(area);
  EXPECT_EQ(EngineError, kErrDuplicateKey);
  EXPECT_FALSE(EngineOK);
  ClearStatus();
}

}  // namespace
}  // namespace qorvex::isam::testing
