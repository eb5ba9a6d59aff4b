// SPDX-License-Identifier: GPL-3.0-or-later
// engine.cpp's steps shared by the engine's units: the started flag, the open
// list, the entry check and exit step around every operation, the
// variable-record work buffer (isam layer).
#pragma once

#include <cstddef>
#include <cstdint>

#include "isam/fileblock.h"

namespace qorvex::isam {

extern bool defaultImplicitPosition;

// Entry check and exit step around one operation (flags: 0x100 write lock,
// 0x200 automatic read lock, 0x400 key number, 0x800 not read-only; the
// low byte is the key number).
class Operation {
 public:
  Operation(TFileBlock* fb, uint16_t flags);
  ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  bool ok() const { return EngineOK; }

 private:
  TFileBlock* fb_;
  bool checked_ = false;  // passed the handle check: the exit step applies
  bool autoLock_ = false;
};
constexpr uint16_t kNeedWriteLock = 0x100, kAutoReadLock = 0x200, kCheckKey = 0x400,
                   kNotReadOnly = 0x800;
// The operation is engine-wide: it takes NoFileBlock().
constexpr uint16_t kEngineWide = 0x1000;

void RegisterOpen(TFileBlock* fb);
bool UnregisterOpen(TFileBlock* fb);  // false when not in the open list
// Grows the variable-record work buffer to at least n bytes (10040).
bool GrowVariableBuffer(size_t n, uint8_t*& buffer);

}  // namespace qorvex::isam
