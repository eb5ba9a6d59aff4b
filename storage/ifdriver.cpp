// SPDX-License-Identifier: GPL-3.0-or-later
// File-block driver; see ifdriver.h.
#include "storage/ifdriver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <thread>

#include "support/cp1252.h"

namespace qorvex {
namespace {

constexpr bool kHaltOnFatal = true;
constexpr int kMaxKeyText = 50;

// Program-wide state.
bool started = false;
bool inOperation = false;
RetryHandler programHandler;
RebuildNotice rebuildNotice;
std::string programFolder;
// Never destroyed: owners in other units may detach while the program ends.
std::vector<IFDriver**>& registry = *new std::vector<IFDriver**>;  // in the order opened
// The pool: open engine blocks in a ring of slots.
int maxFiles = 0;
int openCount = 0;
std::vector<IFDriver*>& ring = *new std::vector<IFDriver*>;
size_t ringCursor = 0;

enum : int32_t {
  kErrDeletedMeanwhile = 12289,
  kErrChangedMeanwhile = 12309,
  kErrNoRebuild = 12323,
  kErrRebuildRefused = 12328,
  kErrNoSuchBlock = 12364,
  kErrMustExist = 16478,
  kErrCloseAfterMismatch = 24590,
  kErrRecordLengthDiffers = 24591,
  kErrNumberOverflow = 24592,
  kErrStartKind = 24603,
  kErrStartEngine = 24604,
  kErrStartPool = 24605,
  kErrPoolFull = 24606,
  kErrInvalidObject = 24607,
  kErrNoVariableBuffer = 24610,
  kErrIndexLayoutDiffers = 24653,
  kErrNotStarted = 28675,
  kErrNoFileName = 28677,
  kErrNoKeyTable = 28678,
  kErrNoBuffer = 28679,
  kErrRecordLength = 28682,
  kErrTooManyIndexes = 28683,
  kErrKeyTooLong = 28685,
  kErrAddFirstWord = 28689,
  kErrUpdateNoCurrent = 28691,
  kErrUpdateFirstWord = 28692,
  kErrDeleteNoCurrent = 28694,
  kErrTooFewFiles = 28698,
  kErrIndexNumber = 28709,
  kErrIndexUndefined = 28710,
  kErrNumberField = 28711,
  kErrNextNoCurrent = 28715,
  kErrVarLengthHigh = 28716,
  kErrKeyLengthZero = 28717,
  kErrFixedSection = 28718,
  kErrNumberUndefined = 28721,
  kErrStopRegistered = 28724,
  kErrVersion = 28725,
  kErrNumberKey = 28726,
  kErrNoKeyBuilder = 28727,
  kErrRegistered = 28728,
  kErrVarLengthLow = 28740,
  kErrStartedTwice = 28744,
  kErrDeleteNotRead = 28752,
  kErrVariableSection = 28754,
  kErrNoBlockName = 28761,
  kErrReentered = 28770,
};

DebugStack& Stack() {
  return CurrentDebugStack();
}

void RecordProgram(int32_t number, int32_t severity = 0) {
  Stack().Record(nullptr, severity, 0, 0, 0, number);
}

uint32_t LoadWord(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool IsFile(const std::string& path, off_t* size = nullptr) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (size) *size = st.st_size;
  return true;
}

void RandomWait(bool early) {
  static std::minstd_rand rng(static_cast<unsigned>(getpid()) ^ std::random_device{}());
  const int ms = 1 + static_cast<int>(rng() % (early ? 90 : 30));
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The engine's status stays untouched by queries on other blocks.
bool BlockLocked(FileBlockHandle h) {
  return h != nullptr &&
         (IsFileBlockLocked(h, true) || IsFileBlockReadLocked(h, true) || AnyRecordLocked(h, true));
}

}  // namespace

// --- Program-wide helpers -------------------------------------------------------

void SetRetryHandler(RetryHandler handler) {
  programHandler = std::move(handler);
}

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

std::string LongToKey(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  std::string k(5, '\0');
  k[0] = static_cast<char>((((u >> 28) ^ 0x8) << 4) | 0x1);
  k[1] = static_cast<char>(0x80 | ((u >> 21) & 0x7F));
  k[2] = static_cast<char>(0x80 | ((u >> 14) & 0x7F));
  k[3] = static_cast<char>(0x80 | ((u >> 7) & 0x7F));
  k[4] = static_cast<char>(0x80 | (u & 0x7F));
  return k;
}

int32_t KeyToLong(std::string_view key) {
  if (key.size() < 5) return 0;
  auto b = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(key[i])); };
  const uint32_t u = ((((b(0) >> 4) ^ 0x8) & 0xF) << 28) | ((b(1) & 0x7F) << 21) |
                     ((b(2) & 0x7F) << 14) | ((b(3) & 0x7F) << 7) | (b(4) & 0x7F);
  return static_cast<int32_t>(u);
}

std::string BlockNameKey(std::string_view name) {
  std::string k(name.substr(0, 40));
  for (char& c : k) {
    const auto u = static_cast<uint8_t>(c);
    if (u >= 'a' && u <= 'z')
      c = static_cast<char>(u - 32);
    else if (u == 0x84)
      c = static_cast<char>(0x8E);
    else if (u == 0x94)
      c = static_cast<char>(0x99);
  }
  return k;
}

bool IFDriverValid(DriverOwner owner) {
  return owner != nullptr && *owner != nullptr && (*owner)->valid();
}

std::string IFDriverFileName(DriverOwner owner) {
  return IFDriverValid(owner) ? (*owner)->fileName_ : std::string();
}

void SetRebuildNotice(RebuildNotice notice) {
  rebuildNotice = std::move(notice);
}

// --- IFbiDriver ---------------------------------------------------------------------

std::string IFbiDriver::BuildKey(const uint8_t* record, uint16_t index) {
  std::string key;
  if (keyBuilder_) keyBuilder_(record, index, key);
  if (key.size() > kMaxKeyText) key.resize(kMaxKeyText);
  return key;
}

std::vector<KeyDescriptor> IFbiDriver::KeyDescriptors() const {
  std::vector<KeyDescriptor> keys;
  for (const KeyEntry& k : keys_) keys.push_back({k.keyLength, static_cast<uint8_t>(k.duplicates)});
  return keys;
}

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

// --- IFDriverLow --------------------------------------------------------------------

IFDriverLow::~IFDriverLow() {
  FreeKeyTable();
}

void IFDriverLow::FreeKeyTable() {
  keys_.clear();
  keys_.shrink_to_fit();
}

bool IFDriverLow::ShouldRetry() {
  if (EngineOK) return false;
  if (retryCount_ != 0xFFFF) ++waitCounter_;
  if (ErrorClass() != 2) return false;
  uint8_t kind = 1;
  switch (EngineError) {
    case 10110:
      kind = 7;
      waitCounter_ = retryCount_;
      break;
    case 9900:
      kind = 8;
      waitCounter_ = retryCount_;
      break;
    case 10335:
      kind = 2;
      break;
    case 10330:
    case 10332:
      kind = 3;
      break;
  }
  if (waitCounter_ < retryCount_) {
    RandomWait(waitCounter_ <= retryCount_ / 2);
    return true;
  }
  // Asking while this program holds locks elsewhere could make two programs
  // wait for each other.
  bool locksElsewhere = false;
  for (IFDriver** owner : registry)
    if (*owner != nullptr && static_cast<IFbiDriver*>(*owner) != this && (*owner)->shared_ &&
        BlockLocked((*owner)->handle_))
      locksElsewhere = true;
  if (locksElsewhere && kind != 7 && kind != 8) return false;
  TStatusArea status;
  SaveStatus(status);
  const bool again = retryHandler_ && retryHandler_(blockName_, kind);
  RestoreStatus(status);
  if (!again) return false;
  waitCounter_ = 0;
  return true;
}

// --- IFDriver: enter, leave, recording --------------------------------------------

bool IFDriver::EnterProgram(uint16_t code) {
  Stack().Clear();
  Stack().SetMainOperation(code);
  Stack().SetSubOperation(0);
  if (inOperation)
    RecordProgram(kErrReentered, 1);
  else
    inOperation = true;
  if (ErrorLevel() == 0 && code != kOpStart && !started) RecordProgram(kErrNotStarted);
  return ErrorLevel() == 0;
}

bool IFDriver::LeaveProgram() {
  if (ErrorLevel() > 2 && kHaltOnFatal) {
    const TErrorEntry* w = Stack().Worst();
    std::string name;
    if (w != nullptr && IFDriverValid(w->owner)) name = (*w->owner)->blockName_;
    throw EDBError(ErrorLevel(), w ? w->number : 0, name);
  }
  inOperation = false;
  Stack().SetSubOperation(0);
  return ErrorLevel() == 0;
}

bool IFDriver::Enter(uint16_t code) {
  Stack().Clear();
  Stack().SetMainOperation(code);
  Stack().SetSubOperation(0);
  Stack().SetFirstBlock(owner_);
  if (inOperation)
    Fail(kErrReentered, 1);
  else
    inOperation = true;
  if (ErrorLevel() != 0) return false;
  if (!started) {
    Fail(kErrNotStarted);
    return false;
  }
  const int nibble = code >> 12;
  if (nibble == 0) return true;
  if (!valid()) {
    Fail(kErrInvalidObject);
    return false;
  }
  if (nibble >= 2) EnsureOpen();
  return ErrorLevel() == 0;
}

bool IFDriver::Leave(bool) {
  if (ErrorLevel() > 2 && kHaltOnFatal) {
    const TErrorEntry* w = Stack().Worst();
    const std::string name =
        w != nullptr && IFDriverValid(w->owner) ? (*w->owner)->blockName_ : blockName_;
    throw EDBError(ErrorLevel(), w ? w->number : 0, name);
  }
  inOperation = false;
  Stack().SetSubOperation(0);
  return ErrorLevel() == 0;
}

void IFDriver::Fail(int32_t number, int32_t severity, int32_t step, int32_t ref, uint16_t index) {
  Stack().Record(owner_, severity, step, ref, index, number);
}

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

bool IFDriver::CheckIndex(uint16_t index) {
  if (index >= 1 && index <= indexCount_) return true;
  Fail(kErrIndexNumber, 0, 0, 0, index);
  return false;
}

// --- Opening, the pool ---------------------------------------------------------------

bool IFDriver::Open(IFDriver** owner, std::string_view blockName, std::string_view fileName,
                    bool readOnly, bool shared, bool variableLength, bool rebuildAllowed,
                    uint16_t sectionLength, uint16_t indexCount, uint8_t* recordBuffer,
                    uint16_t recordLength, DriverKeyBuilder keyBuilder, uint16_t retryCount) {
  owner_ = owner;
  if (EnterProgram(kOpOpen)) {
    Stack().SetFirstBlock(owner);
    // The path: ".DAT" dropped, relative names under the program folder; an
    // empty data file (a crash while it was written) gives way to its backup.
    std::string name(fileName);
    if (name.size() >= 4 && BlockNameKey(name.substr(name.size() - 4)) == ".DAT")
      name.resize(name.size() - 4);
    if (!name.empty() && name[0] != '/') name = ProgramFolder() + name;
    off_t size = -1;
    if (!name.empty() && IsFile(name + ".DAT", &size) && size == 0) {
      ::unlink((name + ".DAT").c_str());
      if (IsFile(name + ".ALT") && ::rename((name + ".ALT").c_str(), (name + ".DAT").c_str()) == 0)
        ::unlink((name + ".IX").c_str());
    }
    const std::string key = BlockNameKey(blockName);
    if (key.empty())
      Fail(kErrNoBlockName);
    else if (FindByName(key) != nullptr)
      Fail(kErrRegistered);
    else if (fileName.empty())
      Fail(kErrNoFileName);
    else if (sectionLength < 21)
      Fail(kErrRecordLength);
    else if (indexCount > kMaxIndexes)
      Fail(kErrTooManyIndexes);
    else if (indexCount > 0 && !keyBuilder)
      Fail(kErrNoKeyBuilder);
    else if (variableLength && sectionLength >= recordLength)
      Fail(kErrVariableSection);
    else if (!variableLength && sectionLength != recordLength)
      Fail(kErrFixedSection);
    // FindByName's entry (not found, severity 1) is no failure of Open.
    if (ErrorLevel() <= 1) Stack().Clear();
    if (ErrorLevel() == 0) {
      fileName_ = name;
      blockName_ = key;
      readOnly_ = readOnly;
      shared_ = shared;
      variableLength_ = variableLength;
      rebuildAllowed_ = rebuildAllowed;
      sectionLength_ = sectionLength;
      indexCount_ = indexCount;
      recordLength_ = recordLength;
      keyBuilder_ = std::move(keyBuilder);
      retryCount_ = retryCount;
      retryHandler_ = programHandler;
      keys_.assign(indexCount, KeyEntry{});
      if (recordBuffer == nullptr) {
        ownBuffer_.assign(recordLength, 0);
        recordBuffer = ownBuffer_.data();
      }
      buffer_ = recordBuffer;
      snapshot_.assign(recordLength, 0);
      maxLength_ = varLength_ = readLength_ = recordLength;
      if (variableLength && !SetVariableBuffer(sectionLength)) Fail(kErrNoVariableBuffer);
    }
    if (ErrorLevel() == 0) {
      magic_ = kMagic;
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
  Stack().SetFirstBlock(owner_);
  if (inOperation) Fail(kErrReentered, 1);
  if (handle_ != nullptr) CloseEngineBlock();
  registry.erase(std::remove(registry.begin(), registry.end(), owner_), registry.end());
  magic_ = 0;
  inOperation = false;
  Stack().SetSubOperation(0);
}

bool IFDriver::ValidateDescriptor() {
  if (fileName_.empty()) return Fail(kErrNoFileName), false;
  if (buffer_ == nullptr) return Fail(kErrNoBuffer), false;
  if (recordLength_ < 22) return Fail(kErrRecordLength), false;
  if (indexCount_ > kMaxIndexes) return Fail(kErrTooManyIndexes), false;
  if (keys_.size() != indexCount_) return Fail(kErrNoKeyTable), false;
  for (uint16_t k = 1; k <= indexCount_; ++k) {
    const KeyEntry& e = keys_[k - 1];
    if (!e.defined) return Fail(kErrIndexUndefined, 0, 0, 0, k), false;
    if (e.keyLength == 0) return Fail(kErrKeyLengthZero, 0, 0, 0, k), false;
    if (e.keyLength > kMaxKeyText) return Fail(kErrKeyTooLong, 0, 0, 0, k), false;
  }
  return true;
}

// 0, or the mismatch found (the block is then closed again).
bool IFDriver::CompareLayout() {
  int32_t mismatch = 0;
  if (RecordLength(handle_) != sectionLength_) {
    mismatch = kErrRecordLengthDiffers;
  } else if (IndexCount(handle_) != indexCount_) {
    mismatch = kErrIndexLayoutDiffers;
  } else {
    for (uint16_t k = 1; k <= indexCount_ && mismatch == 0; ++k) {
      const KeyDescriptor d = IndexLayout(handle_, k);
      if (d.keyLength != keys_[k - 1].keyLength || (d.duplicates != 0) != keys_[k - 1].duplicates)
        mismatch = kErrIndexLayoutDiffers;
    }
  }
  ClearStatus();
  if (mismatch == 0) return true;
  CloseFileBlock(handle_);
  handle_ = nullptr;
  if (!EngineOK) mismatch = kErrCloseAfterMismatch;
  ClearStatus();
  EngineError = mismatch;  // read by OpenEngineBlock
  return false;
}

bool IFDriver::OpenEngineBlock() {
  if (!ValidateDescriptor()) return false;
  // Bounded: a block that still fails after being rebuilt reports it.
  for (int attempt = 0;; ++attempt) {
    FileBlockHandle h = nullptr;
    Retried([&] { OpenFileBlock(h, fileName_, readOnly_, shared_, false, false); },
            static_cast<uint16_t>(retryCount_ * 7 / 8));
    int32_t error = EngineOK ? 0 : EngineError;
    if (error == 0) {
      handle_ = h;
      if (CompareLayout()) break;
      error = EngineError;
      ClearStatus();
      if (error != kErrIndexLayoutDiffers) return Fail(error), false;
    }
    // A data file left in use, or an index header that cannot be used
    // (10120..10122): the index is derived data and is rebuilt.
    const bool unusable =
        error == 10010 || (error >= 10120 && error <= 10122) || error == kErrIndexLayoutDiffers;
    if (attempt >= 2 || (!unusable && error != 9903)) return Fail(error), false;
    if (unusable) {
      if (mustExist_) return Fail(kErrMustExist), false;
      if (!retryHandler_ || !retryHandler_(blockName_, 5)) return Fail(error, 4), false;
      for (IFDriver* d : ring)
        if (d != nullptr) d->CloseEngineBlock();
    } else {
      if (!rebuildAllowed_) return Fail(kErrNoRebuild), false;
      if (!retryHandler_ || !retryHandler_(blockName_, 6)) return Fail(kErrRebuildRefused), false;
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
    if (openCount - freed + needed > maxFiles - 1) return Fail(kErrPoolFull), false;
    ringCursor = n == 0 ? 0 : (ringCursor + i) % n;
    for (IFDriver* d : picked) d->CloseEngineBlock();
  }
  return OpenEngineBlock();
}

// --- Program-wide operations ---------------------------------------------------------

bool IFDriver::Start(uint8_t networkKind, int32_t pageBuffers, int32_t files) {
  if (EnterProgram(kOpStart)) {
    if (started)
      RecordProgram(kErrStartedTwice);
    else if (kEngineVersion != "05.53")
      RecordProgram(kErrVersion);
    else if (files < 7)
      RecordProgram(kErrTooFewFiles);
    if (ErrorLevel() == 0) {
      InitEngine(networkKind, pageBuffers);
      if (!EngineOK) RecordProgram(EngineError == 10310 ? kErrStartKind : kErrStartEngine);
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
        RecordProgram(kErrStartPool);
        ExitEngine();
      }
    }
  }
  return LeaveProgram();
}

bool IFDriver::Stop() {
  if (EnterProgram(kOpStop)) {
    if (!registry.empty()) {
      RecordProgram(kErrStopRegistered);
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
  RecordProgram(kErrNoSuchBlock, 1);
  return nullptr;
}

// --- Descriptor operations -----------------------------------------------------------

bool IFDriver::DefineKey(uint16_t index, uint8_t keyLength, bool duplicates) {
  if (Enter(kOpDefineKey) && CheckIndex(index)) {
    if (keyLength == 0)
      Fail(kErrKeyLengthZero, 0, 0, 0, index);
    else if (keyLength > kMaxKeyText)
      Fail(kErrKeyTooLong, 0, 0, 0, index);
    else
      keys_[index - 1] = KeyEntry{1, keyLength, duplicates, nullptr, 1, 1};
  }
  return Leave(false);
}

bool IFDriver::SetAutoNumber(uint16_t index, uint8_t* field) {
  if (Enter(kOpSetAutoNumber) && CheckIndex(index)) {
    if (!keys_[index - 1].defined)
      Fail(kErrNumberUndefined, 0, 0, 0, index);
    else if (field < buffer_ || field + 4 > buffer_ + recordLength_)
      Fail(kErrNumberField, 0, 0, 0, index);
    else
      keys_[index - 1].numberField = field;
  }
  return Leave(false);
}

bool IFDriver::SetVarLength(uint16_t length) {
  if (Enter(kOpSetVarLength)) {
    if (length < 5)
      Fail(kErrVarLengthLow);
    else if (length > recordLength_)
      Fail(kErrVarLengthHigh);
    else
      varLength_ = length;
  }
  return Leave(false);
}

bool IFDriver::ClearBuffer() {
  if (Enter(kOpClearBuffer)) std::memset(buffer_, 0, recordLength_);
  return Leave(false);
}

uint8_t* IFDriver::GetBuffer() {
  uint8_t* b = Enter(kOpGetBuffer) ? buffer_ : nullptr;
  Leave(false);
  return b;
}

bool IFDriver::SetProgressHook(ProgressHook hook) {
  if (Enter(kOpSetProgressHook)) progress_ = std::move(hook);
  return Leave(false);
}

bool IFDriver::DeleteFiles() {
  if (Enter(kOpDeleteFiles)) {
    CloseEngineBlock();
    DeleteFileBlock(fileName_);
    // Files that are not there are deleted already.
    if (!EngineOK && EngineError != 9903) Fail(EngineError);
    currentRef_ = readRef_ = -1;
    currentIndex_ = 0;
  }
  return Leave(false);
}

bool IFDriver::ReplaceFiles() {
  if (Enter(kOpReplaceFiles)) {
    CloseEngineBlock();
    if (ErrorLevel() == 0 && !Retried([&] { ReplaceFileBlock(fileName_); })) Fail(EngineError);
    currentRef_ = readRef_ = -1;
    currentIndex_ = 0;
  }
  return Leave(false);
}

// --- Reading and positioning ---------------------------------------------------------

bool IFDriver::ReadRecord(int32_t ref, uint16_t index) {
  const bool locked = HoldsLocks();
  if (variableLength_) {
    uint32_t n = recordLength_;
    if (!Engine(
            [&] {
              n = recordLength_;
              GetVariableRecord(handle_, ref, buffer_, locked, n);
            },
            2, ref, index))
      return false;
    // What the stored record does not cover reads as zero.
    std::memset(buffer_ + n, 0, recordLength_ - n);
    TakeSnapshot(static_cast<uint16_t>(n));
  } else {
    if (!Engine([&] { GetRecord(handle_, ref, buffer_, locked); }, 2, ref, index)) return false;
    TakeSnapshot(recordLength_);
  }
  currentRef_ = readRef_ = ref;
  currentIndex_ = index;
  return true;
}

// Shared blocks: a positioning holds a read lock for its whole length.
bool IFDriver::LockForChange(bool& taken) {
  taken = false;
  if (!shared_ || IsFileBlockLocked(handle_, true)) return true;
  if (!Engine([&] { LockFileBlock(handle_); }, 10)) return false;
  taken = true;
  return true;
}

void IFDriver::Unlock(bool taken) {
  if (!taken) return;
  TStatusArea status;
  SaveStatus(status);
  if (!Retried([&] { UnlockFileBlock(handle_); })) Fail(EngineError, 0, 11);
  RestoreStatus(status);
}

namespace {
// A read lock around a positioning of a shared block that holds no lock.
class ReadLockScope {
 public:
  ReadLockScope(FileBlockHandle h, bool shared) : h_(h) {
    if (!shared || BlockLocked(h)) return;
    ReadLockFileBlock(h);
    taken_ = EngineOK;
    ClearStatus();
  }
  ~ReadLockScope() {
    if (!taken_) return;
    TStatusArea status;
    SaveStatus(status);
    UnlockFileBlock(h_);
    RestoreStatus(status);
  }

 private:
  FileBlockHandle h_;
  bool taken_ = false;
};
}  // namespace

bool IFDriver::First(uint16_t index) {
  if (Enter(kOpFirst) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string key;
    if (Engine(
            [&] {
              ref = 0;
              key.clear();
              SearchKeyOrLast(handle_, index, ref, key);
            },
            1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Last(uint16_t index) {
  if (Enter(kOpLast) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string key;
    if (Engine([&] { ClearKey(handle_, index); }, 1, 0, index) && Engine(
                                                                      [&] {
                                                                        ref = 0;
                                                                        key.clear();
                                                                        PrevKey(handle_, index, ref,
                                                                                key);
                                                                      },
                                                                      2, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Next(uint16_t index) {
  if (Enter(kOpNext) && CheckIndex(index)) {
    if (currentRef_ < 0) {
      Fail(kErrNextNoCurrent, 1, 0, 0, index);
    } else {
      ReadLockScope lock(handle_, shared_);
      const std::string current = BuildKey(snapshot_.data(), index);
      int32_t ref = currentRef_;
      std::string key = current;
      bool placed = true;
      if (currentIndex_ != index)
        placed = Engine(
            [&] {
              ref = currentRef_;
              key = current;
              FindKeyAndRef(handle_, index, ref, 0, key);
            },
            1, currentRef_, index);
      if (placed && Engine(
                        [&] {
                          if (currentIndex_ == index) {
                            ref = currentRef_;
                            key = current;
                          }
                          NextKey(handle_, index, ref, key);
                        },
                        2, currentRef_, index))
        ReadRecord(ref, index);
    }
  }
  return Leave(true);
}

bool IFDriver::FindKey(uint16_t index, std::string_view key) {
  if (Enter(kOpFindKey) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    const std::string_view k = key.substr(0, kMaxKeyText);
    if (Engine([&] { qorvex::FindKey(handle_, index, ref, k); }, 1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Search(uint16_t index, std::string_view key) {
  if (Enter(kOpSearch) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string k(key.substr(0, kMaxKeyText));
    if (Engine(
            [&] {
              ref = 0;
              k = std::string(key.substr(0, kMaxKeyText));
              SearchKey(handle_, index, ref, k);
            },
            1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

// --- Changes -------------------------------------------------------------------------

bool IFDriver::AutoNumber() {
  for (uint16_t k = 1; k <= indexCount_; ++k) {
    KeyEntry& e = keys_[k - 1];
    if (e.numberField == nullptr) continue;
    const std::string key = BuildKey(buffer_, k);
    if (key.size() < 5) return Fail(kErrNumberKey, 0, 1, 0, k), false;
    const std::string prefix = key.substr(0, key.size() - 5);
    std::string found;
    int32_t ref = 0;
    Retried([&] {
      found = prefix + std::string(kMaxKeyText - prefix.size(), '\xFF');
      ref = INT32_MAX;
      FindKeyAndRef(handle_, k, ref, -1, found);
    });
    int32_t value = e.startValue;
    if (EngineOK && found.compare(0, prefix.size(), prefix) == 0) {
      if (found.size() != prefix.size() + 5) return Fail(kErrNumberKey, 0, 2, 0, k), false;
      const int32_t n = KeyToLong(std::string_view(found).substr(prefix.size()));
      if (n > INT32_MAX - e.increment) return Fail(kErrNumberOverflow, 0, 3, 0, k), false;
      value = std::max(n + e.increment, e.startValue);
    } else if (!EngineOK && ErrorClass() != 1) {
      return Fail(EngineError, 0, 4, 0, k), false;
    }
    ClearStatus();
    std::memcpy(e.numberField, &value, 4);
  }
  return true;
}

bool IFDriver::DoAdd() {
  if (LoadWord(buffer_) != 0) return Fail(kErrAddFirstWord), false;
  bool taken = false;
  if (!LockForChange(taken)) return false;
  bool ok = AutoNumber();
  int32_t ref = 0;
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  if (ok)
    ok = variableLength_
             ? Engine([&] { AddVariableRecord(handle_, ref, buffer_, length); }, 5, 0, 0, 3)
             : Engine([&] { AddRecord(handle_, ref, buffer_); }, 5, 0, 0, 3);
  for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
    const std::string key = BuildKey(buffer_, k);
    if (Retried([&] { AddKey(handle_, k, ref, key); })) continue;
    // Take back what this add did; the key's failure is the answer.
    TStatusArea status;
    SaveStatus(status);
    for (uint16_t j = 1; j < k; ++j) DeleteKey(handle_, j, ref, BuildKey(buffer_, j));
    if (variableLength_)
      DeleteVariableRecord(handle_, ref);
    else
      DeleteRecord(handle_, ref);
    RestoreStatus(status);
    Fail(EngineError, 0, 6, ref, k);
    ok = false;
  }
  if (ok) {
    TakeSnapshot(length);
    currentRef_ = readRef_ = ref;
  }
  Unlock(taken);
  return ok;
}

bool IFDriver::Add() {
  if (Enter(kOpAdd)) DoAdd();
  return Leave(false);
}

void IFDriver::TakeSnapshot(uint16_t length) {
  // Only the stored part is copied: a lexicon walk reads records of about a
  // kilobyte into a 64 KiB buffer, and copying all of it dominated the walk.
  std::memcpy(snapshot_.data(), buffer_, length);
  if (snapshotUsed_ > length) std::memset(snapshot_.data() + length, 0, snapshotUsed_ - length);
  snapshotUsed_ = readLength_ = length;
}

bool IFDriver::SameAsSnapshot() const {
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  return length == readLength_ && std::memcmp(buffer_, snapshot_.data(), length) == 0;
}

// The current record as it is on disk now; deleted when its slot no longer
// holds a live record.
bool IFDriver::ReRead(std::vector<uint8_t>& out, uint16_t& length, bool& deleted) {
  out.assign(recordLength_, 0);
  deleted = false;
  int32_t marker = 0;
  if (!Engine([&] { ReadRecordMarker(handle_, currentRef_, marker); }, 20, currentRef_, 0, 3))
    return false;
  if (marker != 0) {
    deleted = true;
    return true;
  }
  if (variableLength_) {
    uint32_t n = recordLength_;
    if (!Engine(
            [&] {
              n = recordLength_;
              GetVariableRecord(handle_, currentRef_, out.data(), true, n);
            },
            21, currentRef_, 0, 3))
      return false;
    length = static_cast<uint16_t>(n);
  } else {
    if (!Engine([&] { GetRecord(handle_, currentRef_, out.data(), true); }, 21, currentRef_, 0, 3))
      return false;
    length = recordLength_;
  }
  return true;
}

bool IFDriver::DoUpdate() {
  if (currentRef_ <= 0) return Fail(kErrUpdateNoCurrent), false;
  if (LoadWord(buffer_) != 0) return Fail(kErrUpdateFirstWord), false;
  if (SameAsSnapshot()) return true;
  const int32_t ref = currentRef_;
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  bool taken = false;
  bool recordLocked = false;
  auto release = [&] {
    if (recordLocked) {
      TStatusArea status;
      SaveStatus(status);
      UnlockRecord(handle_, ref);
      RestoreStatus(status);
    }
    Unlock(taken);
  };
  if (shared_) {
    if (!LockForChange(taken)) return false;
    if (!Engine([&] { LockRecord(handle_, ref); }, 12, ref)) return release(), false;
    recordLocked = true;
    std::vector<uint8_t> disk;
    uint16_t diskLength = 0;
    bool deleted = false;
    if (!ReRead(disk, diskLength, deleted)) return release(), false;
    if (deleted) {
      release();
      if (retryHandler_ && retryHandler_(blockName_, 4)) return DoAdd();
      return Fail(kErrDeletedMeanwhile, 4, 13, ref), false;
    }
    if (diskLength != readLength_ || std::memcmp(disk.data(), snapshot_.data(), diskLength) != 0)
      return release(), Fail(kErrChangedMeanwhile, 5, 14, ref), false;
  }
  // Changed keys: the old one goes, the new one comes.
  std::vector<uint16_t> changed;
  bool ok = true;
  for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
    const std::string before = BuildKey(snapshot_.data(), k), after = BuildKey(buffer_, k);
    if (before == after) continue;
    if (!Engine([&] { DeleteKey(handle_, k, ref, before); }, 15, ref, k)) {
      ok = false;
    } else if (!Retried([&] { AddKey(handle_, k, ref, after); })) {
      TStatusArea status;
      SaveStatus(status);
      AddKey(handle_, k, ref, before);
      RestoreStatus(status);
      Fail(EngineError, 0, 16, ref, k);
      ok = false;
    } else {
      changed.push_back(k);
    }
  }
  if (ok)
    ok = variableLength_
             ? Engine([&] { PutVariableRecord(handle_, ref, buffer_, length); }, 17, ref, 0, 6)
             : Engine([&] { PutRecord(handle_, ref, buffer_, false); }, 17, ref, 0, 6);
  if (!ok) {
    // Undo the key changes made so far.
    TStatusArea status;
    SaveStatus(status);
    for (uint16_t k : changed) {
      DeleteKey(handle_, k, ref, BuildKey(buffer_, k));
      AddKey(handle_, k, ref, BuildKey(snapshot_.data(), k));
    }
    RestoreStatus(status);
  } else {
    TakeSnapshot(length);
  }
  release();
  return ok;
}

bool IFDriver::Update() {
  if (Enter(kOpUpdate)) DoUpdate();
  return Leave(false);
}

bool IFDriver::Reposition(int mode, const std::string& key, int32_t ref) {
  const uint16_t index = currentIndex_;
  if (mode == 0) return true;
  int32_t found = 0;
  std::string k;
  if (index != 0) {
    bool ok = false;
    switch (mode) {
      case 1:
        ok = Engine([&] { ClearKey(handle_, index); }, 30, 0, index) &&
             Engine(
                 [&] {
                   found = 0;
                   k.clear();
                   PrevKey(handle_, index, found, k);
                 },
                 31, 0, index);
        break;
      case 2:
        ok = Engine(
            [&] {
              found = 0;
              k.clear();
              SearchKeyOrLast(handle_, index, found, k);
            },
            32, 0, index);
        break;
      case 3:
        ok = Engine(
            [&] {
              found = ref;
              k = key;
              NextKey(handle_, index, found, k);
            },
            33, ref, index);
        break;
      case 4:
        ok = Engine(
            [&] {
              found = ref;
              k = key;
              PrevKey(handle_, index, found, k);
            },
            34, ref, index);
        break;
    }
    return ok && ReadRecord(found, index);
  }
  // No current index: record-number order over the live slots.
  const int32_t length = FileLength(handle_);
  if (!EngineOK) return Fail(EngineError, 0, 35), false;
  int32_t from = mode == 1 ? length - 1 : mode == 2 ? 1 : mode == 3 ? ref + 1 : ref - 1;
  const int step = mode == 1 || mode == 4 ? -1 : 1;
  for (int32_t r = from; r >= 1 && r < length; r += step) {
    int32_t marker = 0;
    if (!Engine([&] { ReadRecordMarker(handle_, r, marker); }, 36, r)) return false;
    if (marker == 0) return ReadRecord(r, 0);
  }
  Fail(mode == 4 || mode == 1 ? 10260 : 10250, 0, 37);
  return false;
}

bool IFDriver::DoDelete(int mode) {
  if (!SameAsSnapshot() || currentRef_ != readRef_) return Fail(kErrDeleteNotRead, 1), false;
  if (currentRef_ <= 0) return Fail(kErrDeleteNoCurrent), false;
  const int32_t ref = currentRef_;
  bool taken = false;
  if (!LockForChange(taken)) return false;
  bool ok = true;
  bool gone = false;
  if (shared_) {
    ok = Engine([&] { LockRecord(handle_, ref); }, 22, ref);
    if (ok) {
      std::vector<uint8_t> disk;
      uint16_t diskLength = 0;
      ok = ReRead(disk, diskLength, gone);
      if (ok && !gone &&
          (diskLength != readLength_ || std::memcmp(disk.data(), snapshot_.data(), diskLength)))
        ok = false, Fail(kErrChangedMeanwhile, 4, 23, ref);
      TStatusArea status;
      SaveStatus(status);
      UnlockRecord(handle_, ref);
      RestoreStatus(status);
    }
  }
  const uint16_t index = currentIndex_;
  const std::string key = index != 0 ? BuildKey(snapshot_.data(), index) : std::string();
  if (ok && !gone) {
    for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
      const std::string kk = BuildKey(snapshot_.data(), k);
      if (Retried([&] { DeleteKey(handle_, k, ref, kk); })) continue;
      if (EngineError == 10220) {  // already missing: tolerated
        Stack().SetDeleteKeyFlag();
        ClearStatus();
        continue;
      }
      Fail(EngineError, 0, 24, ref, k);
      ok = false;
    }
    if (ok)
      ok = variableLength_ ? Engine([&] { DeleteVariableRecord(handle_, ref); }, 25, ref)
                           : Engine([&] { DeleteRecord(handle_, ref); }, 25, ref);
  }
  Unlock(taken);
  currentRef_ = -1;
  if (ok && !gone && mode != 0) Reposition(mode, key, ref);
  return ok;
}

bool IFDriver::Delete(int mode) {
  if (Enter(kOpDelete)) DoDelete(mode);
  return Leave(mode != 0);
}

}  // namespace qorvex
