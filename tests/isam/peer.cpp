// SPDX-License-Identifier: GPL-3.0-or-later
// A station for the multi-process tests: reads one command per line from
// standard input, runs it on the engine and answers one line
// "<engine error> <value> <milliseconds>". The crash workload instead runs
// until the process is killed, telling the parent what it completed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "isam/engine.h"
#include "tests/isam/crash_model.h"

namespace {

using namespace qorvex;
using namespace qorvex::isam::testing;
using Clock = std::chrono::steady_clock;

FileBlockHandle fb = nullptr;

void Say(const std::string& line) {
  const std::string out = line + "\n";
  (void)!write(1, out.data(), out.size());
}

// One increment of record 1's counter; true when it landed, false when a
// lock was busy (the caller tries again).
bool Increment(bool recordLock) {
  uint8_t r[crash::kFixedLength];
  recordLock ? LockRecord(fb, 1) : LockFileBlock(fb);
  if (!EngineOK) return false;
  GetRecord(fb, 1, r, !recordLock);
  bool ok = EngineOK;
  if (ok) {
    uint64_t n = 0;
    std::memcpy(&n, r + 40, 8);
    ++n;
    std::memcpy(r + 40, &n, 8);
    PutRecord(fb, 1, r, recordLock);
    ok = EngineOK;
  }
  recordLock ? UnlockRecord(fb, 1) : UnlockFileBlock(fb);
  if (!ok || !EngineOK) {
    std::fprintf(stderr, "increment failed: %d\n", EngineError);
    _exit(3);
  }
  return true;
}

// Runs an engine operation; a failure ends the process (exit code 2).
template <class F, class... A>
void Must(const char* what, F&& operation, A&&... args) {
  operation(std::forward<A>(args)...);
  if (!EngineOK) std::fprintf(stderr, "%s: %d\n", what, EngineError), _exit(2);
}

[[noreturn]] void CrashWorkload(const std::string& dir, uint32_t seed, int flushEvery,
                                bool saveMode) {
  InitEngine(0, 32);
  FileBlockHandle fixed = nullptr, variable = nullptr;
  Must("open F", [&] { OpenFileBlock(fixed, dir + "/F", {.saveMode = saveMode}); });
  Must("open V", [&] { OpenFileBlock(variable, dir + "/V", {.saveMode = saveMode}); });
  Say("R");
  crash::Workload work(seed);
  std::map<uint32_t, std::pair<int32_t, int32_t>> refs;  // key -> (fixed, variable)
  for (;;) {
    const crash::Op op = work.Next();
    const std::string key = crash::KeyOf(op.key);
    if (op.add) {
      std::vector<uint8_t> f = crash::FixedRecord(op.key), v = crash::VariableRecord(op.key);
      int32_t rf = 0, rv = 0;
      Must("add fixed", AddRecord, fixed, rf, f.data());
      Must("key fixed", AddKey, fixed, 1, rf, key);
      Must("add variable", AddVariableRecord, variable, rv, v.data(), uint32_t(v.size()));
      Must("key variable", AddKey, variable, 1, rv, key);
      refs[op.key] = {rf, rv};
    } else {
      const auto [rf, rv] = refs[op.key];
      refs.erase(op.key);
      Must("delete key fixed", DeleteKey, fixed, 1, rf, key);
      Must("delete fixed", DeleteRecord, fixed, rf);
      Must("delete key variable", DeleteKey, variable, 1, rv, key);
      Must("delete variable", DeleteVariableRecord, variable, rv);
    }
    // Save mode reports every operation; otherwise each flush.
    const bool flush = !saveMode && work.done() % flushEvery == 0;
    if (flush) Must("flush fixed", FlushFileBlock, fixed);
    if (flush) Must("flush variable", FlushFileBlock, variable);
    if (saveMode || flush) Say("D " + std::to_string(work.done()));
  }
}

std::string Reply(int64_t value, Clock::time_point start) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return std::to_string(EngineOK ? 0 : EngineError) + " " + std::to_string(value) + " " +
         std::to_string(ms);
}

}  // namespace

int main() {
  // The commands that only call the engine on the block, or on a record.
  const std::map<std::string, void (*)(FileBlockHandle)> onBlock = {{"lock", LockFileBlock},
                                                                    {"rlock", ReadLockFileBlock},
                                                                    {"unlock", UnlockFileBlock},
                                                                    {"close", CloseFileBlock}};
  const std::map<std::string, void (*)(FileBlockHandle, int32_t)> onRecord = {
      {"lockrec", LockRecord}, {"unlockrec", UnlockRecord}};
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd, arg, flag;
    in >> cmd >> arg;
    const auto start = Clock::now();
    int64_t value = 0;
    if (cmd == "open") {
      static bool started = false;
      if (!started && InitEngine(2, 64) == 0) {
        Say(Reply(0, start));
        continue;
      }
      started = true;
      in >> flag;  // "save": save mode
      OpenFileBlock(fb, arg, {.network = true, .saveMode = flag == "save"});
    } else if (onBlock.contains(cmd)) {
      onBlock.at(cmd)(fb);
    } else if (onRecord.contains(cmd)) {
      onRecord.at(cmd)(fb, std::stoi(arg));
    } else if (cmd == "add") {
      // The shared block of the lock tests: records of 64 bytes with the key
      // at 4 and a counter at 40; one unique index of 12-byte keys.
      std::vector<uint8_t> r(crash::kFixedLength, 0);
      std::copy(arg.begin(), arg.end(), r.begin() + 4);
      int32_t ref = 0;
      AddRecord(fb, ref, r.data());
      if (EngineOK) AddKey(fb, 1, ref, arg);
      value = ref;
    } else if (cmd == "find") {
      int32_t ref = 0;
      FindKey(fb, 1, ref, arg);
      value = ref;
    } else if (cmd == "get") {
      uint8_t r[crash::kFixedLength];
      GetRecord(fb, std::stoi(arg), r, false);
      uint64_t n = 0;
      std::memcpy(&n, r + 40, 8);
      value = static_cast<int64_t>(n);
    } else if (cmd == "isreclocked") {
      value = IsRecordLocked(fb, std::stoi(arg), false);
    } else if (cmd == "incr") {
      // incr N file|record: N increments, retried while a lock is busy.
      std::string mode;
      in >> mode;
      int busy = 0;
      for (int n = std::stoi(arg); n > 0;)
        if (Increment(mode == "record"))
          --n;
        else
          ++busy;
      ClearStatus();
      value = busy;
    } else if (cmd == "touch") {
      // Opens and closes other descriptors of the block's files.
      for (const char* ext : {".DIA", ".DAT"}) {
        FILE* f = std::fopen((arg + ext).c_str(), "rb");
        if (f != nullptr) std::fclose(f);
      }
      ClearStatus();
    } else if (cmd == "crash") {
      // crash DIR SEED FLUSH-EVERY SAVE-MODE
      uint32_t seed = 0;
      int flushEvery = 1, save = 0;
      in >> seed >> flushEvery >> save;
      CrashWorkload(arg, seed, flushEvery, save != 0);
    } else if (cmd == "exit") {
      return 0;
    } else {
      std::fprintf(stderr, "unknown command %s\n", cmd.c_str());
      return 2;
    }
    Say(Reply(value, start));
  }
  return 0;
}
