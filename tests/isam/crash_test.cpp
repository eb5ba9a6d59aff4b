// SPDX-License-Identifier: GPL-3.0-or-later
// Crash recovery: a child process adds and deletes records and keys in a
// fixed and a variable block and is killed with SIGKILL at a random moment.
// Without save mode it reports each flush, and after the kill the blocks are
// rebuilt: every flushed operation must be there and nothing else damaged.
// In save mode it reports each operation, and the blocks open without a
// rebuild. QORVEX_KILLS sets the number of kills per mode (default 160),
// QORVEX_SEED the seed of the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "isam/check.h"
#include "tests/isam/crash_model.h"
#include "tests/isam/peer.h"
#include "tests/isam/testutil.h"

namespace qorvex::isam::testing {
namespace {

using namespace crash;

struct Totals {
  int kills = 0, rebuilt = 0, cleanOpens = 0;
  uint64_t operations = 0;
};

class CrashTest : public EngineTest {
 protected:
  // Runs the child until it has been killed; returns the last operation it
  // reported complete (0 when none).
  uint32_t RunAndKill(const std::string& dir, uint32_t seed, int flushEvery, bool saveMode,
                      int runMicros) {
    Peer child;
    child.Send("crash " + dir + " " + std::to_string(seed) + " " + std::to_string(flushEvery) +
               " " + (saveMode ? "1" : "0"));
    EXPECT_EQ(child.ReadLine(), "R");
    uint32_t done = 0;
    // The parent sleeps rather than reads meanwhile: woken by each report,
    // it would mostly kill the child just after a flush.
    std::this_thread::sleep_for(std::chrono::microseconds(runMicros));
    child.Kill();
    for (std::string line; !(line = child.ReadLine(0)).empty();)
      if (line.size() > 2 && line[0] == 'D')
        done = std::max<uint32_t>(done, std::stoul(line.substr(2)));
    return done;
  }

  // Opens the block, rebuilding it when it asks for that.
  void Recover(const std::string& name, bool variable, bool saveMode, Totals& totals) {
    FileBlockHandle fb = nullptr;
    if (OpenError(fb, name, {.saveMode = saveMode}) == 0) {
      CloseFileBlock(fb);
      ++totals.cleanOpens;
      return;
    }
    ASSERT_FALSE(saveMode) << "save mode needs no rebuild, open gave " << EngineError;
    ASSERT_EQ(EngineError, kErrMustRebuild);
    variable ? RebuildVariableFileBlock(name, kSectionLength, 1, BuildKey, kKeys)
             : RebuildFileBlock(name, kFixedLength, 1, BuildKey, kKeys);
    ASSERT_TRUE(EngineOK) << "rebuild: " << EngineError;
    ++totals.rebuilt;
  }

  // The keys of the block, each with its record checked byte for byte.
  std::set<uint32_t> Keys(const std::string& name, bool variable) {
    std::set<uint32_t> keys;
    FileBlockHandle fb = Open(name);
    if (!EngineOK) return keys;
    int32_t ref = 0;
    std::string key;
    for (SearchKeyOrLast(fb, 1, ref, key); EngineOK; NextKey(fb, 1, ref, key)) {
      const uint32_t i = std::stoul(key.substr(1));
      keys.insert(i);
      Bytes back(kFixedLength);
      variable ? void(back = GetVar(fb, ref, 4096)) : GetRecord(fb, ref, back.data(), false);
      EXPECT_TRUE(EngineOK) << name << " key " << key << " ref " << ref << ": " << EngineError;
      EXPECT_EQ(back, variable ? VariableRecord(i) : FixedRecord(i)) << name << " key " << key;
    }
    // The end of the index (an empty one has no first entry).
    EXPECT_EQ(EngineError, keys.empty() ? EngineError : kErrNoNextKey);
    CloseFileBlock(fb);
    return keys;
  }

  void Run(bool saveMode) {
    const char* killsSet = std::getenv("QORVEX_KILLS");
    const int kills = killsSet ? std::max(1, std::atoi(killsSet)) : 160;
    const char* fixed = std::getenv("QORVEX_SEED");  // replays a failing cycle
    const uint32_t base = fixed ? static_cast<uint32_t>(std::stoul(fixed)) : std::random_device{}();
    std::printf("seed base %u (%s), %d kills\n", base, saveMode ? "save mode" : "flushes", kills);
    std::mt19937 rng(base);
    Totals totals;
    for (int cycle = 0; cycle < kills && !HasFatalFailure(); ++cycle) {
      const uint32_t seed = base + cycle;
      SCOPED_TRACE("seed " + std::to_string(seed));
      TempDir dir(FastStorage());
      for (const char* block : {"F", "V"}) {
        CreateFileBlock(dir / block, block[0] == 'F' ? kFixedLength : kSectionLength, 1, kKeys);
        ASSERT_TRUE(EngineOK);
      }
      const int flushEvery = 1 + static_cast<int>(rng() % 8);
      const int runMicros = 2000 + static_cast<int>(rng() % 40000);
      const uint32_t done = RunAndKill(dir.path(), seed, flushEvery, saveMode, runMicros);
      ++totals.kills;
      totals.operations += done;

      // What the model says: the keys live after the last reported
      // operation must be there, except those that the operations the child
      // may have run after it deleted; the keys they added may be there.
      Workload work(seed);
      while (work.done() < done) work.Next();
      std::set<uint32_t> kept(work.live().begin(), work.live().end());
      std::set<uint32_t> possible = kept;
      for (int extra = 0; extra < 2 * flushEvery + 2; ++extra) {
        const Op op = work.Next();
        if (op.add)
          possible.insert(op.key);
        else
          kept.erase(op.key);
      }
      for (const char* block : {"F", "V"}) {
        const bool variable = block[0] == 'V';
        const std::string name = dir / block;
        Recover(name, variable, saveMode, totals);
        if (HasFatalFailure()) return;
        const CheckReport report = CheckFileBlock(name + ".DAT", name + ".IX", {variable, true});
        ASSERT_TRUE(report.ok()) << name << ": " << report.faults.front();
        const std::set<uint32_t> keys = Keys(name, variable);
        for (uint32_t k : kept) ASSERT_TRUE(keys.count(k)) << name << " lost key " << k;
        for (uint32_t k : keys) ASSERT_TRUE(possible.count(k)) << name << " has key " << k;
      }
    }
    std::printf("%d kills, %llu operations reported, %d rebuilds, %d clean opens\n", totals.kills,
                static_cast<unsigned long long>(totals.operations), totals.rebuilt,
                totals.cleanOpens);
    EXPECT_GT(totals.operations, 0u);
    if (!saveMode) {
      EXPECT_GT(totals.rebuilt, 0);
    }
  }
};

TEST_F(CrashTest, FlushedOperationsSurviveAKillAndARebuild) {
  Run(false);
}

TEST_F(CrashTest, SaveModeOperationsSurviveAKillWithoutARebuild) {
  Run(true);
}

}  // namespace
}  // namespace qorvex::isam::testing
