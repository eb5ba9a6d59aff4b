// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and writes of an open block's data and index files (isam layer):
// reads served from a shared mapping of the file, appends to the data file
// gathered in memory, index pages stored through the mapping. What reaches
// the file is byte for byte what the write calls wrote before; every call
// still passes through the OS layer (osfile.h).
//
// 1. A mapped access lies below f.size, and f.size is never above the file's
//    real length while its epoch is current:
//    - kOwn (opened read-write without network use): the block holds its
//      files alone (exclusive whole-file lock), so their length changes only
//      through this unit, which raises f.size after a write that landed and
//      lowers it before a cut. One epoch for the whole open: a program that
//      cuts such a file behind the engine's back is not kept from it.
//    - kShared (network block): another station shrinks a file only while it
//      holds the write lock (an append cut back, a save-mode replay), and the
//      write lock excludes every read lock. f.size is read from the OS once
//      the station holds a lock and counts for that lock only (NetLockEpoch).
//    - kDirect (read-only and no-lock opens, which hold no lock that keeps a
//      writer from cutting the file): no mapping.
//    A mapping stays coherent with every write call, ours and other
//    stations'; what another station changed needs no re-reading.
// 2. Should a mapped access fault all the same (the file cut behind the
//    engine's back, a disk error, no room for a page stored into a file
//    system that copies on write), the guard turns the fault into a failed
//    access: it is then made with a system call, which reports the error.
//    No fault ends the process.
// 3. Gathered appends (data file of a kOwn block out of save mode) rely on
//    the guarantee that a kill loses nothing a flush or close completed:
//    the in-use byte is on disk before the first change, so a block whose
//    appends died in memory opens as "to be rebuilt", and the rebuild keeps
//    every record that landed. Flush and close write them first; so does
//    every other write, resize or forcing of the file, and every read that
//    touches them. A write of them that fails keeps them, to be written
//    again first: nothing ever lands behind them.
// 4. Pages stored through the mapping (index file of a kOwn block out of save
//    mode) land in the same page cache as a write call's bytes: a killed
//    process leaves the same file, and forcing the file to disk writes them.
//    Save mode keeps write calls: its log must be forced before a page
//    lands, and its faults are injected into the calls.
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <new>

#include "isam/blockio.h"
#include "isam/netlock.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"

namespace qorvex::isam {
namespace {

constexpr uint64_t kMinMapping = uint64_t{64} << 20;
constexpr uint64_t kMaxMapping = uint64_t{1} << 40;
// Gathered appends are written in the file's aligned units of 2 MiB: a write
// that fills a whole unit lets the page cache hold it in one large page,
// which a mapping then maps with a single entry (on the virtual machines
// measured, the first touch of each 4 KiB page costs more than a read call).
constexpr uint64_t kAppendUnit = uint64_t{2} << 20;
// The page tables of a mapping are set up a chunk at a time when an access
// first touches it: a fault per page costs more than a read call.
constexpr int kChunkShift = 20;
#ifndef MADV_POPULATE_READ
constexpr int MADV_POPULATE_READ = 22;
#endif

// --- The guard (2) ---------------------------------------------------------

// Where a fault inside a guarded copy of this thread returns to (volatile:
// the signal handler reads it; the copy does not).
thread_local sigjmp_buf* volatile faultReturn = nullptr;
struct sigaction previousBusAction;
bool guardInstalled = false;
uint64_t faults = 0;

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* back = faultReturn) {
    faultReturn = nullptr;
    siglongjmp(*back, 1);
  }
  // Not a guarded copy: what the program had before.
  const struct sigaction& was = previousBusAction;
  if (was.sa_flags & SA_SIGINFO) return was.sa_sigaction(signal, info, context);
  if (was.sa_handler != SIG_DFL && was.sa_handler != SIG_IGN) return was.sa_handler(signal);
  // The default: the fault repeats on return and ends the process.
  ::signal(SIGBUS, SIG_DFL);
}

void InstallGuard() {
  if (guardInstalled) return;
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  // Not deferred: the jump back leaves the signal mask as it was.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  guardInstalled = sigaction(SIGBUS, &action, &previousBusAction) == 0;
}

// Runs an access of mapped memory; false when it faulted (instead of the
// process dying of it).
template <typename Access>
[[gnu::noinline]] bool Guarded(const Access& access) {
  sigjmp_buf back;
  if (sigsetjmp(back, 0) != 0) return false;
  faultReturn = &back;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  access();
  std::atomic_signal_fence(std::memory_order_seq_cst);
  faultReturn = nullptr;
  return true;
}

// --- The mapping (1) -------------------------------------------------------

uint64_t Epoch(const TFileBlock* fb, const FileEntry& f) {
  switch (f.access) {
    case FileAccess::kOwn:
      return 1;
    case FileAccess::kShared:
      return NetLockEpoch(fb);
    case FileAccess::kDirect:
      break;
  }
  return 0;
}

// True when f.size bounds mapped access now (read from the OS when this
// epoch has not read it yet).
bool Sized(const TFileBlock* fb, FileEntry& f) {
  const uint64_t epoch = Epoch(fb, f);
  if (epoch == 0 || f.mapRefused || !guardInstalled) return false;
  if (f.sizeEpoch == epoch) return true;
  struct stat st {};
  if (Os().FStat(f.fd, &st) != 0) return false;
  f.size = static_cast<uint64_t>(st.st_size);
  f.sizeEpoch = epoch;
  return true;
}

bool Overlaps(const FileEntry& f, uint64_t offset, size_t n) {
  return !f.pending.empty() && offset < f.pendingAt + f.pending.size() && f.pendingAt < offset + n;
}

void Unmap(FileEntry& f) {
  if (f.map != nullptr) Os().Unmap(f.map, f.mapLength);
  f.map = nullptr;
  f.mapLength = 0;
  f.populated.clear();
}

// The mapping covers [0, end) (mapped beyond the file's end, to grow into).
bool Mapped(FileEntry& f, uint64_t end) {
  if (f.map != nullptr && end <= f.mapLength) return true;
  uint64_t length = kMinMapping;
  while (length < end || length < 2 * f.size) length *= 2;
  if (length > kMaxMapping) return false;
  Unmap(f);
  void* p = Os().Map(f.fd, static_cast<size_t>(length), f.pagesThroughMap);
  if (p == MAP_FAILED) {
    f.mapRefused = true;
    return false;
  }
  f.map = static_cast<uint8_t*>(p);
  f.mapLength = length;
  f.populated.assign(length >> kChunkShift, false);
  return true;
}

// Sets up the page tables of the chunks that [offset, offset + n) touches,
// as far as the file reaches (a kernel without it faults page by page).
void Populate(FileEntry& f, uint64_t offset, size_t n) {
  for (uint64_t c = offset >> kChunkShift; c <= (offset + n - 1) >> kChunkShift; ++c) {
    if (f.populated[c]) continue;
    f.populated[c] = true;
    const uint64_t from = c << kChunkShift;
    const uint64_t to = std::min(f.size, (c + 1) << kChunkShift);
    if (to > from) Os().Advise(f.map + from, static_cast<size_t>(to - from), MADV_POPULATE_READ);
  }
}

// The bytes [offset, offset + n) in the mapping, when they lie below f.size.
uint8_t* InMapping(const TFileBlock* fb, FileEntry& f, uint64_t offset, size_t n) {
  if (n == 0 || !Sized(fb, f) || offset > f.size || n > f.size - offset) return nullptr;
  if (!Mapped(f, offset + n)) return nullptr;
  Populate(f, offset, n);
  return f.map + offset;
}

// After a guarded copy faulted: the length is read again before the next
// mapped access.
void Faulted(FileEntry& f) {
  ++faults;
  f.sizeEpoch = 0;
}

bool WriteNow(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n) {
  const bool sized = Sized(fb, f);
  if (!FileWrite(f.fd, offset, buf, n)) return false;
  if (sized) f.size = std::max(f.size, offset + n);
  return true;
}

}  // namespace

void SetUpFileAccess(TFileBlock* fb) {
  FileAccess access = FileAccess::kDirect;
  if (IsNetwork(fb))
    access = FileAccess::kShared;
  else if (!fb->readOnly)
    access = FileAccess::kOwn;
  if (access != FileAccess::kDirect) InstallGuard();
  fb->data.access = fb->index.access = access;
  const bool own = access == FileAccess::kOwn && !fb->saveMode;
  fb->data.gatherAppends = own;
  fb->index.pagesThroughMap = own;
}

bool BlockWritePending(TFileBlock* fb, FileEntry& f) {
  if (f.pending.empty()) return true;
  if (!WriteNow(fb, f, f.pendingAt, f.pending.data(), f.pending.size())) return false;
  f.pending.clear();
  return true;
}

bool BlockReadMapped(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n) {
  if (Overlaps(f, offset, n)) return false;
  const uint8_t* p = InMapping(fb, f, offset, n);
  if (p == nullptr) return false;
  if (Guarded([&] { std::memcpy(buf, p, n); })) return true;
  Faulted(f);
  return false;
}

bool BlockRead(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n) {
  if (Overlaps(f, offset, n) && !BlockWritePending(fb, f)) return false;
  return BlockReadMapped(fb, f, offset, buf, n) || FileRead(f.fd, offset, buf, n);
}

bool BlockWrite(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n) {
  return BlockWritePending(fb, f) && WriteNow(fb, f, offset, buf, n);
}

bool BlockAppend(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n) {
  if (!f.gatherAppends) return BlockWrite(fb, f, offset, buf, n);
  if (offset != f.pendingAt + f.pending.size() && !BlockWritePending(fb, f)) return false;
  const auto* bytes = static_cast<const uint8_t*>(buf);
  while (n > 0) {
    if (f.pending.empty()) f.pendingAt = offset;
    // Up to the end of the unit the gathered bytes lie in, which is then
    // written whole.
    const uint64_t end = f.pendingAt + f.pending.size();
    const uint64_t unitEnd = (f.pendingAt / kAppendUnit + 1) * kAppendUnit;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n, unitEnd - end));
    try {
      f.pending.reserve(kAppendUnit);
      f.pending.insert(f.pending.end(), bytes, bytes + take);
    } catch (const std::bad_alloc&) {
      return BlockWritePending(fb, f) && WriteNow(fb, f, offset, bytes, n);
    }
    offset += take;
    bytes += take;
    n -= take;
    if (end + take == unitEnd && !BlockWritePending(fb, f)) return false;
  }
  return true;
}

bool BlockWritePage(TFileBlock* fb, FileEntry& f, uint64_t offset, const uint8_t* unpacked,
                    int count, int keyLength) {
  const size_t n = PackedPageBytes(count, keyLength);
  if (f.pagesThroughMap && f.pending.empty()) {
    if (uint8_t* p = InMapping(fb, f, offset, n)) {
      if (Guarded([&] { PackPageTo(p, unpacked, count, keyLength); })) return true;
      Faulted(f);
    }
  }
  uint8_t packed[kPageBufferBytes];
  PackPageTo(packed, unpacked, count, keyLength);
  return BlockWrite(fb, f, offset, packed, n);
}

bool BlockSize(TFileBlock* fb, FileEntry& f, uint64_t& size) {
  return BlockWritePending(fb, f) && FileSize(f.fd, size);
}

bool BlockTruncate(TFileBlock* fb, FileEntry& f, uint64_t length) {
  if (!BlockWritePending(fb, f)) return false;
  f.size = std::min(f.size, length);  // before the file is cut (1)
  return FileTruncate(f.fd, length);
}

void BlockCutBack(FileEntry& f, uint64_t length) {
  TStatusArea saved;
  SaveStatus(saved);
  if (f.pendingAt >= length)
    f.pending.clear();
  else if (f.pending.size() > length - f.pendingAt)
    f.pending.resize(length - f.pendingAt);
  uint64_t size = 0;
  if (FileSize(f.fd, size) && size > length) {
    f.size = std::min(f.size, length);
    FileTruncate(f.fd, length);
  }
  RestoreStatus(saved);
}

bool BlockSync(TFileBlock* fb, FileEntry& f, OsErrorKind* kind) {
  return BlockWritePending(fb, f) && FileFlush(f.fd, kind);
}

void BlockForgetMapping(FileEntry& f) {
  Unmap(f);
  f.sizeEpoch = 0;
  f.mapRefused = false;
}

uint64_t MappedAccessFaults() {
  return faults;
}

bool BlockClose(FileEntry& f) {
  BlockForgetMapping(f);
  f.pending.clear();
  f.pending.shrink_to_fit();
  return FileClose(f.fd);
}

}  // namespace qorvex::isam
