// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged file blocks: starting from small valid blocks, every header byte
// and every byte of the first pages is changed, the files are cut at every
// 512-byte boundary and chains are made to loop; each damaged block is then
// opened, walked and changed. The engine must answer with EngineOK or an
// engine error every time: no crash, no sanitizer report, no endless loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "isam/engine.h"
#include "tests/isam/testutil.h"
#include "tests/isam/walk.h"

namespace qorvex::isam::testing {
namespace {

struct Block {
  Bytes dat, ix;
  bool variable = false;
};

class CorruptTest : public EngineTest {
 protected:
  std::string N() const { return Name("C"); }

  void Write(const Block& b) {
    WriteAll(Name("C.DAT"), b.dat);
    if (!b.ix.empty()) WriteAll(Name("C.IX"), b.ix);
    std::filesystem::remove(Name("C.DIA"));
  }
  Block Read(bool variable) { return {ReadAll(Name("C.DAT")), ReadAll(Name("C.IX")), variable}; }

  // Opens, walks and changes one damaged copy on disk; counts cases and the
  // ones that still opened.
  void Case(const Block& b) {
    Write(b);
    ++cases_;
    const WalkResult r = WalkBlock(N(), b.variable, buffer_);
    for (const WalkFault& f : r.faults) ADD_FAILURE() << f.call << ": " << f.what;
    if (r.opened) ++opened_;
  }

  Block MakeFixed() {
    const KeyDescriptor keys[] = {{4, 0}, {8, 1}, {12, 1}};
    FileBlockHandle fb = CreateOpen(N(), 32, keys);
    Bytes r = Record(32, 0x41);
    for (int i = 1; i <= 300; ++i) {
      int32_t ref = 0;
      AddRecord(fb, ref, r.data());
      AddKey(fb, 1, ref, Digits(i));
      AddKey(fb, 2, ref, Digits(i % 37));
      AddKey(fb, 3, ref, Digits(i * 7919 % 1000));
    }
    for (int i = 1; i <= 300; i += 3) {  // frees slots and, by merging, pages
      DeleteRecord(fb, i);
      DeleteKey(fb, 1, i, Digits(i));
      DeleteKey(fb, 3, i, Digits(i * 7919 % 1000));
    }
    EXPECT_TRUE(EngineOK) << EngineError;
    CloseFileBlock(fb);
    return Read(false);
  }

  Block MakeVariable() {
    const KeyDescriptor keys[] = {{6, 0}};
    FileBlockHandle fb = CreateOpen(N(), 40, keys);
    Bytes t = Record(400, 0x5A);
    std::vector<int32_t> refs;
    for (int i = 0; i < 60; ++i) {
      int32_t ref = 0;
      AddVariableRecord(fb, ref, t.data(), static_cast<uint32_t>(i * 37 % 400));
      AddKey(fb, 1, ref, Digits(i));
      refs.push_back(ref);
    }
    for (int i = 0; i < 60; i += 4) DeleteVariableRecord(fb, refs[i]);
    EXPECT_TRUE(EngineOK) << EngineError;
    CloseFileBlock(fb);
    return Read(true);
  }

  // Offsets of the first bytes of a file that damage should reach: the
  // headers and the used part of the first page row.
  static std::vector<size_t> IndexOffsets(const Bytes& ix) {
    std::vector<size_t> at;
    uint32_t rowSize = 0;
    std::vector<std::pair<uint32_t, uint32_t>> slots;  // header offset, stride
    for (uint32_t offset = 0; offset + 28 <= ix.size() && slots.size() < 3;) {
      const uint32_t pageSize = Le32(ix, offset + 12);
      if (pageSize < 68 || pageSize > 4000) break;
      slots.push_back({offset, (pageSize - 6) / 62});
      offset += pageSize;
      rowSize = offset;
    }
    for (auto [offset, stride] : slots) {
      for (size_t i = 0; i < 28; ++i) at.push_back(offset + i);
      const size_t page = rowSize + offset;  // page 1
      if (page + 2 > ix.size()) continue;
      const size_t used = std::min<size_t>(6 + Le16(ix, page) * stride, stride * 62 + 6);
      for (size_t i = 0; i < used && page + i < ix.size(); ++i) at.push_back(page + i);
    }
    return at;
  }

  std::vector<uint8_t> buffer_ =
      std::vector<uint8_t>(70000);  // reused: fresh pages cost more than the walk
  int cases_ = 0, opened_ = 0;
};

TEST_F(CorruptTest, EveryDamagedBlockGivesOkOrAnEngineError) {
  for (bool variable : {false, true}) {
    const Block good = variable ? MakeVariable() : MakeFixed();
    ASSERT_FALSE(HasFatalFailure());
    const int openedBefore = opened_;
    Case(good);
    ASSERT_EQ(opened_, openedBefore + 1) << "the undamaged block opens";

    for (Bytes Block::*file : {&Block::dat, &Block::ix}) {
      // The data file's header; the index headers and the first page of
      // every index: each byte set to three values.
      std::vector<size_t> bytes(21);
      std::iota(bytes.begin(), bytes.end(), 0);
      if (file == &Block::ix) bytes = IndexOffsets(good.ix);
      for (size_t i : bytes)
        for (int value : {-1, 0x00, 0x7F}) {
          Block b = good;
          (b.*file)[i] = static_cast<uint8_t>(value < 0 ? (b.*file)[i] ^ 0xFF : value);
          Case(b);
          if (HasFatalFailure()) return;
        }
      // Cut at every 512-byte boundary and at a few odd sizes.
      std::vector<size_t> sizes = {0, 1, 20, 27, 33};
      for (size_t n = 512; n < (good.*file).size(); n += 512) sizes.push_back(n);
      for (size_t n : sizes) {
        if (n >= (good.*file).size()) continue;
        Block b = good;
        (b.*file).resize(n);
        Case(b);
        if (HasFatalFailure()) return;
      }
    }
  }
  // The damage left nothing behind in the engine: a sound block still works.
  const int openedBefore = opened_;
  Case(MakeFixed());
  EXPECT_EQ(opened_, openedBefore + 1);
  std::printf("%d damaged blocks walked, %d of them opened\n", cases_, opened_);
  EXPECT_GT(cases_, 1500);
  EXPECT_LT(opened_, cases_) << "damage is noticed at open at least sometimes";
}

TEST_F(CorruptTest, LoopingChainsEndInAnError) {
  // Data free chain: the head's link points to the head itself, then to an
  // earlier member.
  Block good = MakeFixed();
  const uint32_t head = Le32(good.dat, 0);
  ASSERT_GT(head, 0u);
  const uint32_t second = Le32(good.dat, head * 32);
  for (uint32_t link : {head, second}) {
    Block b = good;
    Put32(b.dat, link * 32, head);
    Case(b);
    // Several adds run into the loop: each must fail cleanly or succeed.
    FileBlockHandle fb = Open(N());
    ASSERT_NE(fb, nullptr);
    Bytes r(32, 0);
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
      int32_t ref = 0;
      AddRecord(fb, ref, r.data());
      ASSERT_EQ(EngineOK, EngineError == 0) << "EngineOK " << EngineOK << " with " << EngineError;
      if (!EngineOK) ++failures;
    }
    EXPECT_GT(failures, 0) << "the loop is noticed";
    CloseFileBlock(fb);
  }

  // The first child link of the root's child pointing back to the root, and
  // the root's own first link pointing at the root itself.
  uint32_t rowSize = 0;
  for (int k = 0; k < 3; ++k) rowSize += Le32(good.ix, rowSize + 12);
  const uint32_t root = Le32(good.ix, 16);
  ASSERT_GT(root, 0u);
  const uint32_t child = Le32(good.ix, root * rowSize + 2);
  ASSERT_GT(child, 0u) << "the first index has two levels";
  for (uint32_t page : {child, root}) {
    Block b = good;
    Put32(b.ix, page * rowSize + 2, root);
    Case(b);
    if (HasFatalFailure()) return;
  }

  // A variable record whose last section links back to its first.
  Block v = MakeVariable();
  bool looped = false;
  for (uint32_t s = 1; s * 40 + 40 <= v.dat.size() && !looped; ++s) {
    const size_t at = s * 40;
    if (Le32(v.dat, at) != 0 || Le32(v.dat, at + 36) == 0) continue;  // a first section with more
    uint32_t link = Le32(v.dat, at + 36);
    for (int guard = 0; guard < 100 && Le32(v.dat, link * 40 + 36) != 0; ++guard)
      link = Le32(v.dat, link * 40 + 36);
    Block b = v;
    Put32(b.dat, link * 40 + 36, s);
    Case(b);
    looped = true;
  }
  EXPECT_TRUE(looped);
}

// An index file cut behind an open block: the error names it (the data
// file's case: the block I/O test).
TEST_F(CorruptTest, AnIndexFileCutUnderAReaderIsNamed) {
  Write(MakeFixed());
  FileBlockHandle fb = Open(N(), true);
  ASSERT_NE(fb, nullptr);
  std::filesystem::resize_file(N() + ".IX", 200);
  int32_t ref = 0;
  EXPECT_EQ(ErrorOf(FindKey, fb, 1, ref, std::string(4, 'k')), kErrReadPastEnd);
  EXPECT_EQ(std::string(EngineFailedFile()), N() + ".IX");
  CloseFileBlock(fb);
}

}  // namespace
}  // namespace qorvex::isam::testing
