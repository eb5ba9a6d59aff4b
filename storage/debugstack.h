// SPDX-License-Identifier: GPL-3.0-or-later
// Error stack of the storage layer: every failure of a driver operation is
// recorded here with its severity; the error level (the highest severity
// since the operation began) tells the typed layer whether it succeeded, a
// level above 2 becomes an EDBError, and a fatal level left at program end
// is written to the dump file.
//
// Severity: 1 not found (harmless), 2 busy or locked, 3 and above fatal;
// an error recorded without one gets ErrorClassOf(number) (isam/errors.h).
// Invariants:
//  1. count <= 4; a fifth entry overwrites entry 4.
//  2. ErrorLevel() == the highest severity of the entries since Clear.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace qorvex {

class IFDriver;
// The variable that holds a block's driver: it names the block in entries.
using DriverOwner = IFDriver* const*;
// A block's file name as its driver hands it to the stack: it expires when
// the driver closes, so a dump names only blocks that are still open and
// the stack never calls back into the driver.
using BlockFileTag = std::weak_ptr<const std::string>;

struct TErrorEntry {
  int32_t severity = 0;
  int32_t number = 0;
  uint16_t index = 0;
  int32_t reference = 0;
  uint16_t mainOperation = 0;
  uint16_t subOperation = 0;
  int32_t step = 0;
  uint8_t marker = 0;
  uint16_t osError = 0;     // the engine's first OS error (low 16 bits)
  uint16_t osFunction = 0;  // the engine's first failed OS function code
  DriverOwner owner = nullptr;
  BlockFileTag file;  // the block's file name while it is open
};

// The local date and time a dump is stamped with.
struct DumpTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  static DumpTime Now();
};

// A dump file keeps its newest dumps within this size (the oldest go first).
inline constexpr size_t kMaxDumpBytes = size_t{1} << 20;

class DebugStack {
 public:
  static constexpr int kMaxEntries = 4;
  static constexpr const char* kDefaultDumpName = "IFDErr.Dmp";

  virtual ~DebugStack() = default;

  // severity 0: computed from the number. Engine status fields come from
  // the engine's first-error copies.
  void Record(DriverOwner owner, int32_t severity, int32_t step, int32_t reference, uint16_t index,
              int32_t number, BlockFileTag file = {});
  // Count 0, error level 0, engine status cleared, first block forgotten;
  // the delete-key flag and the dump name stay.
  void Clear();
  void SetMainOperation(uint16_t code) { mainOperation_ = code; }
  // Returns the previous sub operation, for nested steps to restore.
  uint16_t SetSubOperation(uint16_t code);
  void SetFirstBlock(DriverOwner owner, BlockFileTag file = {});
  void SetDeleteKeyFlag() { deleteKey_ = true; }
  bool deleteKeyFlag() const { return deleteKey_; }
  void SetDumpFileName(std::string name) { dumpFileName_ = std::move(name); }
  const std::string& dumpFileName() const { return dumpFileName_; }

  int count() const { return count_; }
  const TErrorEntry& entry(int i) const { return entries_[i - 1]; }  // 1..count
  // The entry with the highest severity, the first among equals; nullptr
  // when there is none.
  const TErrorEntry* Worst() const;

  // The dump's text (lines end with CR LF), without the delete-key line.
  std::string DumpText(const DumpTime& when) const;
  // Appends the dump when the error level is above 2, then the line
  // "PosErrorDeleteKey" when the flag is set. Creates the file if needed.
  void WriteDump(const DumpTime& when) const;

 private:
  uint8_t count_ = 0;
  std::array<TErrorEntry, kMaxEntries> entries_{};
  bool deleteKey_ = false;
  DriverOwner firstBlock_ = nullptr;
  BlockFileTag firstFile_;
  std::string dumpFileName_ = kDefaultDumpName;
  uint16_t mainOperation_ = 0, subOperation_ = 0;
};

// The current error stack of the program (a default one until replaced).
DebugStack& CurrentDebugStack();
// Makes stack current (nullptr: the default one again). The caller keeps
// ownership and keeps it alive while it is current.
void SetCurrentDebugStack(DebugStack* stack);
// The highest severity recorded since the current operation began.
int32_t ErrorLevel();

// Raised when a driver operation leaves with an error level above 2.
class EDBError : public std::runtime_error {
 public:
  EDBError(int32_t level, int32_t number, const std::string& blockName);
  int32_t severity() const { return severity_; }
  // The number recorded (the message shows a driver number's low 12 bits).
  int32_t number() const { return number_; }
  const std::string& blockName() const { return blockName_; }

 private:
  int32_t severity_;
  int32_t number_;
  std::string blockName_;
};

}  // namespace qorvex
