// SPDX-License-Identifier: GPL-3.0-or-later
// B-tree indexes through the engine's key operations: golden index bytes,
// ordering, stepping, and a model-based random test against std::set.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "isam/check.h"
#include "isam/engine.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

class BtreeTest : public EngineTest {
 public:
  FileBlockHandle Create(std::vector<KeyDescriptor> keys, bool saveMode = false) {
    return CreateOpen(Name("K"), 32, keys, saveMode);
  }
  FileBlockHandle Reopen(bool saveMode = false) { return Open(Name("K"), false, false, saveMode); }
  Bytes Ix() const { return ReadAll(Name("K.IX")); }
  // The keys here name no records: the trees alone are checked.
  CheckReport Check() const {
    return CheckFileBlock(Name("K.DAT"), Name("K.IX"), CheckOptions(false, false));
  }
};

TEST_F(BtreeTest, FreshIndexFileAndSplitPageAreExact) {
  FileBlockHandle fb = Create({{10, 0}, {20, 1}});
  CloseFileBlock(fb);
  Bytes ix = Ix();
  ASSERT_EQ(ix.size(), 2988u) << "row 0 only: 1184 + 1804";
  Bytes expected(2988, 0);
  for (uint32_t offset : {0u, 1184u}) {
    Put32(expected, offset, 0xFFFFFFFF);  // free head -1
    Put16(expected, offset + 12, offset == 0 ? 1184 : 1804);
    expected[offset + 20] = offset == 0 ? 0 : 1;  // duplicates
    expected[offset + 26] = 62;                   // keys per page
  }
  EXPECT_EQ(ix, expected);

  // 63 ascending keys: the root splits into two pages of 31.
  fb = Reopen();
  for (int i = 1; i <= 63; ++i)
    ASSERT_TRUE(Ok(AddKey, fb, 1, i, Digits(i))) << i << " " << EngineError;
  CloseFileBlock(fb);
  ix = Ix();
  ASSERT_EQ(ix.size(), 4u * 2988);
  EXPECT_EQ(Le32(ix, 8), 3u) << "highest page";
  EXPECT_EQ(Le32(ix, 16), 3u) << "root: the page made last";
  EXPECT_EQ(Le32(ix, 22), 63u) << "entries";
  auto page = [&](uint32_t p) { return ix.begin() + p * 2988; };
  // Root: one item (ref 32, child 2) over page 1.
  Bytes root(page(3), page(3) + 6 + 19);
  Bytes want = {1, 0, 1, 0, 0, 0, 32, 0, 0, 0, 2, 0, 0, 0, 4, '0', '0', '3', '2'};
  want.resize(25, 0);
  EXPECT_EQ(root, want);
  for (uint32_t p : {1u, 2u}) {
    EXPECT_EQ(Le16(ix, p * 2988), 31u);
    EXPECT_EQ(Le32(ix, p * 2988 + 2), 0u);
    for (int i = 0; i < 31; ++i) {
      const size_t at = p * 2988 + 6 + i * 19;
      const int n = (p == 1 ? 1 : 33) + i;
      ASSERT_EQ(Le32(ix, at), static_cast<uint32_t>(n));
      ASSERT_EQ(Le32(ix, at + 4), 0u);
      ASSERT_EQ(ix[at + 8], 4);
      ASSERT_EQ(std::string(ix.begin() + at + 9, ix.begin() + at + 13), Digits(n));
    }
  }
  // Only the used part of a page is written: the rest of its slot is zero.
  for (size_t at = 2988 + 6 + 31 * 19; at < 2988 + 1184; ++at) ASSERT_EQ(ix[at], 0) << at;
  EXPECT_TRUE(Check().ok());
}

TEST_F(BtreeTest, OrderDuplicatesAndStepping) {
  FileBlockHandle fb = Create({{5, 0}, {5, 1}});
  for (const char* k : {"abd", "abc", "ab", "a", "B"}) ASSERT_TRUE(Ok(AddKey, fb, 1, 7, k));
  EXPECT_EQ(ErrorOf(AddKey, fb, 1, 8, "abc"), kErrDuplicateKey);
  EXPECT_EQ(ErrorOf(AddKey, fb, 1, 8, "abcdef"), kErrKeyTooLong);
  std::string key;
  int32_t ref = 0;
  ClearKey(fb, 1);
  std::vector<std::string> order;
  for (NextKey(fb, 1, ref, key); EngineOK; NextKey(fb, 1, ref, key)) order.push_back(key);
  EXPECT_EQ(EngineError, kErrNoNextKey);
  EXPECT_EQ(order, (std::vector<std::string>{"B", "a", "ab", "abc", "abd"}));
  EXPECT_TRUE(Ok(PrevKey, fb, 1, ref, key));
  EXPECT_EQ(key, "abd");
  PrevKey(fb, 1, ref, key);
  EXPECT_EQ(key, "abc");
  NextKey(fb, 1, ref, key);
  EXPECT_EQ(key, "abd") << "next after prev moves forward again";

  for (int32_t r : {30, 10, 20}) AddKey(fb, 2, r, "dup");
  EXPECT_EQ(ErrorOf(AddKey, fb, 2, 10, "dup"), kErrDuplicateKey) << "same key and ref";
  EXPECT_TRUE(Ok(FindKey, fb, 2, ref, "dup"));
  EXPECT_EQ(ref, 10);
  NextKey(fb, 2, ref, key);
  EXPECT_EQ(ref, 20);
  EXPECT_EQ(ErrorOf(FindKey, fb, 2, ref, "du"), kErrKeyNotFound);
  // FindKeyAndRef: the exact entry (mode 0), else the one before or after.
  for (auto [from, mode, error, want] :
       {std::array{20, 0, 0, 20}, std::array{25, 0, int{kErrKeyRefNotFound}, 0},
        std::array{25, -1, 0, 20}, std::array{25, 1, 0, 30}}) {
    key = "dup";
    ref = from;
    EXPECT_EQ(ErrorOf(FindKeyAndRef, fb, 2, ref, mode, key), error) << from << " mode " << mode;
    if (error == 0) {
      EXPECT_EQ(ref, want) << from << " mode " << mode;
    }
  }
  EXPECT_TRUE(KeyExists(fb, 2, 30, "dup"));
  EXPECT_FALSE(KeyExists(fb, 2, 31, "dup"));
  EXPECT_TRUE(KeyExists(fb, 2, 0, "dup"));
  key = "zzz";
  EXPECT_EQ(ErrorOf(SearchKey, fb, 2, ref, key), kErrSearchPastEnd);
  key = "zzz";
  EXPECT_TRUE(Ok(SearchKeyOrLast, fb, 2, ref, key));
  EXPECT_EQ(ref, 30);
  key = "";
  SearchKeyOrLast(fb, 2, ref, key);
  EXPECT_EQ(ref, 10);
  EXPECT_EQ(ErrorOf(DeleteKey, fb, 2, 99, "dup"), kErrDeleteKeyNotFound);
  EXPECT_EQ(ErrorOf(NextKey, fb, 3, ref, key), kErrKeyNumber);
  CloseFileBlock(fb);
  EXPECT_TRUE(Check().ok());
}

TEST_F(BtreeTest, DeletingEverythingFreesEveryPageForReuse) {
  FileBlockHandle fb = Create({{8, 1}});
  std::mt19937 rng(7);
  std::vector<int> order(3000);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  for (int i : order) AddKey(fb, 1, i + 1, Digits(i % 700, 8));
  ASSERT_TRUE(EngineOK);
  FlushFileBlock(fb);
  const uint32_t highest = Le32(Ix(), 8);
  ASSERT_GT(highest, 50u);
  std::shuffle(order.begin(), order.end(), rng);
  for (int i : order) ASSERT_TRUE(Ok(DeleteKey, fb, 1, i + 1, Digits(i % 700, 8))) << i;
  FlushFileBlock(fb);
  Bytes ix = Ix();
  EXPECT_EQ(Le32(ix, 16), 0u) << "root";
  EXPECT_EQ(Le32(ix, 22), 0u) << "entries";
  EXPECT_EQ(Le32(ix, 4), highest) << "every page on the free chain";
  EXPECT_TRUE(Check().ok());
  for (int i = 0; i < 3000; ++i) AddKey(fb, 1, i + 1, Digits(i, 8));
  FlushFileBlock(fb);
  EXPECT_EQ(Le32(Ix(), 8), highest) << "pages come from the free chain";
  CloseFileBlock(fb);
  EXPECT_TRUE(Check().ok());
}

// Fails the n-th write (or forcing) of one key operation, n = 1, 2, ...,
// until it succeeds: each failure must be reported as restored and leave
// both files as they were. The operations split and merge pages.
TEST_F(BtreeTest, SaveModeRestoresEveryInterruptedKeyOperation) {
  FaultLayer faults;
  const std::pair<FaultLayer::Kind, FaultLayer::Mode> cases[] = {
      {FaultLayer::kWrite, FaultLayer::kErrno},
      {FaultLayer::kWrite, FaultLayer::kShort},
      {FaultLayer::kWrite, FaultLayer::kTorn512},
      {FaultLayer::kSync, FaultLayer::kErrno}};
  for (auto [kind, mode] : cases) {
    for (int op = 0; op < 4; ++op) {
      FileBlockHandle fb = Create({{4, 0}, {6, 1}}, true);
      ASSERT_NE(fb, nullptr);
      const int fill = op < 2 ? 62 : 63;  // 62: the next add splits the root
      for (int i = 1; i <= fill; ++i) AddKey(fb, 1, i, Digits(i * 2));
      for (int i = 1; i <= 5; ++i) AddKey(fb, 2, i, "same");
      ASSERT_TRUE(EngineOK);
      const Bytes dat = ReadAll(Name("K.DAT")), ix = Ix();
      SCOPED_TRACE("op " + std::to_string(op));
      auto run = [&](int) {
        switch (op) {
          case 0:
            return AddKey(fb, 1, 99, Digits(63));  // splits the root
          case 1:
            return AddKey(fb, 2, 3, "samf");  // a plain insert
          case 2:
            return DeleteKey(fb, 1, 1, Digits(2));  // merges into the root
          default:
            return DeleteKey(fb, 2, 3, "same");
        }
      };
      auto restored = [&](int) {
        EXPECT_EQ(EngineError, op < 2 ? kErrAddKeyRestored : kErrDeleteKeyRestored);
        EXPECT_EQ(ReadAll(Name("K.DAT")), dat);
        // A page's bytes past its used part keep what the failed write left:
        // the log holds only the used part, as it is all that means anything.
        Bytes now = Ix();
        ASSERT_EQ(now.size(), ix.size());
        for (size_t row = 1; row * 1748 < ix.size(); ++row)
          for (auto [offset, stride] : {std::pair<size_t, size_t>{0, 13}, {812, 15}}) {
            const size_t at = row * 1748 + offset;
            const size_t used = std::min<size_t>(6 + Le16(ix, at) * stride, stride * 62 + 6);
            std::copy(ix.begin() + at + used, ix.begin() + at + (stride * 62 + 6),
                      now.begin() + at + used);
          }
        EXPECT_TRUE(now == ix);
      };
      EXPECT_GT(FailEachCall(faults, kind, mode, run, restored), 0);
      CloseFileBlock(fb);
      EXPECT_TRUE(Check().ok());
    }
  }
}

// --- Model-based random test ------------------------------------------------

struct ModelIndex {
  ModelIndex(int length, bool dup) : keyLength(length), duplicates(dup) {}
  int keyLength;
  bool duplicates;
  std::set<std::pair<std::string, int32_t>> entries;
  bool hasCursor = false;
  std::pair<std::string, int32_t> cursor;
};

std::string RandomKey(std::mt19937& rng, int maxLength) {
  static const char alphabet[] = {'a', 'b', 'B', '\0', '\xFF', 'c', 'z', '\x80'};
  const int length = rng() % 4 == 0 ? 1 + static_cast<int>(rng() % maxLength)
                                    : 1 + static_cast<int>(rng() % std::min(maxLength, 3));
  std::string k;
  for (int i = 0; i < length; ++i) k += alphabet[rng() % sizeof alphabet];
  return k;
}

void RunModel(FileBlockHandle& fb, uint32_t seed, int operations, std::vector<ModelIndex>& model,
              const std::function<FileBlockHandle()>& reopen,
              const std::function<CheckReport()>& check) {
  std::mt19937 rng(seed);
  for (int op = 0; op < operations; ++op) {
    const int k = 1 + static_cast<int>(rng() % model.size());
    ModelIndex& m = model[k - 1];
    auto& e = m.entries;
    const bool draining = op > operations * 6 / 10;
    const int kind = static_cast<int>(rng() % 100);
    std::string key;
    int32_t ref = 0;
    auto where = [&] {
      return ::testing::Message() << "seed " << seed << " op " << op << " index " << k;
    };
    auto findKey = [&](const std::string& kk) {
      auto it = e.lower_bound({kk, INT32_MIN});
      return it != e.end() && it->first == kk ? it : e.end();
    };
    if (kind < (draining ? 25 : 45)) {  // add
      key = RandomKey(rng, m.keyLength);
      ref = 1 + static_cast<int32_t>(rng() % 100000);
      const bool present = m.duplicates ? e.count({key, ref}) > 0 : findKey(key) != e.end();
      ASSERT_EQ(ErrorOf(AddKey, fb, k, ref, key), present ? kErrDuplicateKey : 0) << where();
      if (!present) e.insert({key, ref});
      if (!m.hasCursor) ClearKey(fb, k);
    } else if (kind < (draining ? 70 : 60)) {  // delete an entry, or a missing one
      if (!e.empty() && rng() % 8 != 0) {
        auto it = e.begin();
        std::advance(it, rng() % std::min<size_t>(e.size(), 64));
        if (rng() % 2)
          it = std::prev(e.end(), 1 + static_cast<long>(rng() % std::min<size_t>(e.size(), 64)));
        ASSERT_EQ(ErrorOf(DeleteKey, fb, k, it->second, it->first), 0) << where();
        e.erase(it);
      } else {
        key = RandomKey(rng, m.keyLength);
        ref = 100001;
        const auto it = findKey(key);
        const bool present = !m.duplicates && it != e.end();
        ASSERT_EQ(ErrorOf(DeleteKey, fb, k, ref, key), present ? 0 : kErrDeleteKeyNotFound)
            << where();
        if (present) e.erase(it);
      }
      if (!m.hasCursor) ClearKey(fb, k);
    } else if (kind < 78) {  // find the key, or search the first entry at or above it
      const bool find = kind < 70;
      const std::string asked = key = RandomKey(rng, m.keyLength);
      const auto it = find ? findKey(asked) : e.lower_bound({asked, INT32_MIN});
      const int32_t want = it != e.end() ? 0 : find ? kErrKeyNotFound : kErrSearchPastEnd;
      ASSERT_EQ(find ? ErrorOf(FindKey, fb, k, ref, asked) : ErrorOf(SearchKey, fb, k, ref, key),
                want)
          << where();
      m.hasCursor = want == 0;
      if (m.hasCursor) {
        ASSERT_EQ(std::make_pair(key, ref), *it) << where();
        m.cursor = *it;
      } else {
        ClearKey(fb, k);
      }
    } else if (kind < 98) {  // next or prev
      const bool next = rng() % 2;
      // Where the step lands; without duplicates the engine steps by key.
      const auto& c = m.cursor;
      const auto above = m.duplicates ? e.upper_bound(c) : e.upper_bound({c.first, INT32_MAX});
      const auto below = m.duplicates ? e.lower_bound(c) : e.lower_bound({c.first, INT32_MIN});
      auto it = next ? (m.hasCursor ? above : e.begin()) : (m.hasCursor ? below : e.end());
      if (!next) it = it == e.begin() ? e.end() : std::prev(it);
      std::tie(key, ref) = c;
      const int32_t want = it != e.end() ? 0 : next ? kErrNoNextKey : kErrNoPrevKey;
      ASSERT_EQ(ErrorOf(next ? NextKey : PrevKey, fb, k, ref, key), want)
          << where() << " cursor " << m.hasCursor << " '" << m.cursor.first << "' "
          << m.cursor.second << " got '" << key << "' " << ref << " size " << e.size();
      m.hasCursor = want == 0;
      if (m.hasCursor) {
        ASSERT_EQ(std::make_pair(key, ref), *it) << where();
        m.cursor = *it;
      }
    } else if (kind < 99) {  // clear
      ClearKey(fb, k);
      m.hasCursor = false;
    } else if (rng() % 20 == 0) {  // close and reopen
      ASSERT_TRUE(Ok(CloseFileBlock, fb)) << where();
      fb = reopen();
      ASSERT_NE(fb, nullptr) << where();
      for (auto& x : model) x.hasCursor = false;
    }
    if (op % 5000 == 4999 || op == operations - 1) {
      ASSERT_TRUE(Ok(FlushFileBlock, fb));
      const CheckReport r = check();
      ASSERT_TRUE(r.ok()) << where() << ": " << r.faults.front();
      for (size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(r.indexEntries[i], model[i].entries.size()) << where();
    }
  }
}

void RunSeeds(BtreeTest& t, std::vector<uint32_t> seeds, int operations, bool saveMode = false) {
  if (const char* s = std::getenv("QORVEX_SEED"))
    seeds = {static_cast<uint32_t>(std::strtoul(s, nullptr, 10))};
  if (const char* s = std::getenv("QORVEX_OPERATIONS")) operations = std::atoi(s);
  for (uint32_t seed : seeds) {
    std::printf("model seed %u, %d operations\n", seed, operations);
    std::vector<ModelIndex> model = {{1, true}, {5, false}, {20, true}, {50, false}, {3, false}};
    std::vector<KeyDescriptor> keys;
    for (const ModelIndex& m : model)
      keys.push_back({static_cast<uint8_t>(m.keyLength), m.duplicates});
    FileBlockHandle fb = t.Create(keys, saveMode);
    ASSERT_NE(fb, nullptr);
    RunModel(
        fb, seed, operations, model, [&] { return t.Reopen(saveMode); }, [&] { return t.Check(); });
    CloseFileBlock(fb);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// 4 x 50,000 with the program's 160 buffers; failing seeds found later go
// into these lists.
TEST_F(BtreeTest, RandomOperationsMatchAModel) {
  RunSeeds(*this, {1, 2, 3, 4}, 50000);
}

// The smallest cache: pages are written back and re-read all the time.
class SmallCacheBtreeTest : public BtreeTest {
 protected:
  SmallCacheBtreeTest() { buffers_ = 8; }
};
TEST_F(SmallCacheBtreeTest, RandomOperationsMatchAModel) {
  RunSeeds(*this, {11, 12}, 30000);
}

// Save mode logs and forces every change: the same operations through it.
TEST_F(SmallCacheBtreeTest, RandomOperationsMatchAModelInSaveMode) {
  RunSeeds(*this, {21, 22}, 40000, true);
}

}  // namespace
}  // namespace qorvex::isam::testing
