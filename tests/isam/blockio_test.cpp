// SPDX-License-Identifier: GPL-3.0-or-later
// Reads through a mapping, gathered appends and pages stored through the
// mapping: the files and the answers are the same as with a system call for
// everything; a file the engine cuts, or another station cuts, is never read
// through the mapping past its end; and one cut behind the engine's back
// makes a mapped read fail over to a read call, not end the process.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <random>
#include <string>

#include "isam/check.h"
#include "isam/engine.h"
#include "isam/fileblock.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

// Counts reads and mappings; refuses every mapping when asked.
class CountingLayer : public OsLayer {
 public:
  explicit CountingLayer(bool refuse) : refuse_(refuse) {}
  ssize_t PRead(int fd, void* buf, size_t n, off_t offset) override {
    ++reads;
    return OsLayer::PRead(fd, buf, n, offset);
  }
  void* Map(int fd, size_t length, bool writable) override {
    if (refuse_) return errno = ENOMEM, MAP_FAILED;
    ++maps;
    return OsLayer::Map(fd, length, writable);
  }
  int reads = 0, maps = 0;

 private:
  bool refuse_;
};

class BlockIoTest : public EngineTest {
 protected:
  BlockIoTest() { buffers_ = 8; }  // pages leave the cache and come back

  struct Outcome {
    Bytes dat, ix;        // after the last flush, before the close
    std::string answers;  // every record read, in order
    int reads = 0, maps = 0;
  };

  // Adds, rewrites, deletes and reads variable records with two keys, and
  // compares every read with a model.
  Outcome Run(bool refuseMaps) {
    const std::string name = Name(refuseMaps ? "D" : "M");
    const KeyDescriptor keys[] = {{6, 0}, {20, 1}};
    CreateFileBlock(name, 64, 2, keys);
    CountingLayer layer(refuseMaps);
    SetOsLayer(&layer);
    FileBlockHandle fb = Open(name);
    std::mt19937 rng(4711);
    std::map<int32_t, Bytes> model;
    Outcome out;
    auto keyOf = [](int32_t ref, const Bytes& r) {
      return std::make_pair(std::to_string(100000 + ref),
                            std::string(r.begin() + 4, r.begin() + 9));
    };
    for (int op = 0; op < 3000 && !HasFailure(); ++op) {
      // Adds alone first: whole records appended, some across the 2 MiB
      // units in which appends are written.
      const uint32_t kind = op < 1500 ? 0 : rng() % 10;
      Bytes r(10 + rng() % 6000, 0);
      for (size_t i = 4; i < r.size(); ++i) r[i] = static_cast<uint8_t>('A' + rng() % 26);
      if (kind < 5 || model.empty()) {
        int32_t ref = 0;
        AddVariableRecord(fb, ref, r.data(), static_cast<uint32_t>(r.size()));
        const auto [k1, k2] = keyOf(ref, r);
        AddKey(fb, 1, ref, k1);
        AddKey(fb, 2, ref, k2);
        model[ref] = r;
      } else {
        auto it = model.begin();
        std::advance(it, rng() % model.size());
        const int32_t ref = it->first;
        if (kind < 7) {  // read it, by its key
          int32_t found = 0;
          FindKey(fb, 1, found, keyOf(ref, it->second).first);
          const Bytes back = GetVar(fb, found, 6100);
          EXPECT_TRUE(back == it->second) << "op " << op << " ref " << ref;
          out.answers.append(back.begin(), back.end());
        } else if (kind < 9) {  // rewrite it: new chain, same keys
          std::copy(it->second.begin() + 4, it->second.begin() + 9, r.begin() + 4);
          PutVariableRecord(fb, ref, r.data(), static_cast<uint32_t>(r.size()));
          it->second = r;
        } else {
          const auto [k1, k2] = keyOf(ref, it->second);
          DeleteKey(fb, 1, ref, k1);
          DeleteKey(fb, 2, ref, k2);
          DeleteVariableRecord(fb, ref);
          model.erase(it);
        }
      }
      EXPECT_TRUE(EngineOK) << "op " << op << " error " << EngineError;
    }
    // A scan in key order reads every record.
    std::string key;
    int32_t ref = 0;
    for (NextKey(fb, 2, ref, key); EngineOK; NextKey(fb, 2, ref, key)) {
      const Bytes back = GetVar(fb, ref, 6100);
      EXPECT_TRUE(back == model[ref]) << "ref " << ref;
      out.answers.append(back.begin(), back.end());
    }
    EXPECT_TRUE(Ok(FlushFileBlock, fb)) << EngineError;
    out.dat = ReadAll(name + ".DAT");
    out.ix = ReadAll(name + ".IX");
    EXPECT_TRUE(Ok(CloseFileBlock, fb)) << EngineError;
    SetOsLayer(nullptr);
    out.reads = layer.reads;
    out.maps = layer.maps;
    const CheckReport report = CheckFileBlock(name + ".DAT", name + ".IX", CheckOptions(true));
    EXPECT_TRUE(report.ok()) << report.faults.front();
    return out;
  }
};

TEST_F(BlockIoTest, MappedAndDirectAccessGiveTheSameFilesAndAnswers) {
  const uint64_t faults = MappedAccessFaults();
  const Outcome direct = Run(true);
  const Outcome mapped = Run(false);
  EXPECT_GT(mapped.maps, 0);
  EXPECT_LT(mapped.reads * 10, direct.reads) << "the mapping served the reads";
  EXPECT_TRUE(mapped.answers == direct.answers) << "answers differ";
  EXPECT_TRUE(mapped.dat == direct.dat) << "data files differ";
  EXPECT_TRUE(mapped.ix == direct.ix) << "index files differ";
  EXPECT_EQ(MappedAccessFaults(), faults);
}

// Slots of 8 KiB: a cut removes whole pages, whose bytes the mapping would
// fault on.
constexpr int32_t kBig = 8192;

// Save mode: a failed forcing of the data file replays the log, which cuts
// off the slot just appended (and read through the mapping).
TEST_F(BlockIoTest, ACutByTheLogReplayIsNotReadThroughTheMapping) {
  FileBlockHandle fb = CreateOpen(Name("S"), kBig, {}, true);
  ASSERT_NE(fb, nullptr);
  const uint64_t mappedFaults = MappedAccessFaults();
  Bytes r = Record(kBig, 7), back(kBig);
  int32_t ref = 0;
  AddRecord(fb, ref, r.data());
  ASSERT_TRUE(Ok(GetRecord, fb, 1, back.data(), false) && back == r);
  FaultLayer faults;
  faults.Arm(FaultLayer::kSync, 2);  // the data file's, after the log's
  SetOsLayer(&faults);
  ASSERT_EQ(ErrorOf(AddRecord, fb, ref, r.data()), kErrAddRecordRestored);
  SetOsLayer(nullptr);
  EXPECT_EQ(ReadAll(Name("S.DAT")).size(), 2u * kBig);
  EXPECT_EQ(ErrorOf(GetRecord, fb, 2, back.data(), false), kErrReadPastEnd);
  EXPECT_EQ(MappedAccessFaults(), mappedFaults) << "the cut was known";
  CloseFileBlock(fb);
}

// Network: another station cuts the file while this one holds no lock (as
// a failed append or a replay under its write lock does); this station's
// next lock reads the length again.
TEST_F(BlockIoTest, AStationReadsTheLengthAgainUnderEachLock) {
  ExitEngine();
  ASSERT_GT(InitEngine(2, 16), 0);
  CreateFileBlock(Name("N"), kBig, 0, {});
  FileBlockHandle fb = Open(Name("N"), false, true);
  ASSERT_NE(fb, nullptr);
  const uint64_t faults = MappedAccessFaults();
  LockFileBlock(fb);
  Bytes r = Record(kBig, 9), back(kBig);
  int32_t ref = 0;
  for (int i = 0; i < 3; ++i) AddRecord(fb, ref, r.data());
  ASSERT_TRUE(Ok(UnlockFileBlock, fb)) << EngineError;
  GetRecord(fb, 3, back.data(), false);  // under an automatic read lock
  ASSERT_TRUE(EngineOK && back == r) << EngineError;
  ASSERT_EQ(truncate(Name("N.DAT").c_str(), 3 * kBig), 0);
  EXPECT_EQ(ErrorOf(GetRecord, fb, 3, back.data(), false), kErrReadPastEnd);
  EXPECT_TRUE(Ok(GetRecord, fb, 2, back.data(), false) && back == r) << EngineError;
  EXPECT_EQ(MappedAccessFaults(), faults) << "the length was read under the lock";
  CloseFileBlock(fb);
}

// A block opened unshared holds its files alone; a program that cuts one
// behind its back all the same costs it the read, not the process.
TEST_F(BlockIoTest, AFileCutBehindTheEnginesBackFailsOverToAReadCall) {
  const KeyDescriptor keys[] = {{8, 0}};
  FileBlockHandle fb = CreateOpen(Name("U"), kBig, keys);
  ASSERT_NE(fb, nullptr);
  Bytes r = Record(kBig, 5), back(kBig);
  int32_t ref = 0;
  for (int i = 0; i < 3; ++i) {
    AddRecord(fb, ref, r.data());
    AddKey(fb, 1, ref, "K" + std::to_string(i));
  }
  FlushFileBlock(fb);
  ASSERT_TRUE(Ok(GetRecord, fb, 3, back.data(), false) && back == r) << EngineError;
  const uint64_t faults = MappedAccessFaults();
  ASSERT_EQ(truncate(Name("U.DAT").c_str(), 2 * kBig), 0);
  EXPECT_EQ(ErrorOf(GetRecord, fb, 3, back.data(), false), kErrReadPastEnd);
  EXPECT_EQ(std::string(EngineFailedFile()), Name("U.DAT")) << "the error names the file";
  EXPECT_EQ(MappedAccessFaults(), faults + 1);
  EXPECT_TRUE(Ok(GetRecord, fb, 1, back.data(), false) && back == r) << EngineError;
  CloseFileBlock(fb);
}

}  // namespace
}  // namespace qorvex::isam::testing
