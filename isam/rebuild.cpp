// SPDX-License-Identifier: GPL-3.0-or-later
// Rebuild of a file block from its data file, in two phases:
//  1. reorganise: the data file is renamed to ".SAV" and every record in
//     use is copied, in slot order, into a new data file; deleted slots and
//     broken variable records are dropped. On failure the ".SAV" file goes
//     back to its name. The new data file is marked in use from its
//     creation until the rebuild completes. A lone ".SAV" file (an
//     interrupted run) is resumed, and so is one beside the unfinished copy
//     of that run; a ".SAV" file next to any other data file stops the
//     rebuild (10465) until a person decides which one holds the records.
//  2. re-index: a new index file is filled from the keys the caller builds,
//     one pass over the data file per index. A record whose key is already
//     in a unique index is deleted and written to the ".MSG" file (made
//     anew by the first such record of a run, kept by a run without one;
//     its lines: isam/FORMAT.md section 6). The data file stays marked in
//     use until the new index is on disk, so an interrupted re-index is
//     rebuilt again on the next open.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/indexfile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/pagecache.h"
#include "isam/varrec.h"

namespace qorvex {
namespace isam {
namespace {

constexpr uint32_t kBufferBytes = 32768;
constexpr uint32_t kMaxBufferedLength = 16384;
constexpr uint32_t kMaxFixedLength = 65535, kMaxVariableLength = 65520;

RebuildProgress progress;
RebuildOutcome outcome;

// A block buffer of whole slots: up to 32768 / L of them, fewer when memory
// is short, none when fewer than 2 would fit or L is above 16384.
std::vector<uint8_t> AllocateBuffer(uint32_t L, uint32_t& slots) {
  slots = 0;
  if (L > kMaxBufferedLength) return {};
  for (uint32_t n = kBufferBytes / L; n >= 2; --n) {
    try {
      std::vector<uint8_t> b(static_cast<size_t>(n) * L);
      slots = n;
      return b;
    } catch (const std::bad_alloc&) {
    }
  }
  return {};
}

// Reads slots of a data file through one block buffer.
class SlotReader {
 public:
  SlotReader(int fd, uint32_t L) : fd_(fd), L_(L) {
    buffer_ = AllocateBuffer(L, capacity_);
    try {
      scanOne_.resize(L);
      fetchOne_.resize(L);
    } catch (const std::bad_alloc&) {
    }
  }
  bool ok() const { return scanOne_.size() == L_ && fetchOne_.size() == L_; }

  // Slot s in scan order (refilling the buffer from s when s lies outside
  // it). nullptr at the end of the file (the status stays clear; a slot cut
  // short counts as the end) or on a read error.
  const uint8_t* Scan(uint32_t s) {
    if (Held(s)) return At(s);
    if (capacity_ == 0) return Direct(s, scanOne_);
    size_t got = 0;
    if (!FileReadSome(fd_, Offset(s), buffer_.data(), buffer_.size(), got)) return nullptr;
    first_ = s;
    count_ = static_cast<uint32_t>(got / L_);
    return count_ > 0 ? At(s) : nullptr;
  }
  // Slot s off the scan order (a chain's section): from memory when held.
  const uint8_t* Fetch(uint32_t s) { return Held(s) ? At(s) : Direct(s, fetchOne_); }
  // The held copy of a deleted record no longer reads as one.
  void MarkDeleted(uint32_t s) {
    if (Held(s)) StoreU32(At(s), 0xFFFFFFFF);
  }

 private:
  bool Held(uint32_t s) const { return s >= first_ && s - first_ < count_; }
  uint8_t* At(uint32_t s) { return buffer_.data() + static_cast<size_t>(s - first_) * L_; }
  uint64_t Offset(uint32_t s) const { return static_cast<uint64_t>(s) * L_; }
  const uint8_t* Direct(uint32_t s, std::vector<uint8_t>& one) {
    size_t got = 0;
    if (!FileReadSome(fd_, Offset(s), one.data(), L_, got)) return nullptr;
    return got == L_ ? one.data() : nullptr;
  }

  int fd_;
  uint32_t L_;
  std::vector<uint8_t> buffer_, scanOne_, fetchOne_;
  uint32_t capacity_ = 0, first_ = 0, count_ = 0;
};

// Appends slots to the new data file of fb through one block buffer; each
// block written raises the header's highest slot by its slots.
class SlotWriter {
 public:
  explicit SlotWriter(TFileBlock* fb) : fb_(fb), L_(fb->desc[0].length) {
    if (fb->desc[0].highest == 0) buffer_ = AllocateBuffer(L_, capacity_);
  }
  uint32_t NextSlot() const { return fb_->desc[0].highest + pending_ + 1; }
  bool Append(const uint8_t* slot) {
    if (capacity_ == 0) return WriteOut(slot, 1);
    std::memcpy(buffer_.data() + static_cast<size_t>(pending_) * L_, slot, L_);
    return ++pending_ < capacity_ || Flush();
  }
  bool Flush() {
    const uint32_t n = pending_;
    pending_ = 0;
    return n == 0 || WriteOut(buffer_.data(), n);
  }

 private:
  bool WriteOut(const uint8_t* p, uint32_t n) {
    Descriptor& d = fb_->desc[0];
    if (d.highest > 0x7FFFFFFE - n) return Fail(kErrChainCorrupt);
    if (!BlockWrite(fb_, fb_->data, SlotOffset(fb_, d.highest + 1), p, static_cast<size_t>(n) * L_))
      return false;
    d.highest += n;
    d.modified = true;
    return true;
  }

  TFileBlock* fb_;
  uint32_t L_;
  std::vector<uint8_t> buffer_;
  uint32_t capacity_ = 0, pending_ = 0;
};

enum class Chain { kWhole, kBroken, kError };

// The variable record whose first section is `first`, assembled in out. A
// chain longer than a record can be, a section that is not a continuation
// or a link past the end of the file makes the record broken.
Chain ReadChain(SlotReader& reader, uint32_t L, const uint8_t* first, std::vector<uint8_t>& out) {
  const uint32_t maxSections = (65519 - (L - 6)) / (L - 6) + 2;
  const uint32_t count = LoadU16(first + L - 6);
  if (count > L - 6) return Chain::kBroken;
  out.assign(first, first + count);
  uint32_t next = LoadU32(first + L - 4);
  for (uint32_t sections = 1; next != 0; ++sections) {
    if (sections >= maxSections) return Chain::kBroken;
    const uint8_t* p = reader.Fetch(next);
    if (p == nullptr) return EngineOK ? Chain::kBroken : Chain::kError;
    const uint32_t c = LoadU16(p + L - 6);
    if (p[0] != 1 || c > L - 7) return Chain::kBroken;
    out.insert(out.end(), p + 1, p + 1 + c);
    next = LoadU32(p + L - 4);
  }
  return Chain::kWhole;
}

// Appends a variable record as a chain laid out tail first.
bool AppendVariable(SlotWriter& writer, uint32_t L, const std::vector<uint8_t>& record,
                    std::vector<uint8_t>& section) {
  const auto n = static_cast<uint32_t>(record.size());
  const uint32_t sections = VariableSectionCount(L, n);
  const uint32_t base = writer.NextSlot() - 1;
  for (uint32_t i = sections; i-- > 0;) {
    BuildVariableSection(L, record.data(), n, sections, i, base, section.data());
    if (!writer.Append(section.data())) return false;
  }
  return true;
}

bool CopyFile(const std::string& from, const std::string& to) {
  int in = -1, out = -1;
  if (!FileOpen(from, true, true, in)) return false;
  bool ok = FileCreate(to, out);
  std::vector<uint8_t> chunk(1 << 16);
  for (uint64_t at = 0; ok;) {
    size_t got = 0;
    ok = FileReadSome(in, at, chunk.data(), chunk.size(), got);
    if (!ok || got == 0) break;
    ok = FileWrite(out, at, chunk.data(), got);
    at += got;
  }
  if (ok) ok = FileFlush(out);
  FileClose(in);
  if (!FileClose(out)) ok = false;
  return ok;
}

bool CallProgress(uint32_t slotsRead, uint32_t done, uint32_t L, const void* record) {
  if (!progress) return true;
  progress(slotsRead, done, L, record);
  return EngineOK || Fail(kErrRebuildStopped);
}

// X.DAT beside X.SAV: a reorganisation was interrupted. X.DAT is deleted
// when it is that reorganisation's unfinished copy: still marked in use and
// counting no indexes while X.SAV counts some (the copy gets its indexes
// only when the re-index starts), or shorter than a header (stopped before
// its first write). Anything else is a file we did not make: 10465, and
// nothing changes.
bool DropUnfinishedCopy(const std::string& dat, int savFd) {
  int fd = -1;
  if (!FileOpen(dat, true, false, fd)) return false;
  uint8_t d[kDataHeaderBytes] = {}, s[kDataHeaderBytes] = {};
  size_t datGot = 0, savGot = 0;
  const bool read =
      FileReadSome(fd, 0, d, sizeof d, datGot) && FileReadSome(savFd, 0, s, sizeof s, savGot);
  FileClose(fd);
  if (!read) return false;
  const bool savIndexed = savGot == sizeof s && s[16] >= 1 && s[16] <= kMaxIndexes;
  const bool copy = datGot < sizeof d || (d[20] == 1 && LoadU32(d + 16) == 0 && savIndexed);
  if (!copy) return Fail(kErrRebuildInterrupted);
  return FileDelete(dat);
}

// keepInUse: the new data file stays marked in use at the end (a re-index
// follows and clears it).
bool Reorganise(const std::string& dataPart, uint32_t L, bool variable, bool keepInUse,
                FileGuard& newGuard) {
  if (L > (variable ? kMaxVariableLength : kMaxFixedLength)) return Fail(kErrRebuildLength);
  if (L < kDataHeaderBytes) return Fail(kErrRecordLengthTooSmall);
  const std::string dat = BuildFileName(dataPart, "DAT");
  const std::string sav = BuildFileName(dataPart, "SAV");
  uint8_t* work = nullptr;
  if (variable && !GrowVariableBuffer(L, work)) return Fail(kErrRebuildMemory);

  // The old data file is guarded from before the rename to the end, the
  // new one from before it takes the name to the end of the re-index: no
  // other program opens the block meanwhile, and none mistakes the run for
  // a crash leftover (10140 for all of them). A file that goes between the
  // look and the guard was another program's rebuild ending: look again.
  FileGuard oldGuard;
  bool datExists = false, savExists = false;
  for (int look = 0;; ++look) {
    datExists = FileExistsAt(dat);
    savExists = FileExistsAt(sav);
    if (!datExists && !savExists) {
      if (look < 2) continue;  // between a rebuild's renames a moment ago
      return Fail(kErrRebuildNoFile);
    }
    if (oldGuard.Take(savExists ? sav : dat)) break;
    if (EngineError != kErrFileNotFound || look >= 2) return false;
    ClearStatus();
  }
  int savFd = -1;
  if (!FileOpen(savExists ? sav : dat, true, false, savFd)) return false;
  outcome.resumed = savExists;
  if (savExists) {
    if (datExists && !DropUnfinishedCopy(dat, savFd)) return FileClose(savFd), false;
  } else if (!FileRename(dat, sav)) {
    FileClose(savFd);
    return Fail(kErrRebuildMoveAside);
  }

  TFileBlock* fb = nullptr;
  // Puts the old data file back under its name; the cause stays reported.
  auto undo = [&] {
    TStatusArea saved;
    SaveStatus(saved);
    FileClose(savFd);
    if (fb != nullptr) {
      fb->inUse = false;
      fb->desc[0].modified = false;
      CloseFileBlock(fb);
    }
    Os().Unlink(BuildFileName(dataPart, "NEW").c_str());
    Os().Unlink(dat.c_str());
    newGuard.Release();
    bool back = Os().Rename(sav.c_str(), dat.c_str()) == 0;
    if (!back && CopyFile(sav, dat)) {
      FileDelete(sav);
      back = true;
    }
    RestoreStatus(saved);
    if (!back) Fail(kErrWriteIncomplete);
    return false;
  };

  // A log of the old data file must never be applied to the new one.
  Os().Unlink(BuildFileName(dataPart, "DIA").c_str());
  // The copy is marked in use from its creation: an interrupted copy is
  // always noticed on open. It is made under another name and guarded
  // before it takes the data file's, so no program sees it half made.
  const std::string fresh = BuildFileName(dataPart, "NEW");
  if (!CreateDataFile(fresh, L, 0, true) || !newGuard.Take(fresh) || !FileRename(fresh, dat) ||
      !OpenBlock(fb, dataPart, {}, true))
    return undo();
  SlotReader reader(savFd, L);
  SlotWriter writer(fb);
  std::vector<uint8_t> record, section;
  try {
    record.reserve(kMaxVariableLength);
    section.resize(L);
  } catch (const std::bad_alloc&) {
    Fail(kErrRebuildMemory);
    return undo();
  }
  if (!reader.ok()) return Fail(kErrRebuildMemory), undo();

  uint32_t slotsRead = 0, written = 0;
  for (uint32_t s = 1; s < 0x7FFFFFFF; ++s) {
    const uint8_t* p = reader.Scan(s);
    if (p == nullptr) {
      if (!EngineOK) return undo();
      break;  // the end of the old file
    }
    ++slotsRead;
    if (variable) {
      if (LoadU32(p) != 0) continue;  // deleted, or a continuation
      const Chain chain = ReadChain(reader, L, p, record);
      if (chain == Chain::kError) return undo();
      if (chain == Chain::kBroken) continue;  // the record cannot be recovered
      if (!AppendVariable(writer, L, record, section)) return undo();
      ++written;
      if (!CallProgress(slotsRead, written, L, record.data())) return undo();
      continue;
    }
    if (LoadU32(p) == 0) {
      if (!writer.Append(p)) return undo();
      ++written;
    }
    if (!CallProgress(slotsRead, written, L, p)) return undo();
  }
  // The new data file is on disk before the old one is given up.
  if (!writer.Flush() || !WriteDataHeader(fb, keepInUse) || !ForceToDisk(fb, fb->data))
    return undo();
  fb->inUse = false;
  CloseFileBlock(fb);
  fb = nullptr;
  if (!EngineOK) return undo();
  FileClose(savFd);
  return FileDelete(sav);
}

// The ".MSG" file, created anew by the first line written in a rebuild.
class MessageFile {
 public:
  explicit MessageFile(std::string path) : path_(std::move(path)) {}
  ~MessageFile() { FileClose(fd_); }
  MessageFile(const MessageFile&) = delete;
  MessageFile& operator=(const MessageFile&) = delete;

  bool Write(std::string_view text) {
    if (fd_ < 0 && !FileCreate(path_, fd_)) return Failed();
    if (!FileWrite(fd_, end_, text.data(), text.size())) return Failed();
    end_ += text.size();
    return true;
  }

 private:
  static bool Failed() { return Fail(kErrMessageFileBase + static_cast<int32_t>(EngineOsError)); }

  std::string path_;
  int fd_ = -1;
  uint64_t end_ = 0;
};

std::string CutKey(std::string key) {
  if (key.size() > kMaxKeyBytes) key.resize(kMaxKeyBytes);
  return key;
}

// A record whose key k is already in the unique index: its keys of the
// indexes before k and the record itself are deleted, and it is logged.
bool DropDuplicate(TFileBlock* fb, SlotReader& reader, MessageFile& msg, const KeyBuilder& builder,
                   int k, uint32_t ref, const std::string& key, const std::vector<uint8_t>& record,
                   bool variable) {
  const std::string line = "Key:<" + key + "> KeyNr: " + std::to_string(k) +
                           " Ref: " + std::to_string(ref) + " not added\r\n";
  if (!msg.Write(line)) return false;
  const auto ref32 = static_cast<int32_t>(ref);
  for (int j = 1; j < k; ++j) {
    DeleteKey(fb, j, ref32, CutKey(builder(record, j)));
    if (!EngineOK) return false;
  }
  if (variable)
    DeleteVariableRecord(fb, ref32);
  else
    DeleteRecord(fb, ref32);
  if (!EngineOK) return false;
  reader.MarkDeleted(ref);
  ++outcome.dropped;
  std::string dump = "Data record deleted - Dump follows\r\n";
  dump.append(record.begin(), record.end());
  dump += "\r\n\r\n";
  return msg.Write(dump);
}

bool Reindex(std::string_view name, int indexCount, std::span<const KeyDescriptor> keys,
             const KeyBuilder& builder, bool variable) {
  const BlockFiles f = FilesOf(name);
  const std::string &dataPart = f.dataPart, &dat = f.dat, &ix = f.ix;

  int fd = -1;
  uint8_t h[kDataHeaderBytes];
  if (!FileOpen(dat, false, false, fd)) return false;
  if (!FileRead(fd, 0, h, sizeof h)) return FileClose(fd), false;
  const uint32_t L = LoadU32(h + 12);
  if (L > (variable ? kMaxVariableLength : kMaxFixedLength) || L < kDataHeaderBytes) {
    FileClose(fd);
    return Fail(kErrRebuildLength);
  }
  uint8_t* work = nullptr;
  if (variable && !GrowVariableBuffer(L, work)) return FileClose(fd), Fail(kErrRebuildMemory);
  // A new index file; the old dialog goes with the old index. A message
  // file of an earlier rebuild stays until one is needed again: it may hold
  // the only copy of a record.
  Os().Unlink(BuildFileName(dataPart, "DIA").c_str());
  Os().Unlink(ix.c_str());
  if (!CreateIndexFile(ix, keys.first(indexCount))) return FileClose(fd), false;
  StoreU32(h + 16, static_cast<uint32_t>(indexCount));
  h[20] = 1;
  const bool marked = FileWrite(fd, 16, h + 16, 5);
  if (!FileClose(fd) || !marked) return false;

  TFileBlock* fb = nullptr;
  if (!OpenBlock(fb, name, {}, true)) return false;
  fb->inUse = true;  // the byte on disk is 1 already
  auto close = [&](bool ok) {
    TStatusArea saved;
    SaveStatus(saved);
    if (!ok) {
      // Leave the byte at 1: the block needs another rebuild.
      DropPages(fb, 0);
      fb->inUse = false;
      for (Descriptor& d : fb->desc) d.modified = false;
    }
    CloseFileBlock(fb);
    if (!ok) RestoreStatus(saved);
    return ok && EngineOK;
  };
  SlotReader reader(fb->data.fd, L);
  if (!reader.ok()) return Fail(kErrRebuildMemory), close(false);
  MessageFile msg(BuildFileName(dataPart, "MSG"));
  std::vector<uint8_t> record;
  const uint32_t highest = fb->desc[0].highest;
  for (int k = 1; k <= indexCount; ++k) {
    uint32_t count = 0;
    for (uint32_t s = 1; s <= highest; ++s) {
      const uint8_t* p = reader.Scan(s);
      if (p == nullptr) {
        if (!EngineOK) return close(false);
        break;
      }
      if (LoadU32(p) != 0) continue;
      if (!variable) {
        record.assign(p, p + L);
      } else {
        const Chain chain = ReadChain(reader, L, p, record);
        if (chain == Chain::kError) return close(false);
        if (chain == Chain::kBroken) continue;
      }
      ++count;
      const std::string key = CutKey(builder(record, k));
      AddKey(fb, k, static_cast<int32_t>(s), key);
      if (!EngineOK) {
        if (EngineError != kErrDuplicateKey) return close(false);
        ClearStatus();
        if (!DropDuplicate(fb, reader, msg, builder, k, s, key, record, variable))
          return close(false);
      }
      if (!CallProgress(s, count, L, record.data())) return close(false);
    }
  }
  // The index is on disk before the data file stops being in use.
  bool ok = WriteBackPages(fb, false);
  for (int k = 1; ok && k <= indexCount; ++k)
    if (fb->desc[k].modified) ok = WriteIndexHeader(fb, k);
  if (ok)
    ok = ForceToDisk(fb, fb->index) && WriteDataHeader(fb, false) && ForceToDisk(fb, fb->data);
  if (!ok) return close(false);
  fb->inUse = false;
  return close(true);
}

void Rebuild(std::string_view name, int32_t length, int32_t indexCount, const KeyBuilder& builder,
             std::span<const KeyDescriptor> keys, bool variable) {
  outcome = {};
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok()) return;
  if (indexCount < 0 || indexCount > kMaxIndexes) return void(Fail(kErrTooManyIndexes));
  if (keys.size() < static_cast<size_t>(indexCount) || (indexCount > 0 && !builder))
    return void(Fail(kErrBadKeyLength));
  if (length < 0) return void(Fail(kErrRebuildLength));
  FileGuard guard;  // the new data file, from its making to the end
  if (!Reorganise(FilesOf(name).dataPart, static_cast<uint32_t>(length), variable, indexCount > 0,
                  guard))
    return;
  ClearStatus();
  if (indexCount > 0) Reindex(name, indexCount, keys, builder, variable);
}

}  // namespace
}  // namespace isam

using namespace isam;

RebuildOutcome LastRebuildOutcome() {
  return outcome;
}

void SetRebuildProgress(RebuildProgress p) {
  progress = std::move(p);
}

void RebuildFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                      const KeyBuilder& keyBuilder, std::span<const KeyDescriptor> keys) {
  Rebuild(name, recordLength, indexCount, keyBuilder, keys, false);
}

void RebuildVariableFileBlock(std::string_view name, int32_t sectionLength, int32_t indexCount,
                              const KeyBuilder& keyBuilder, std::span<const KeyDescriptor> keys) {
  Rebuild(name, sectionLength, indexCount, keyBuilder, keys, true);
}

}  // namespace qorvex
