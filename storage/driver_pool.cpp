// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's program-wide part: start and stop, the registry of blocks,
// opening a block and its engine files, the pool that keeps at most a fixed
// number of engine files open; see ifdriver.h.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "storage/driver_internal.h"

namespace qorvex {
namespace driver {

bool started = false;
bool inOperation = false;
// Never destroyed: owners in other units may detach while the program ends.
std::vector<IFDriver**>& registry = *new std::vector<IFDriver**>;

namespace {
RebuildNotice rebuildNotice;
std::string programFolder;
// The pool: open engine blocks in a ring of slots.
int maxFiles = 0;
int openCount = 0;
std::vector<IFDriver*>& ring = *new std::vector<IFDriver*>;
size_t ringCursor = 0;
}  // namespace

bool IsFile(const std::string& path, off_t* size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (size) *size = st.st_size;
  return true;
}

bool BlockLocked(FileBlockHandle h) {
  return h != nullptr &&
         (IsFileBlockLocked(h, true) || IsFileBlockReadLocked(h, true) || AnyRecordLocked(h, true));
}

bool LocksElsewhere(const IFbiDriver* self) {
  for (IFDriver** owner : registry)
    if (*owner != nullptr && *owner != self && (*owner)->shared() && (*owner)->HoldsLocks())
      return true;
  return false;
}

}  // namespace driver

using namespace driver;

// --- Program-wide settings ------------------------------------------------------------

void SetProgramFolder(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  programFolder = std::move(folder);
}

const std::string& ProgramFolder() {
  if (programFolder.empty()) {
    char cwd[4096];
    SetProgramFolder(getcwd(cwd, sizeof cwd) ? cwd : ".");
  }
  return programFolder;
}

void RestoreEmptyDataFile(const std::string& path) {
  off_t size = -1;
  if (!IsFile(path + ".DAT", &size) || size != 0) return;
  ::unlink((path + ".DAT").c_str());
  if (IsFile(path + ".ALT") && ::rename((path + ".ALT").c_str(), (path + ".DAT").c_str()) == 0)
    ::unlink((path + ".IX").c_str());
}

void SetRebuildNotice(RebuildNotice notice) {
  rebuildNotice = std::move(notice);
}

// --- Program-wide operations ---------------------------------------------------------

bool IFDriver::Start(uint8_t networkKind, int32_t pageBuffers, int32_t files) {
  if (EnterProgram(kOpStart)) {
    if (started)
      RecordProgram(kDriverStartedTwice);
    else if (kEngineVersion != "05.53")
      RecordProgram(kDriverVersion);
    else if (files < 7)
      RecordProgram(kDriverTooFewFiles);
    if (ErrorLevel() == 0) {
      InitEngine(networkKind, pageBuffers);
      if (!EngineOK)
        RecordProgram(EngineError == kNetErrUnknownKind ? kDriverStartKind : kDriverStartEngine);
    }
    if (ErrorLevel() == 0) {
      try {
        ring.assign(static_cast<size_t>(files), nullptr);
        maxFiles = files;
        openCount = 0;
        ringCursor = 0;
        Stack().SetDumpFileName(DebugStack::kDefaultDumpName);
        started = true;
      } catch (const std::bad_alloc&) {
        RecordProgram(kDriverStartPool);
        ExitEngine();
      }
    }
  }
  return LeaveProgram();
}

bool IFDriver::Stop() {
  if (EnterProgram(kOpStop)) {
    if (!registry.empty()) {
      RecordProgram(kDriverStopRegistered);
    } else {
      ExitEngine();
      if (!EngineOK) RecordProgram(EngineError);
      ring.clear();
      maxFiles = openCount = 0;
      started = false;
    }
  }
  return LeaveProgram();
}

bool IFDriver::Started() {
  return started;
}

IFDriver** IFDriver::FindByName(std::string_view blockName) {
  const std::string key = BlockNameKey(blockName);
  for (IFDriver** owner : registry)
    if (*owner != nullptr && (*owner)->blockName_ == key) return owner;
  RecordProgram(kDriverNoSuchBlock, 1);
  return nullptr;
}

// --- Opening, the pool ---------------------------------------------------------------

bool IFbiDriver::CreateFiles() {
  const std::vector<KeyDescriptor> keys = KeyDescriptors();
  if (progress_)
    SetRebuildProgress([this](uint32_t, uint32_t done, uint32_t, const void*) {
      progress_(1, static_cast<int32_t>(done));
    });
  // The builder sees a whole record image, however short the stored record.
  std::vector<uint8_t> image(recordLength_);
  auto builder = [&](std::span<const uint8_t> record, int k) {
    std::fill(image.begin(), image.end(), 0);
    std::copy_n(record.begin(), std::min(record.size(), image.size()), image.begin());
    return BuildKey(image.data(), static_cast<uint16_t>(k));
  };
  if (!IsFile(fileName_ + ".DAT") && !IsFile(fileName_ + ".SAV")) {
    // Programs sharing the block may start together: the files are made once.
    if (shared_)
      CreateMissingFileBlock(fileName_, sectionLength_, indexCount_, keys);
    else
      CreateFileBlock(fileName_, sectionLength_, indexCount_, keys);
  } else if (variableLength_)
    RebuildVariableFileBlock(fileName_, sectionLength_, indexCount_, builder, keys);
  else
    RebuildFileBlock(fileName_, sectionLength_, indexCount_, builder, keys);
  const bool ok = EngineOK;
  TStatusArea status;
  SaveStatus(status);
  SetRebuildProgress(nullptr);
  const int32_t dropped = LastRebuildOutcome().dropped;
  if (dropped > 0 && rebuildNotice) rebuildNotice(fileName_, dropped);
  RestoreStatus(status);
  return ok;
}

bool IFDriver::Open(IFDriver** owner, std::string_view blockName, std::string_view fileName,
                    bool readOnly, bool shared, bool variableLength, bool rebuildAllowed,
                    uint16_t sectionLength, uint16_t indexCount, uint8_t* recordBuffer,
                    uint16_t recordLength, DriverKeyBuilder keyBuilder, uint16_t retryCount) {
  return Open(owner, blockName, fileName,
              {readOnly, shared, variableLength, rebuildAllowed, sectionLength, indexCount,
               recordBuffer, recordLength, std::move(keyBuilder), retryCount});
}

bool IFDriver::Open(IFDriver** owner, std::string_view blockName, std::string_view fileName,
                    BlockOptions o) {
  owner_ = owner;
  if (EnterProgram(kOpOpen)) {
    Stack().SetFirstBlock(owner);
    // The path: ".DAT" dropped, relative names under the program folder; an
    // empty data file (a crash while it was written) gives way to its backup.
    std::string name(fileName);
    if (name.size() >= 4 && BlockNameKey(name.substr(name.size() - 4)) == ".DAT")
      name.resize(name.size() - 4);
    if (!name.empty() && name[0] != '/') name = ProgramFolder() + name;
    if (!name.empty()) RestoreEmptyDataFile(name);
    const std::string key = BlockNameKey(blockName);
    if (key.empty())
      Fail(kDriverNoBlockName);
    else if (FindByName(key) != nullptr)
      Fail(kDriverRegistered);
    else if (fileName.empty())
      Fail(kDriverNoFileName);
    else if (o.sectionLength < 21)
      Fail(kDriverRecordLength);
    else if (o.indexCount > kMaxIndexes)
      Fail(kDriverTooManyIndexes);
    else if (o.indexCount > 0 && !o.keyBuilder)
      Fail(kDriverNoKeyBuilder);
    else if (o.variableLength && o.sectionLength >= o.recordLength)
      Fail(kDriverVariableSection);
    else if (!o.variableLength && o.sectionLength != o.recordLength)
      Fail(kDriverFixedSection);
    // FindByName's entry (not found, severity 1) is no failure of Open.
    if (ErrorLevel() <= 1) Stack().Clear();
    if (ErrorLevel() == 0) {
      fileName_ = name;
      blockName_ = key;
      readOnly_ = o.readOnly;
      shared_ = o.shared;
      variableLength_ = o.variableLength;
      rebuildAllowed_ = o.rebuildAllowed;
      sectionLength_ = o.sectionLength;
      indexCount_ = o.indexCount;
      recordLength_ = o.recordLength;
      keyBuilder_ = std::move(o.keyBuilder);
      retryCount_ = o.retryCount;
      retryHandler_ = ProgramRetryHandler();
      keys_.assign(o.indexCount, KeyEntry{});
      if (o.recordBuffer == nullptr) {
        ownBuffer_.assign(o.recordLength, 0);
        o.recordBuffer = ownBuffer_.data();
      }
      buffer_ = o.recordBuffer;
      snapshot_.assign(o.recordLength, 0);
      maxLength_ = varLength_ = readLength_ = o.recordLength;
      if (o.variableLength && !SetVariableBuffer(o.sectionLength)) Fail(kDriverNoVariableBuffer);
    }
    if (ErrorLevel() == 0) {
      magic_ = kMagic;
      fileTag_ = std::make_shared<const std::string>(fileName_);
      registry.push_back(owner);
    }
  }
  return LeaveProgram();
}

IFDriver::~IFDriver() {
  if (!valid()) return;  // never opened: nothing to close or unregister
  // A destructor must not raise: failures stay in the error stack.
  Stack().Clear();
  Stack().SetMainOperation(kOpDestroy);
  Stack().SetFirstBlock(owner_, fileTag_);
  if (inOperation) Fail(kDriverReentered, 1);
  if (handle_ != nullptr) CloseEngineBlock();
  registry.erase(std::remove(registry.begin(), registry.end(), owner_), registry.end());
  magic_ = 0;
  fileTag_.reset();
  inOperation = false;
  Stack().SetSubOperation(0);
}

bool IFDriver::ValidateDescriptor() {
  if (fileName_.empty()) return Fail(kDriverNoFileName), false;
  if (buffer_ == nullptr) return Fail(kDriverNoBuffer), false;
  if (recordLength_ < 22) return Fail(kDriverRecordLength), false;
  if (indexCount_ > kMaxIndexes) return Fail(kDriverTooManyIndexes), false;
  if (keys_.size() != indexCount_) return Fail(kDriverNoKeyTable), false;
  for (uint16_t k = 1; k <= indexCount_; ++k) {
    const KeyEntry& e = keys_[k - 1];
    if (!e.defined) return Fail(kDriverIndexUndefined, 0, 0, 0, k), false;
    if (e.keyLength == 0) return Fail(kDriverKeyLengthZero, 0, 0, 0, k), false;
    if (e.keyLength > kMaxKeyText) return Fail(kDriverKeyTooLong, 0, 0, 0, k), false;
  }
  return true;
}

int32_t LayoutDifference(FileBlockHandle fb, uint16_t sectionLength,
                         std::span<const KeyDescriptor> keys) {
  if (RecordLength(fb) != sectionLength) return kDriverRecordLengthDiffers;
  if (IndexCount(fb) != static_cast<int32_t>(keys.size())) return kDriverIndexLayoutDiffers;
  for (size_t k = 1; k <= keys.size(); ++k) {
    const KeyDescriptor d = IndexLayout(fb, static_cast<int>(k));
    if (d.keyLength != keys[k - 1].keyLength ||
        (d.duplicates != 0) != (keys[k - 1].duplicates != 0))
      return kDriverIndexLayoutDiffers;
  }
  return 0;
}

// 0, or the difference of the open engine block from the descriptor (the
// block is then closed again; kDriverCloseAfterMismatch when that failed).
int32_t IFDriver::CompareLayout() {
  int32_t mismatch = LayoutDifference(handle_, sectionLength_, KeyDescriptors());
  ClearStatus();
  if (mismatch == 0) return 0;
  CloseFileBlock(handle_);
  handle_ = nullptr;
  if (!EngineOK) mismatch = kDriverCloseAfterMismatch;
  ClearStatus();
  return mismatch;
}

bool IFDriver::OpenEngineBlock() {
  if (!ValidateDescriptor()) return false;
  // Bounded: a block that still fails after being rebuilt reports it.
  for (int attempt = 0;; ++attempt) {
    FileBlockHandle h = nullptr;
    Retried([&] { OpenFileBlock(h, fileName_, {.readOnly = readOnly_, .network = shared_}); },
            static_cast<uint16_t>(retryCount_ * 7 / 8));
    int32_t error = EngineOK ? 0 : EngineError;
    if (error == 0) {
      handle_ = h;
      error = CompareLayout();
      if (error == 0) break;
      if (error != kDriverIndexLayoutDiffers) return Fail(error), false;
    }
    // A data file left in use, or an index header that cannot be used
    // (10120..10122): the index is derived data and is rebuilt.
    const bool unusable = IsIndexUnusable(error);
    if (attempt >= 2 || (!unusable && error != kErrFileNotFound)) return Fail(error), false;
    if (unusable) {
      if (mustExist_) return Fail(kDriverMustExist), false;
      if (!retryHandler_ || !retryHandler_(blockName_, kRetryIndexUnusable))
        return Fail(error, 4), false;
      for (IFDriver* d : ring)
        if (d != nullptr) d->CloseEngineBlock();
    } else {
      if (!rebuildAllowed_) return Fail(kDriverNoRebuild), false;
      if (!retryHandler_ || !retryHandler_(blockName_, kRetryFilesMissing))
        return Fail(kDriverRebuildRefused), false;
    }
    // Another program sharing the block may make the missing files first:
    // then they are only opened, never rebuilt under it.
    const bool createOnly = !unusable && shared_ && !IsFile(fileName_ + ".SAV");
    if (!Retried([&] {
          if (createOnly)
            CreateMissingFileBlock(fileName_, sectionLength_, indexCount_, KeyDescriptors());
          else
            CreateFiles();
        }))
      return Fail(EngineError), false;
  }
  auto slot = std::find(ring.begin(), ring.end(), nullptr);
  if (slot != ring.end()) *slot = this;
  openCount += FilesNeeded();
  return true;
}

void IFDriver::CloseEngineBlock() {
  if (handle_ == nullptr) return;
  FileBlockHandle h = handle_;
  handle_ = nullptr;  // the engine frees its record in any case
  if (!Retried([&] { CloseFileBlock(h); })) Fail(EngineError);
  std::replace(ring.begin(), ring.end(), this, static_cast<IFDriver*>(nullptr));
  openCount -= FilesNeeded();
}

bool IFDriver::HoldsLocks() const {
  return BlockLocked(handle_);
}

bool IFDriver::EnsureOpen() {
  if (handle_ != nullptr) return true;
  const int needed = FilesNeeded();
  if (openCount + needed > maxFiles - 1) {
    // Close others, in ring order from where the last search stopped; a
    // shared block this program holds locked stays open.
    std::vector<IFDriver*> picked;
    int freed = 0;
    const size_t n = ring.size();
    size_t i = 0;
    for (; i < n && openCount - freed + needed > maxFiles - 1; ++i) {
      IFDriver* d = ring[(ringCursor + i) % n];
      if (d == nullptr || d == this || (d->shared_ && d->HoldsLocks())) continue;
      picked.push_back(d);
      freed += d->FilesNeeded();
    }
    if (openCount - freed + needed > maxFiles - 1) return Fail(kDriverPoolFull), false;
    ringCursor = n == 0 ? 0 : (ringCursor + i) % n;
    for (IFDriver* d : picked) d->CloseEngineBlock();
  }
  return OpenEngineBlock();
}

// --- Program-wide operations ---------------------------------------------------------
}  // namespace qorvex
