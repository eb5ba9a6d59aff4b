// SPDX-License-Identifier: GPL-3.0-or-later
// File-block driver (storage layer): one driver object per file block
// between the typed databases and the engine. It opens the engine block only
// when an operation needs it (keeping at most a fixed number of engine files
// open, closing others in ring order), creates or rebuilds unusable files,
// retries locked operations, numbers records, keeps the indexes in step with
// the records and records every failure in the error stack.
//
// Every public operation runs as: Enter (clear the stack, note the
// operation, check and open as its code's high nibble asks), the work when
// the error level is still 0, Leave (an error level above 2 raises
// EDBError; the in-operation flag then stays set, so the next operation
// records kDriverReentered and does nothing). Results are read from
// ErrorLevel(); the boolean returned is ErrorLevel() == 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "isam/engine.h"
#include "storage/debugstack.h"
#include "storage/retry_policy.h"

namespace qorvex {

// The key a record image has in an index (at most 50 characters are used).
using DriverKeyBuilder =
    std::function<void(const uint8_t* record, uint16_t index, std::string& key)>;
// Told once per rebuild that moved records to the block's ".MSG" file
// (their unique key was taken): the block's file name and the count.
using RebuildNotice = std::function<void(const std::string& fileName, int32_t dropped)>;
void SetRebuildNotice(RebuildNotice notice);
// Called during rebuilds with a phase number and a record count.
using ProgressHook = std::function<void(int phase, int32_t count)>;

// The folder relative file names resolve against (default: the current
// directory at the first use), with its trailing '/'.
void SetProgramFolder(std::string folder);
const std::string& ProgramFolder();

// Five characters that sort, as unsigned bytes, like the signed numbers.
std::string LongToKey(int32_t v);
int32_t KeyToLong(std::string_view key);

// Block names compare after this mapping: a-z to A-Z, 0x84 to 0x8E, 0x94 to
// 0x99, cut to 40 characters.
std::string BlockNameKey(std::string_view name);

// An empty data file (a crash while it was written) gives way to its backup
// ".ALT", and the index goes with it; path without extension.
void RestoreEmptyDataFile(const std::string& path);

// 0 when the open engine block has this layout (record length, and per
// index key length and duplicates), else the difference:
// kDriverRecordLengthDiffers or kDriverIndexLayoutDiffers.
int32_t LayoutDifference(FileBlockHandle fb, uint16_t sectionLength,
                         std::span<const KeyDescriptor> keys);

// How Open sets up a block (the arguments after its names).
struct BlockOptions {
  bool readOnly = false;
  bool shared = false;  // opened by other programs too (network locks)
  bool variableLength = false;
  bool rebuildAllowed = false;  // missing files may be made or rebuilt
  uint16_t sectionLength = 0;   // the engine's record length
  uint16_t indexCount = 0;
  uint8_t* recordBuffer = nullptr;  // nullptr: the driver keeps its own
  uint16_t recordLength = 0;        // the buffer's length
  DriverKeyBuilder keyBuilder;
  uint16_t retryCount = 32;
};

// Operation codes (recorded in the error stack).
enum DriverOp : uint16_t {
  kOpStart = 0x26,
  kOpOpen = 0x27,
  kOpStop = 0x60,
  kOpFindByName = 0x65,
  kOpDestroy = 0x1028,
  kOpDefineKey = 0x1029,
  kOpSetAutoNumber = 0x102A,
  kOpSetVarLength = 0x1033,
  kOpClearBuffer = 0x1034,
  kOpDeleteFiles = 0x1052,
  kOpReplaceFiles = 0x1053,
  kOpGetBuffer = 0x105A,
  kOpSetProgressHook = 0x1066,
  kOpUpdate = 0x4007,
  kOpNext = 0x4009,
  kOpDelete = 0x400D,
  kOpAdd = 0x400E,
  kOpSearch = 0x4010,
  kOpFindKey = 0x4012,
  kOpFirst = 0x401B,
  kOpLast = 0x401C,
};

class IFbiDriver {
 public:
  virtual ~IFbiDriver() = default;
  virtual bool ShouldRetry() = 0;
  // The block's key builder, its result cut to 50 characters.
  virtual std::string BuildKey(const uint8_t* record, uint16_t index);
  // Builds the files: a missing data file is created empty, an existing one
  // keeps its records and gets a new index.
  virtual bool CreateFiles();

 protected:
  IFbiDriver() = default;
  friend class IFDriver;
  std::vector<KeyDescriptor> KeyDescriptors() const;

  struct KeyEntry {
    uint8_t defined = 0;
    uint8_t keyLength = 0;
    bool duplicates = false;
    uint8_t* numberField = nullptr;  // automatic number inside the record buffer
    int32_t startValue = 1;
    int32_t increment = 1;
  };

  // Block descriptor.
  FileBlockHandle handle_ = nullptr;
  std::string fileName_;   // full path without extension
  std::string blockName_;  // BlockNameKey of the name given
  bool readOnly_ = false;
  bool shared_ = false;
  bool mustExist_ = false;
  bool variableLength_ = false;
  uint16_t sectionLength_ = 0;
  uint16_t indexCount_ = 0;
  std::vector<KeyEntry> keys_;  // [k - 1] describes index k
  uint8_t* buffer_ = nullptr;
  std::vector<uint8_t> ownBuffer_;  // the buffer when none was given
  // The record as last read or written: its stored bytes, zero after them.
  // Invariant: the bytes from snapshotUsed_ on are zero.
  std::vector<uint8_t> snapshot_;
  uint16_t snapshotUsed_ = 0;
  uint16_t recordLength_ = 0;
  int32_t currentRef_ = -1;
  int32_t readRef_ = -1;
  uint16_t varLength_ = 0, readLength_ = 0, maxLength_ = 0;
  RetryHandler retryHandler_;
  DriverKeyBuilder keyBuilder_;
  uint16_t retryCount_ = 32;
  uint32_t magic_ = 0;
  uint16_t currentIndex_ = 0;
  bool rebuildAllowed_ = false;
  IFDriver** owner_ = nullptr;
  ProgressHook progress_;
  uint16_t waitCounter_ = 0;
};

class IFDriverLow : public IFbiDriver {
 public:
  ~IFDriverLow() override;
  bool ShouldRetry() override;
  virtual void FreeKeyTable();
};

class IFDriver : public IFDriverLow {
 public:
  static constexpr uint32_t kMagic = 0x11915158;

  IFDriver() = default;
  ~IFDriver() override;
  IFDriver(const IFDriver&) = delete;
  IFDriver& operator=(const IFDriver&) = delete;

  // owner: the variable that holds this driver (the registry's entry).
  bool Open(IFDriver** owner, std::string_view blockName, std::string_view fileName,
            BlockOptions options);
  bool Open(IFDriver** owner, std::string_view blockName, std::string_view fileName, bool readOnly,
            bool shared, bool variableLength, bool rebuildAllowed, uint16_t sectionLength,
            uint16_t indexCount, uint8_t* recordBuffer, uint16_t recordLength,
            DriverKeyBuilder keyBuilder, uint16_t retryCount);
  bool DefineKey(uint16_t index, uint8_t keyLength, bool duplicates);
  // field: a 32-bit field inside the record buffer.
  bool SetAutoNumber(uint16_t index, uint8_t* field);
  bool SetVarLength(uint16_t length);
  bool ClearBuffer();
  uint8_t* GetBuffer();
  bool SetProgressHook(ProgressHook hook);
  bool DeleteFiles();
  // Puts the block staged under StagingName(fileName()), built and closed,
  // in place of this block's files (closing its engine block first).
  bool ReplaceFiles();

  bool Add();
  bool Update();
  // mode: 0 none, 1 Last, 2 First, 3 Next, 4 previous entry.
  bool Delete(int mode);
  bool First(uint16_t index);
  bool Last(uint16_t index);
  bool Next(uint16_t index);
  bool FindKey(uint16_t index, std::string_view key);
  bool Search(uint16_t index, std::string_view key);

  static bool Start(uint8_t networkKind, int32_t pageBuffers, int32_t maxFiles);
  static bool Stop();
  static bool Started();
  static IFDriver** FindByName(std::string_view blockName);

  uint16_t shareCount = 0;

  // Read access for the typed layer and the tools.
  const std::string& blockName() const { return blockName_; }
  bool valid() const { return owner_ != nullptr && magic_ == kMagic; }
  bool engineOpen() const { return handle_ != nullptr; }
  bool shared() const { return shared_; }
  // Does this program hold a lock on the block?
  bool HoldsLocks() const;
  // Engine files this block uses while open.
  int FilesNeeded() const { return 1 + (indexCount_ > 0 ? 1 : 0) + (shared_ ? 1 : 0); }

 private:
  bool Enter(uint16_t code);
  bool Leave(bool navigation);
  // Records a failure of this block.
  void Fail(int32_t number, int32_t severity = 0, int32_t step = 0, int32_t ref = 0,
            uint16_t index = 0);
  // Runs an engine call in the retry loop; a failure is recorded.
  template <typename F>
  bool Engine(F call, int32_t step, int32_t ref = 0, uint16_t index = 0, int32_t severity = 0);
  template <typename F>
  bool Retried(F call, uint16_t waitStart = 0);

  bool EnsureOpen();
  bool OpenEngineBlock();
  bool ValidateDescriptor();
  int32_t CompareLayout();
  void CloseEngineBlock();
  bool CheckIndex(uint16_t index);

  bool ReadRecord(int32_t ref, uint16_t index);
  bool AutoNumber();
  bool DoAdd();
  bool DoUpdate();
  bool DoDelete(int mode);
  bool Reposition(int mode, const std::string& key, int32_t ref);
  bool SameAsSnapshot() const;
  // Copies the length stored bytes of the buffer into the snapshot.
  void TakeSnapshot(uint16_t length);
  bool ReRead(std::vector<uint8_t>& out, uint16_t& length, bool& deleted);
  bool LockForChange(bool& taken);
  void Unlock(bool taken);

  static bool EnterProgram(uint16_t code);
  static bool LeaveProgram();

  // The file name as the error stack's entries see it: alive while the
  // block is open.
  std::shared_ptr<const std::string> fileTag_;
};

}  // namespace qorvex
