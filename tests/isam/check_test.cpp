// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the file-block checker: files are built byte by byte here, then
// damaged at known places; each damage must give its exact fault line.
#include "isam/check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

// Data file: header in slot 0, all other slots zero (live, empty records).
Bytes DataFile(uint32_t L, uint32_t highest, int32_t freeHead, uint32_t freeCount,
               uint32_t indexes) {
  Bytes b((highest + 1) * L, 0);
  const uint32_t header[] = {static_cast<uint32_t>(freeHead), freeCount, highest, L, indexes};
  for (int i = 0; i < 5; ++i) Put32(b, 4 * i, header[i]);
  return b;
}

struct Item {
  uint32_t ref;
  uint32_t child;
  std::string key;
};
struct Page {
  uint32_t first = 0;
  std::vector<Item> items;
};
struct Index {
  uint32_t keyLength = 0;
  uint32_t keysPerPage = 0;  // as stored: 0 reads as 62
  bool duplicates = false;
  int32_t freeHead = -1;
  uint32_t freeCount = 0, highest = 0, root = 0, entries = 0;
  std::vector<std::pair<uint32_t, Page>> pages;
  std::vector<std::pair<uint32_t, int32_t>> freePages;  // page, link

  uint32_t PageSize() const { return (keyLength + 9) * (keysPerPage ? keysPerPage : 62) + 6; }
};

Bytes IndexFile(const std::vector<Index>& indexes) {
  uint32_t row = 0, highest = 0;
  for (const Index& x : indexes) {
    row += x.PageSize();
    highest = std::max(highest, x.highest);
  }
  Bytes b((highest + 1) * row, 0);
  uint32_t offset = 0;
  for (const Index& x : indexes) {
    const uint32_t header[] = {static_cast<uint32_t>(x.freeHead), x.freeCount, x.highest,
                               x.PageSize(), x.root};
    for (int i = 0; i < 5; ++i) Put32(b, offset + 4 * i, header[i]);
    b[offset + 20] = x.duplicates;
    Put32(b, offset + 22, x.entries);
    Put16(b, offset + 26, x.keysPerPage);
    for (const auto& [number, page] : x.pages) {
      size_t at = number * row + offset;
      Put16(b, at, static_cast<uint32_t>(page.items.size()));
      Put32(b, at + 2, page.first);
      for (size_t i = 0; i < page.items.size(); ++i) {
        size_t item = at + 6 + i * (x.keyLength + 9);
        Put32(b, item, page.items[i].ref);
        Put32(b, item + 4, page.items[i].child);
        b[item + 8] = static_cast<uint8_t>(page.items[i].key.size());
        std::copy(page.items[i].key.begin(), page.items[i].key.end(), b.begin() + item + 9);
      }
    }
    for (const auto& [number, link] : x.freePages)
      Put32(b, number * row + offset, static_cast<uint32_t>(link));
    offset += x.PageSize();
  }
  return b;
}

constexpr uint32_t kL = 32;

// A valid block: 12 slots, 4 and 9 deleted (chain 9 -> 4); index 1 unique
// with 4 keys per page, root page 3 over leaves 1, 2, 4, page 5 free; index 2
// with duplicates, one leaf.
struct Block {
  Bytes dat = DataFile(kL, 12, 9, 2, 2);
  std::vector<std::pair<uint32_t, Page>> uniquePages = {
      {1, {0, {{1, 0, "ant"}, {2, 0, "bee"}, {3, 0, "cat"}}}},
      {2, {0, {{6, 0, "eel"}, {7, 0, "fox"}}}},
      {3, {1, {{5, 2, "dog"}, {8, 4, "gnu"}}}},
      {4, {0, {{10, 0, "hen"}, {11, 0, "ibis"}, {12, 0, "jay"}}}}};
  // Key length, keys per page, duplicates, free head, free count, highest,
  // root, entries, pages, free pages.
  Index unique{6, 4, false, 5, 1, 5, 3, 10, uniquePages, {{5, -1}}};
  Index dups{3, 0, true, -1, 0, 1, 1, 3, {{1, {0, {{1, 0, "a"}, {2, 0, "a"}, {1, 0, "b"}}}}}, {}};
  size_t indexCut = 0;  // bytes cut off the end of the index file

  Block() {
    Put32(dat, 4 * kL, 0xFFFFFFFF);
    Put32(dat, 9 * kL, 4);
  }
  Page& UniquePage(uint32_t number) {
    for (auto& [n, page] : unique.pages)
      if (n == number) return page;
    throw std::logic_error("no such page");
  }
};

class CheckTest : public ::testing::Test {
 protected:
  std::string Dat() const { return dir_ / "T.DAT"; }
  std::string Ix() const { return dir_ / "T.IX"; }
  CheckReport Check(const Bytes& dat, const Bytes& ix, CheckOptions options = {}) {
    WriteAll(Dat(), dat);
    WriteAll(Ix(), ix);
    return CheckFileBlock(Dat(), Ix(), options);
  }
  CheckReport Check(Block& block) {
    Bytes ix = IndexFile({block.unique, block.dups});
    ix.resize(ix.size() - block.indexCut);
    return Check(block.dat, ix);
  }
  TempDir dir_;
};

using Lines = std::vector<std::string>;

TEST_F(CheckTest, ValidBlockPassesAndIsCounted) {
  Block block;
  CheckReport r = Check(block);
  EXPECT_EQ(r.faults, Lines{});
  EXPECT_EQ(r.notes, Lines{});
  EXPECT_EQ(r.liveRecords, 10u);
  EXPECT_EQ(r.indexEntries, (std::vector<uint32_t>{10, 3}));

  // The in-use byte left at 1 is a note only.
  block.dat[20] = 1;
  r = Check(block);
  EXPECT_TRUE(r.ok());
  ASSERT_EQ(r.notes.size(), 1u);
  EXPECT_NE(r.notes[0].find("in-use byte is 1"), std::string::npos);

  // No indexes: the index file may be absent.
  WriteAll(Dat(), DataFile(kL, 0, -1, 0, 0));
  std::remove(Ix().c_str());
  EXPECT_TRUE(CheckFileBlock(Dat(), "", {}).ok());
  EXPECT_TRUE(CheckFileBlock(Dat(), Ix(), {}).ok());
}

// Each damage of the valid block gives exactly its fault lines.
TEST_F(CheckTest, EachDamageGivesItsFaults) {
  const std::pair<std::function<void(Block&)>, Lines> cases[] = {
      {[](Block& b) { Put32(b.dat, 4 * kL, 9); },  // 9 -> 4 -> 9
       {"T.DAT free chain: cycle, slot 4 links back to slot 9 after 2 slots"}},
      {[](Block& b) { Put32(b.dat, 4, 3); },
       {"T.DAT header: free count 3, free chain holds 2 slots"}},
      {[](Block& b) { Put32(b.dat, 9 * kL, 13); },
       {"T.DAT free chain: slot 9 links to 13, expected -1 or 1..12"}},
      {[](Block& b) { b.dat.resize(12 * kL + 5); },  // slot 12 cut short
       {"T.DAT: file holds 389 bytes, expected 416 ((highest 12 + 1) x record length 32)",
        "T.IX index 1 page 4 item 3: ref 12 beyond the end of T.DAT"}},
      {[](Block& b) {
         b.UniquePage(2).items.pop_back();
         b.unique.entries = 9;
       },
       {"T.IX index 1 page 2: 1 items, expected 2..4"}},
      {[](Block& b) { std::swap(b.UniquePage(1).items[0], b.UniquePage(1).items[1]); },
       {"T.IX index 1 page 1 item 2: key \"ant\" ref 1 not above the previous key \"bee\" ref 2"}},
      {[](Block& b) { b.UniquePage(3).items[0].key = "bat"; },  // below its left subtree
       {"T.IX index 1 page 3 item 1: key \"bat\" ref 5 not above the previous key \"cat\" ref 3"}},
      {[](Block& b) {  // equal keys: ordered by ref with duplicates, refused without
         b.dups.pages[0].second.items[1].ref = 1;
         b.UniquePage(1).items[1].key = "ant";
       },
       {"T.IX index 1 page 1 item 2: key \"ant\" ref 2 not above the previous key \"ant\" ref 1 "
        "(same key in a unique index)",
        "T.IX index 2 page 1 item 2: key \"a\" ref 1 not above the previous key \"a\" ref 1"}},
      {[](Block& b) { b.UniquePage(1).items[2].ref = 4; },
       {"T.IX index 1 page 1 item 3: ref 4 is a deleted slot of T.DAT"}},
      {[](Block& b) {
         b.unique.freeHead = -1;
         b.unique.freeCount = 0;
       },
       {"T.IX index 1: 1 pages neither in the tree nor on the free chain (leaked): 5"}},
      {[](Block& b) { b.UniquePage(3).items[1].child = 3; },  // the root points at itself
       {"T.IX index 1 page 3 item 2 links to page 3, reached twice",
        "T.IX index 1 header: entry count 10, tree holds 7 items",
        "T.IX index 1: 1 pages neither in the tree nor on the free chain (leaked): 4"}},
      {[](Block& b) {  // page 4 turned into an inner page: leaves at depths 2 and 3
         b.unique.highest = 7;
         b.UniquePage(4) = {6, {{12, 7, "jay"}}};
         b.unique.pages.push_back({6, {0, {{10, 0, "hen"}, {11, 0, "ibis"}}}});
         b.unique.pages.push_back({7, {0, {{10, 0, "kea"}, {11, 0, "lark"}}}});
         b.unique.entries = 12;
       },
       {"T.IX index 1 page 4: 1 items, expected 2..4",
        "T.IX index 1 page 6: leaf at depth 3, expected 2 like the first leaf",
        "T.IX index 1 page 7: leaf at depth 3, expected 2 like the first leaf"}},
      {[](Block& b) { b.indexCut = 1; },
       {"T.IX index 1: highest page 5 needs 4896 bytes ((highest + 1) x row size 816), file "
        "holds 4895"}},
  };
  for (const auto& [damage, faults] : cases) {
    Block block;
    damage(block);
    EXPECT_EQ(Check(block).faults, faults);
  }
}

// With a key builder every entry must carry its record's key and every
// record have one entry per index. Records hold their index 1 key as a
// length byte at 4 and the bytes after it; index 2 gives every record "x".
TEST_F(CheckTest, EntriesMustCarryTheirRecordsKeys) {
  Block block;
  std::vector<Item> everyRecord;  // the live records 1..12 but 4 and 9, in ref order
  for (auto& [number, page] : block.unique.pages)
    for (const Item& item : page.items) {
      block.dat[item.ref * kL + 4] = static_cast<uint8_t>(item.key.size());
      std::copy(item.key.begin(), item.key.end(), block.dat.begin() + item.ref * kL + 5);
    }
  for (uint32_t ref : {1, 2, 3, 5, 6, 7, 8, 10, 11, 12}) everyRecord.push_back({ref, 0, "x"});
  block.dups.pages = {{1, {0, everyRecord}}};
  block.dups.entries = 10;
  CheckOptions options;
  options.keyBuilder = [](std::span<const uint8_t> r, int k) {
    return k == 2 ? std::string("x") : std::string(r.begin() + 5, r.begin() + 5 + r[4]);
  };
  const Bytes dat = block.dat;
  auto check = [&] { return Check(block.dat, IndexFile({block.unique, block.dups}), options); };
  EXPECT_EQ(check().faults, Lines{});

  // Records 1 and 2 swapped between their slots.
  std::swap_ranges(block.dat.begin() + kL, block.dat.begin() + 2 * kL, block.dat.begin() + 2 * kL);
  EXPECT_EQ(
      check().faults,
      (Lines{"T.IX index 1 page 1 item 1: key \"ant\" names record 1, whose key is \"bee\"",
             "T.IX index 1 page 1 item 2: key \"bee\" names record 2, whose key is \"ant\""}));
  block.dat = dat;
  // Record 12 loses its entry in index 2; in index 1 it goes to record 3.
  block.dups.pages[0].second.items.pop_back();
  block.dups.entries = 9;
  block.UniquePage(4).items[2].ref = 3;
  EXPECT_EQ(check().faults,
            (Lines{"T.IX index 1 page 4 item 3: key \"jay\" names record 3, whose key is \"cat\"",
                   "T.IX index 1: record 3 has 2 entries, expected 1",
                   "T.IX index 1: record 12 has 0 entries, expected 1",
                   "T.IX index 2: record 12 has 0 entries, expected 1"}));
}

// Sections of 24 bytes: 18 data bytes in the first, 17 in a continuation.
TEST_F(CheckTest, VariableRecordChains) {
  constexpr uint32_t L = 24;
  Bytes dat = DataFile(L, 6, 3, 1, 0);
  auto section = [&](uint32_t slot, bool continuation, uint32_t count, uint32_t next) {
    if (continuation) dat[slot * L] = 1;
    Put16(dat, slot * L + L - 6, count);
    Put32(dat, slot * L + L - 4, next);
  };
  section(1, false, 10, 0);
  section(2, false, 18, 4);
  section(4, true, 17, 5);
  section(5, true, 3, 0);
  Put32(dat, 3 * L, 0xFFFFFFFF);
  section(6, true, 5, 0);  // leaked by a crash
  const CheckOptions variable{true};

  CheckReport r = Check(dat, {}, variable);
  EXPECT_EQ(r.faults, Lines{});
  EXPECT_EQ(r.notes, Lines{"T.DAT: 1 continuation sections in no chain: 6"});
  EXPECT_EQ(r.liveRecords, 2u);

  // A section written over: slot, continuation, count, next; the fault.
  const std::tuple<uint32_t, bool, uint32_t, uint32_t, std::string> cases[] = {
      {4, true, 17, 1, "T.DAT record 2: section 4 links to 1, a live record"},
      {5, true, 3, 4, "T.DAT record 2: section 5 links to 4, already in this chain (cycle)"},
      {4, true, 16, 5,
       "T.DAT record 2: continuation 4 holds 16 bytes but links on, expected 17 (full)"},
      {5, true, 18, 0, "T.DAT record 2: continuation 5 counts 18 bytes, expected 1..17"},
      {2, false, 19, 0, "T.DAT record 2: first section counts 19 bytes, expected 0..18"},
      {1, false, 10, 5,
       "T.DAT record 1: first section holds 10 bytes but links on, expected 18 (full)"},
  };
  for (const auto& [slot, continuation, count, next, fault] : cases) {
    SCOPED_TRACE(fault);
    Bytes saved = dat;
    section(slot, continuation, count, next);
    Lines faults = Check(dat, {}, variable).faults;
    EXPECT_NE(std::find(faults.begin(), faults.end(), fault), faults.end())
        << (faults.empty() ? "no fault" : faults[0]);
    dat = saved;
  }
  dat[4 * L] = 2;
  EXPECT_EQ(Check(dat, {}, variable).faults,
            Lines{"T.DAT record 2: continuation 4 byte 0 is 2, expected 1"});
}

// Random damage of a valid block: the checker must return (under ASan, without
// reading out of bounds), every truncation must be found, and every fault
// line must name its file.
TEST_F(CheckTest, RandomDamageNeverCrashes) {
  Block block;
  const Bytes dat = block.dat;
  const Bytes ix = IndexFile({block.unique, block.dups});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 1500; ++round) {
    Bytes d = dat, x = ix;
    Bytes& target = random() % 2 ? d : x;
    const bool truncate = random() % 4 == 0;
    if (truncate) {
      target.resize(random() % target.size());
    } else {
      for (unsigned flips = 1 + random() % 4; flips > 0; --flips)
        target[random() % target.size()] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    CheckReport r = Check(d, x, CheckOptions{round % 3 == 0});
    if (truncate) {
      EXPECT_FALSE(r.ok()) << "round " << round << " truncated to " << target.size();
    }
    for (const std::string& line : r.faults)
      ASSERT_TRUE(line.rfind("T.DAT", 0) == 0 || line.rfind("T.IX", 0) == 0 || line[0] == '(')
          << line;
  }
}

}  // namespace
}  // namespace qorvex::isam::testing
