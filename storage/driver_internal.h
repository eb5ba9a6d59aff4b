// SPDX-License-Identifier: GPL-3.0-or-later
// What the driver's units share (storage layer; included by the driver's
// own .cpp files only): the program-wide state, small helpers, and the
// retry loop every engine call runs in.
#pragma once

#include <sys/types.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/ifdriver.h"

namespace qorvex {
namespace driver {

inline constexpr bool kHaltOnFatal = true;
inline constexpr int kMaxKeyText = 50;

// Program-wide state (driver_pool.cpp).
extern bool started;
extern bool inOperation;
// The owner variables of the open blocks, in the order opened.
extern std::vector<IFDriver**>& registry;

inline DebugStack& Stack() {
  return CurrentDebugStack();
}
// Records a program-wide failure (no block).
inline void RecordProgram(int32_t number, int32_t severity = 0) {
  Stack().Record(nullptr, severity, 0, 0, 0, number);
}

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool IsFile(const std::string& path, off_t* size = nullptr);
// Holds h any lock? The engine's status stays untouched.
bool BlockLocked(FileBlockHandle h);
// Does this program hold a lock on a shared block other than self?
bool LocksElsewhere(const IFbiDriver* self);

}  // namespace driver

template <typename F>
bool IFDriver::Retried(F call, uint16_t waitStart) {
  waitCounter_ = waitStart;
  do call();
  while (ShouldRetry());
  return EngineOK;
}

template <typename F>
bool IFDriver::Engine(F call, int32_t step, int32_t ref, uint16_t index, int32_t severity) {
  if (Retried(call)) return true;
  Fail(EngineError, severity, step, ref, index);
  return false;
}

}  // namespace qorvex
