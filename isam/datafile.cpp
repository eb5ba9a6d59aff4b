// SPDX-License-Identifier: GPL-3.0-or-later
// File blocks and their data files: names, create, open, flush, close,
// delete, slot allocation and the fixed-length record operations.
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/indexfile.h"
#include "isam/netlock.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/pagecache.h"
#include "isam/replace.h"
#include "isam/savelog.h"

namespace qorvex {
namespace isam {
namespace {

void DefaultHook(void*, uint32_t, int, uint32_t) {}

void CallHook(TFileBlock* fb, void* buffer, uint32_t length, int direction) {
  if (fb->hook) fb->hook(buffer, length, direction, fb->hookData);
}

// Closes every file of a block that failed to open and frees it.
void Abandon(TFileBlock* fb) {
  FileClose(fb->dialog.fd);
  BlockClose(fb->index);
  BlockClose(fb->data);
  delete fb;
}

// Save mode: logs the header of descriptor k before a slot is allocated,
// with the link the allocated slot loses (-2 when none is taken).
// A failed check or read leaves the log untouched (logWritten false).
bool LogBeforeAllocate(TFileBlock* fb, int k, bool& logWritten) {
  const Descriptor& d = fb->desc[k];
  int32_t link = -2;
  logWritten = false;
  if (d.freeHead != -1) {
    if (d.freeHead < 1 || static_cast<uint32_t>(d.freeHead) > d.highest)
      return Fail(kErrChainCorrupt);
    if (!ReadSlotWord(fb, k, static_cast<uint32_t>(d.freeHead), link)) return false;
  }
  logWritten = true;
  return LogHeader(fb, k, link);
}

}  // namespace

std::string BuildFileName(std::string_view part, std::string_view extension) {
  const size_t slash = part.rfind('/');
  const size_t dot = part.rfind('.');
  std::string name(part);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    name.resize(dot);
  name += '.';
  name += extension;
  return name;
}

void SplitName(std::string_view name, std::string& dataPart, std::string& indexPart) {
  const size_t semi = name.find(';');
  dataPart = std::string(name.substr(0, semi));
  indexPart = semi == std::string_view::npos ? dataPart : std::string(name.substr(semi + 1));
  if (indexPart.empty()) indexPart = dataPart;
}

BlockFiles FilesOf(std::string_view name) {
  std::string dataPart, indexPart;
  SplitName(name, dataPart, indexPart);
  BlockFiles f;
  f.dat = BuildFileName(dataPart, "DAT");
  f.ix = BuildFileName(indexPart, "IX");
  f.dia = BuildFileName(dataPart, "DIA");
  f.dataPart = std::move(dataPart);
  return f;
}

void EncodeDataHeader(const Descriptor& d, uint8_t indexCount, bool inUse,
                      uint8_t out[kDataHeaderBytes]) {
  StoreU32(out + 0, static_cast<uint32_t>(d.freeHead));
  StoreU32(out + 4, d.freeCount);
  StoreU32(out + 8, d.highest);
  StoreU32(out + 12, d.length);
  StoreU32(out + 16, indexCount);
  out[20] = inUse ? 1 : 0;
}

bool WriteDataHeader(TFileBlock* fb, bool inUse) {
  uint8_t h[kDataHeaderBytes];
  EncodeDataHeader(fb->desc[0], fb->indexCount, inUse, h);
  if (!BlockWrite(fb, fb->data, 0, h, sizeof h)) return false;
  fb->desc[0].modified = false;
  fb->desc[0].changed = true;
  return true;
}

bool MarkInUse(TFileBlock* fb) {
  if (fb->inUse) return true;
  fb->inUse = true;
  if (fb->saveMode) return true;
  const uint8_t one = 1;
  return BlockWrite(fb, fb->data, 20, &one, 1);
}

bool ReadSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t& word) {
  uint8_t w[4];
  const bool ok = k == 0 ? BlockRead(fb, fb->data, SlotOffset(fb, slot), w, 4)
                         : BlockRead(fb, fb->index, PageOffset(fb, k, slot), w, 4);
  if (ok) word = static_cast<int32_t>(LoadU32(w));
  return ok;
}

bool WriteSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t word) {
  uint8_t w[4];
  StoreU32(w, static_cast<uint32_t>(word));
  return k == 0 ? BlockWrite(fb, fb->data, SlotOffset(fb, slot), w, 4)
                : BlockWrite(fb, fb->index, PageOffset(fb, k, slot), w, 4);
}

bool AllocateSlot(TFileBlock* fb, int k, uint32_t& slot) {
  Descriptor& d = fb->desc[k];
  d.modified = true;
  if (d.freeHead == -1) {
    if (d.highest >= 0x7FFFFFFE) return Fail(kErrChainCorrupt);
    d.reused = false;
    slot = ++d.highest;
    return true;
  }
  if (d.freeHead < 1 || static_cast<uint32_t>(d.freeHead) > d.highest || d.freeCount == 0)
    return Fail(kErrChainCorrupt);
  const uint32_t candidate = static_cast<uint32_t>(d.freeHead);
  int32_t link = 0;
  if (!ReadSlotWord(fb, k, candidate, link)) return false;
  if (link == 0 || link < -1 || (link > 0 && static_cast<uint32_t>(link) > d.highest) ||
      static_cast<uint32_t>(link) == candidate)
    return Fail(kErrChainCorrupt);
  slot = candidate;
  d.freeHead = link;
  d.reused = true;
  --d.freeCount;
  return true;
}

bool ReleaseSlot(TFileBlock* fb, int k, uint32_t slot) {
  Descriptor& d = fb->desc[k];
  d.modified = true;
  if (!WriteSlotWord(fb, k, slot, d.freeHead)) return false;
  d.freeHead = static_cast<int32_t>(slot);
  ++d.freeCount;
  return true;
}

bool ForceToDisk(TFileBlock* fb, FileEntry& file) {
  OsErrorKind kind = OsErrorKind::kOther;
  if (BlockSync(fb, file, &kind)) return true;
  if (IsNetwork(fb)) return Fail(kErrNetworkFlush);
  if (kind != OsErrorKind::kTooManyFiles) return false;
  // Closing forces the data out; the file is then opened again.
  ClearStatus();
  BlockForgetMapping(file);
  if (!FileClose(file.fd)) return false;
  return FileOpen(file.path, fb->readOnly, fb->readOnly || IsNetwork(fb), file.fd);
}

bool WriteBackAll(TFileBlock* fb, bool dropPages) {
  bool ok = BlockWritePending(fb, fb->data);
  if (!WriteBackPages(fb, dropPages)) ok = false;
  for (int k = 1; ok && k <= fb->indexCount; ++k)
    if (fb->desc[k].modified && !WriteIndexHeader(fb, k)) ok = false;
  if (ok && !WriteDataHeader(fb, false)) ok = false;
  return ok;
}

namespace {

// Writes a slot inside the file (a reused one) so that a kill never leaves
// it live with another record's bytes: the system may cut a write at a
// page boundary when the process is killed, so a slot that crosses one is
// written body first and its first word, which makes it live, last.
bool WriteReusedSlot(TFileBlock* fb, uint32_t slot, const void* buffer) {
  static const uint64_t page = static_cast<uint64_t>(std::max(4096L, ::sysconf(_SC_PAGESIZE)));
  const uint32_t L = fb->desc[0].length;
  const uint64_t at = SlotOffset(fb, slot);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (at / page == (at + L - 1) / page) return BlockWrite(fb, fb->data, at, bytes, L);
  return BlockWrite(fb, fb->data, at + 4, bytes + 4, L - 4) &&
         BlockWrite(fb, fb->data, at, bytes, 4);
}

}  // namespace

bool AddSlot(TFileBlock* fb, const void* buffer, uint32_t& slot) {
  Descriptor& d = fb->desc[0];
  if (!MarkInUse(fb)) return false;
  if (fb->saveMode) {
    LogBeginOperation(fb);
    // A log entry cut short ends the replay: nothing is lost by replaying it.
    bool logWritten = false;
    if (!LogBeforeAllocate(fb, 0, logWritten) || !LogForce(fb)) {
      if (logWritten) LogFinish(fb, kErrAddRecordRestored);
      return false;
    }
  }
  const Descriptor before = d;
  if (!AllocateSlot(fb, 0, slot)) return false;
  if (!(d.reused ? WriteReusedSlot(fb, slot, buffer)
                 : BlockAppend(fb, fb->data, SlotOffset(fb, slot), buffer, d.length))) {
    d.freeHead = before.freeHead;
    d.freeCount = before.freeCount;
    d.highest = before.highest;
    if (fb->saveMode)
      LogFinish(fb, kErrAddRecordRestored);
    else if (slot > before.highest)
      CutAfterHighest(fb);
    return false;
  }
  if (fb->saveMode) {
    if (WriteDataHeader(fb, false)) ForceToDisk(fb, fb->data);
    LogFinish(fb, kErrAddRecordRestored);
  }
  return EngineOK;
}

bool DeleteSlot(TFileBlock* fb, int32_t ref, bool live) {
  if (ref < 1 || static_cast<uint32_t>(ref) > fb->desc[0].highest) return Fail(kErrDeleteRefRange);
  if (!MarkInUse(fb)) return false;
  if (fb->saveMode) {
    LogBeginOperation(fb);
    if (!LogHeader(fb, 0, -2, live) || !LogForce(fb)) {
      LogFinish(fb, kErrDeleteRecordRestored);
      return false;
    }
  }
  if (ReleaseSlot(fb, 0, static_cast<uint32_t>(ref)) && fb->saveMode) {
    if (WriteDataHeader(fb, false)) ForceToDisk(fb, fb->data);
  }
  if (fb->saveMode) LogFinish(fb, kErrDeleteRecordRestored);
  return EngineOK;
}

void CutAfterHighest(TFileBlock* fb) {
  BlockCutBack(fb->data, SlotOffset(fb, fb->desc[0].highest + 1));
}

// Guards a block's data file, when there is one, before its files are
// replaced or deleted: a block another program holds is left alone (10140).
bool GuardIfPresent(const std::string& dat, FileGuard& guard) {
  if (guard.Take(dat)) return true;
  if (EngineError != kErrFileNotFound && EngineError != kErrPathNotFound) return false;
  ClearStatus();
  return true;
}

bool CreateDataFile(const std::string& path, uint32_t length, uint8_t indexCount, bool inUse) {
  int fd = -1;
  if (!FileCreate(path, fd)) return false;
  Descriptor d;
  d.length = length;
  std::vector<uint8_t> slot0(d.length, 0);
  EncodeDataHeader(d, indexCount, inUse, slot0.data());
  bool ok = FileWrite(fd, 0, slot0.data(), slot0.size());
  if (!FileClose(fd)) ok = false;
  return ok;
}

bool RereadDataHeader(TFileBlock* fb) {
  uint8_t h[kDataHeaderBytes];
  if (!BlockRead(fb, fb->data, 0, h, sizeof h)) return false;
  Descriptor& d = fb->desc[0];
  const uint32_t highest = LoadU32(h + 8);
  if (LoadU32(h + 12) != d.length || h[16] != fb->indexCount ||
      static_cast<uint64_t>(highest) * d.length > (uint64_t{1} << 46))
    return Fail(kErrMustRebuild);
  d.freeHead = static_cast<int32_t>(LoadU32(h + 0));
  d.freeCount = LoadU32(h + 4);
  d.highest = highest;
  d.modified = false;
  return true;
}

bool OpenBlock(TFileBlock*& handle, std::string_view name, OpenOptions o, bool acceptInUse) {
  handle = nullptr;
  const bool noLock = o.noLock;
  const bool readOnly = o.readOnly || noLock;
  const bool saveMode = o.saveMode && !readOnly;
  const bool net = o.network && EngineNetworkKind() == 2;

  std::unique_ptr<TFileBlock> owned(new (std::nothrow) TFileBlock);
  if (!owned) return Fail(kErrNoOpenMemory);
  TFileBlock* fb = owned.get();
  BlockFiles files = FilesOf(name);
  fb->data.path = std::move(files.dat);
  fb->index.path = std::move(files.ix);
  fb->dialog.path = std::move(files.dia);
  fb->readOnly = readOnly;
  fb->saveMode = saveMode;
  const bool shared = readOnly || net;
  // What an interrupted replacement left is cleared before the block is
  // taken; a read-only or shared open leaves it to its holder.
  if (!shared && !acceptInUse && !FinishReplacementFiles(name)) return false;
  auto fail = [&](int32_t error) {
    if (error != 0) Fail(error);
    if (net && EngineError == kErrFile) Fail(kNetErrOpenLock);
    TStatusArea saved;
    SaveStatus(saved);
    NetAbandon(fb);
    FileClose(fb->dialog.fd);
    BlockClose(fb->index);
    BlockClose(fb->data);
    RestoreStatus(saved);
    return false;
  };

  // The dialog file: a log left in it is replayed below; save mode and
  // network use need one.
  const bool dialogExists = FileExistsAt(fb->dialog.path);
  if (dialogExists) {
    if (!FileOpen(fb->dialog.path, readOnly, shared, fb->dialog.fd)) return fail(0);
  } else if (net && readOnly) {
    return fail(kErrDialogMissing);
  } else if (net) {
    if (!FileOpenOrCreate(fb->dialog.path, fb->dialog.fd)) return fail(0);
  } else if (saveMode) {
    if (!FileCreate(fb->dialog.path, fb->dialog.fd)) return fail(0);
    const uint8_t zero = 0;
    if (!FileWrite(fb->dialog.fd, 0, &zero, 1)) return fail(0);
  }
  if (net && !NetBeginOpen(fb, noLock)) return fail(0);

  if (!FileOpen(fb->data.path, readOnly, shared, fb->data.fd)) {
    // Between a rebuild's renames the data file is missing: the rebuild
    // guards the old one under ".SAV" (or has just put it back), and the
    // block is in use.
    if (EngineError != kErrFile &&
        (HeldElsewhere(BuildFileName(files.dataPart, "SAV")) || FileExistsAt(fb->data.path)))
      return fail(kErrFile);
    return fail(0);
  }
  uint8_t h[kDataHeaderBytes];
  if (!FileRead(fb->data.fd, 0, h, sizeof h)) return fail(0);
  if (h[16] > kMaxIndexes) return fail(kErrHeaderTooManyIndexes);
  fb->indexCount = h[16];
  try {
    fb->desc.resize(fb->indexCount + 1);
    fb->headerLogged.assign(fb->indexCount + 1, false);
  } catch (const std::bad_alloc&) {
    return fail(kErrNoDescriptorMemory);
  }
  Descriptor& d = fb->desc[0];
  d.freeHead = static_cast<int32_t>(LoadU32(h + 0));
  d.freeCount = LoadU32(h + 4);
  d.highest = LoadU32(h + 8);
  d.length = LoadU32(h + 12);
  // A record length the file cannot have been made with, or a highest slot
  // beyond what offsets can address, is damage that calls for a rebuild.
  // Slot 0 is always whole, so the file bounds the record length (and with
  // it every buffer sized by it).
  uint64_t size = 0;
  if (!FileSize(fb->data.fd, size)) return fail(0);
  if (d.length < kDataHeaderBytes || d.length > size ||
      static_cast<uint64_t>(d.highest) * d.length > (uint64_t{1} << 46))
    return fail(kErrMustRebuild);
  if (fb->indexCount > 0) {
    if (!FileOpen(fb->index.path, readOnly, shared, fb->index.fd))
      return fail(EngineError == kErrTooManyFiles ? 0 : kErrMustRebuild);
    // A header whose page size, key length or keys per page is impossible
    // reports which (10120..10122); any other unusable index file is 10010.
    if (!ReadIndexHeaders(fb)) {
      const bool named = EngineError == kErrPageSizeMismatch ||
                         EngineError == kErrDerivedKeyLength || EngineError == kErrKeysPerPage;
      return fail(named ? 0 : kErrMustRebuild);
    }
  }

  // A dialog longer than one byte holds a log unless it is a valid
  // network dialog.
  bool replay = false;
  bool validDialog = false;
  if (fb->dialog.fd >= 0) {
    uint64_t dialogSize = 0;
    uint8_t mark[2] = {};
    if (!FileSize(fb->dialog.fd, dialogSize)) return fail(0);
    if (dialogSize >= 3 && !FileRead(fb->dialog.fd, 1, mark, 2)) return fail(0);
    validDialog = dialogSize == 3 + DialogSlotArea(fb->indexCount) && LoadU16(mark) == kDialogValid;
    replay = dialogSize > 1 && !validDialog;
    if (replay && readOnly) return fail(net ? kErrDialogMissing : kErrReplayReadOnly);
    // A read-only station cannot set up a dialog that is not valid yet.
    if (net && readOnly && !validDialog) return fail(kErrDialogMissing);
  }
  if (h[20] != 0 && !replay && !acceptInUse) {
    // Shared, the byte may be a live station's unsaved change: only when no
    // other station has the block open is it left over from a crash.
    bool alone = true;
    if (net && !NetAllStationsFree(fb, alone)) return fail(0);
    if (alone) return fail(kErrMustRebuild);
  }

  fb->hook = DefaultHook;
  fb->hookData = 0;
  fb->hookSkip = true;
  RegisterOpen(fb);
  fb->magic = kFileBlockMagic;
  owned.release();
  // From here on a failure closes the registered block.
  auto abandonOpen = [&] {
    const int32_t error = EngineError == kErrFile && net ? kNetErrOpenLock : EngineError;
    UnregisterOpen(fb);
    fb->magic = 0;
    DropPages(fb, 0);
    NetAbandon(fb);
    Abandon(fb);
    return Fail(error);
  };

  if (net) {
    // Sets up the dialog (replaying a log found in it) and claims a station.
    if (!NetSetUpDialog(fb) || !NetClaimStation(fb) || !NetEndOpen(fb)) return abandonOpen();
  } else if (replay) {
    // Before-images of an interrupted save-mode operation.
    if (!LogReplay(fb)) return abandonOpen();
    ClearStatus();
  }
  if (!saveMode && !net && dialogExists) {
    FileClose(fb->dialog.fd);
    if (!readOnly) Os().Unlink(fb->dialog.path.c_str());
  }
  SetUpFileAccess(fb);
  handle = fb;
  return true;
}

}  // namespace isam

using namespace isam;

namespace {

bool CreateArgumentsValid(int32_t recordLength, int32_t indexCount,
                          std::span<const KeyDescriptor> keys) {
  if (recordLength < kDataHeaderBytes) return Fail(kErrRecordLengthTooSmall);
  if (indexCount > kMaxIndexes) return Fail(kErrTooManyIndexes);
  if (indexCount < 0 || keys.size() < static_cast<size_t>(indexCount))
    return Fail(kErrBadKeyLength);
  return true;
}

// The files of a new, empty block, the index file first (a program that
// finds the data file finds the index too); nothing is left when it fails.
void MakeEmptyBlock(const std::string& dat, const std::string& ix, int32_t recordLength,
                    int32_t indexCount, std::span<const KeyDescriptor> keys) {
  bool ok = indexCount == 0 || CreateIndexFile(ix, keys.first(indexCount));
  if (ok)
    ok = CreateDataFile(dat, static_cast<uint32_t>(recordLength), static_cast<uint8_t>(indexCount));
  if (ok) return;
  TStatusArea saved;
  SaveStatus(saved);
  Os().Unlink(ix.c_str());
  Os().Unlink(dat.c_str());
  RestoreStatus(saved);
}

}  // namespace

void CreateFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                     std::span<const KeyDescriptor> keys) {
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok() || !CreateArgumentsValid(recordLength, indexCount, keys)) return;
  const BlockFiles f = FilesOf(name);
  FileGuard guard;
  if (!GuardIfPresent(f.dat, guard)) return;
  for (const std::string* p : {&f.ix, &f.dia, &f.dat}) Os().Unlink(p->c_str());  // errors ignored
  MakeEmptyBlock(f.dat, f.ix, recordLength, indexCount, keys);
}

void CreateMissingFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                            std::span<const KeyDescriptor> keys) {
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok() || !CreateArgumentsValid(recordLength, indexCount, keys)) return;
  const BlockFiles f = FilesOf(name);
  const std::string &dat = f.dat, &ix = f.ix;
  int dialog = -1;
  // Open stations hold the dialog file shared; a creator holds it alone.
  if (!FileOpenOrCreate(f.dia, dialog)) {
    if (EngineError == kErrFile) Fail(kNetErrOpenLock);  // another program is creating it
    return;
  }
  if (Os().Flock(dialog, LOCK_EX | LOCK_NB) != 0) {
    FileClose(dialog);
    return void(Fail(kNetErrOpenLock));
  }
  if (!FileExistsAt(dat)) {
    ClearStatus();
    Os().Unlink(ix.c_str());
    MakeEmptyBlock(dat, ix, recordLength, indexCount, keys);
  }
  TStatusArea saved;
  SaveStatus(saved);
  FileClose(dialog);
  RestoreStatus(saved);
}

void OpenFileBlock(FileBlockHandle& handle, std::string_view name, OpenOptions o) {
  handle = nullptr;
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok()) return;
  OpenBlock(handle, name, o, false);
}

void OpenFileBlock(FileBlockHandle& handle, std::string_view name, bool readOnly, bool network,
                   bool saveMode, bool noLock) {
  OpenFileBlock(handle, name, {readOnly, network, saveMode, noLock});
}

void CloseFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok()) return;
  bool ok = true;
  int32_t error = kErrClose;
  if (IsNetwork(fb)) {
    if (!NetClose(fb)) {
      ok = false;
      error = EngineError;
    }
  } else if (!fb->saveMode && !fb->readOnly && (fb->inUse || fb->desc[0].modified)) {
    ok = WriteBackAll(fb, true);
  }
  DropPages(fb, 0);
  if (!FileClose(fb->dialog.fd)) ok = false;
  if (!BlockClose(fb->index)) ok = false;
  if (!BlockClose(fb->data)) ok = false;
  UnregisterOpen(fb);
  fb->magic = 0;
  delete fb;
  if (!ok) Fail(error);
}

void DeleteFileBlock(std::string_view name) {
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok()) return;
  const BlockFiles f = FilesOf(name);
  FileGuard guard;
  if (!GuardIfPresent(f.dat, guard)) return;
  FileDelete(f.ix);
  ClearStatus();
  FileDelete(f.dia);
  ClearStatus();
  FileDelete(f.dat);
}

void FlushFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok()) return;
  if (fb->readOnly || fb->saveMode || (IsNetwork(fb) && !fb->net->writeLocked)) return;
  if (!fb->inUse) return;
  if (!WriteBackAll(fb, false)) return;
  if (!ForceToDisk(fb, fb->data)) return;
  if (fb->indexCount > 0 && !ForceToDisk(fb, fb->index)) return;
  fb->inUse = false;
  if (IsNetwork(fb)) NetBroadcast(fb);
}

void AddRecord(FileBlockHandle fb, int32_t& ref, void* buffer) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  const uint32_t length = fb->desc[0].length;
  CallHook(fb, buffer, length, 0);
  uint32_t slot = 0;
  if (!AddSlot(fb, buffer, slot)) return;
  ref = static_cast<int32_t>(slot);
  if (!fb->hookSkip) CallHook(fb, buffer, length, 1);
}

void GetRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool lockedByCaller) {
  Operation op(fb, lockedByCaller ? 0 : kAutoReadLock);
  if (!op.ok()) return;
  if (ref < 0) return void(Fail(kErrReadPastEnd));
  if (BlockRead(fb, fb->data, SlotOffset(fb, ref), buffer, fb->desc[0].length))
    CallHook(fb, buffer, fb->desc[0].length, 1);
}

void GetRecordLocked(FileBlockHandle fb, int32_t ref, void* buffer) {
  Operation op(fb, 0);
  if (!op.ok()) return;
  if (ref < 0) return void(Fail(kErrReadPastEnd));
  const uint32_t length = fb->desc[0].length;
  if (BlockRead(fb, fb->data, SlotOffset(fb, ref), buffer, length)) {
    CallHook(fb, buffer, length, 1);
    return;
  }
  if (EngineError != kErrFile) return;
  // The first word is locked by another station: read the rest.
  ClearStatus();
  if (BlockRead(fb, fb->data, SlotOffset(fb, ref) + 4, static_cast<uint8_t*>(buffer) + 4,
                length - 4))
    Fail(kErrRecordLockedRestRead);
}

void PutRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool skipLockCheck) {
  Operation op(fb, kNotReadOnly | (skipLockCheck ? 0 : kNeedWriteLock));
  if (!op.ok()) return;
  // A write outside the slots the header knows would leave a file whose
  // length and header disagree.
  if (ref <= 0 || static_cast<uint32_t>(ref) > fb->desc[0].highest)
    return void(Fail(kErrPutRefZero));
  const uint32_t length = fb->desc[0].length;
  if (!MarkInUse(fb)) return;
  CallHook(fb, buffer, length, 0);
  if (!BlockWrite(fb, fb->data, SlotOffset(fb, ref), buffer, length)) return;
  if (!fb->hookSkip) CallHook(fb, buffer, length, 1);
  if (fb->saveMode && !IsNetwork(fb)) ForceToDisk(fb, fb->data);
}

void DeleteRecord(FileBlockHandle fb, int32_t ref) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  DeleteSlot(fb, ref, true);
}

void ReadRecordMarker(FileBlockHandle fb, int32_t ref, int32_t& marker) {
  Operation op(fb, 0);
  if (!op.ok()) return;
  if (ref < 0) return void(Fail(kErrReadPastEnd));
  ReadSlotWord(fb, 0, static_cast<uint32_t>(ref), marker);
}

int32_t FileLength(FileBlockHandle fb) {
  Operation op(fb, kAutoReadLock);
  if (!op.ok()) return 0;
  return static_cast<int32_t>(fb->desc[0].highest + 1);
}

int32_t RecordLength(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok()) return 0;
  return static_cast<int32_t>(fb->desc[0].length);
}

}  // namespace qorvex
