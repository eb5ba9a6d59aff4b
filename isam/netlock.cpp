// SPDX-License-Identifier: GPL-3.0-or-later
// Network locking: the per-process region-lock table, station numbers, the
// file-block read and write locks with resynchronisation and broadcast
// through the dialog file, and record locks. Layout: isam/FORMAT.md 4.2, 5.
//
// Every exclusion is an open-file-description region lock that fails at
// once; the engine retries it every 64 ms. A station that dies loses its
// locks with its descriptors, so nothing it held stays locked.
#include "isam/netlock.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <random>
#include <thread>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/indexfile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/pagecache.h"
#include "isam/savelog.h"

namespace qorvex {
namespace isam {
namespace {

constexpr int kRetryStepMs = 64;
constexpr int kShortWaitMs = 768;     // record locks, the read lock
constexpr int kLongWaitMs = 768 * 4;  // the write lock, the open lock
constexpr size_t kMaxTableEntries = 4000;
constexpr uint64_t kStationBase = 0x7FFFFFFF;
constexpr uint64_t kAllStationsOffset = 0x7FFF0001, kAllStationsLength = 65535;
constexpr uint64_t kSlotBase = 3;

// --- Region-lock table --------------------------------------------------------

struct Region {
  uint64_t offset = 0, length = 0;
  uint32_t uses = 0;
};
struct Handle {
  int fd = -1;
  std::vector<Region> regions;  // sorted by offset
};
std::vector<Handle> table;  // sorted by fd

Handle* FindHandle(int fd) {
  auto it = std::lower_bound(table.begin(), table.end(), fd,
                             [](const Handle& h, int f) { return h.fd < f; });
  return it != table.end() && it->fd == fd ? &*it : nullptr;
}

std::vector<Region>::iterator FindRegion(Handle& h, uint64_t offset) {
  return std::lower_bound(h.regions.begin(), h.regions.end(), offset,
                          [](const Region& r, uint64_t o) { return r.offset < o; });
}

bool OsLock(int fd, bool exclusive, uint64_t offset, uint64_t length, int waitMs) {
  const short type = exclusive ? F_WRLCK : F_RDLCK;
  for (int waited = 0;; waited += kRetryStepMs) {
    if (Os().RegionLock(fd, type, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0)
      return true;
    const int err = errno;
    if (err != EAGAIN && err != EACCES && err != EINTR)
      return FailIo(kIoLock, err, FileStep::kReadWrite);
    if (waited >= waitMs) {
      FailIo(kIoLock, err, FileStep::kReadWrite);
      return Fail(kNetErrRecordLock);  // timed out
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryStepMs));
  }
}

// Locks a region of fd, counting repeated locks of the same region.
// exclusive is false for descriptors opened read-only, which can only hold
// shared locks: they keep writers out but not one another.
bool RegionLock(int fd, bool exclusive, uint64_t offset, uint64_t length, int waitMs) {
  Handle* h = FindHandle(fd);
  if (h != nullptr) {
    auto it = FindRegion(*h, offset);
    if (it != h->regions.end() && it->offset == offset) {
      if (it->length != length) return Fail(kNetErrRecordLock);
      ++it->uses;
      return true;
    }
    if (h->regions.size() >= kMaxTableEntries) return Fail(kNetErrRecordLock);
  } else if (table.size() >= kMaxTableEntries) {
    return Fail(kNetErrRecordLock);
  }
  if (!OsLock(fd, exclusive, offset, length, waitMs)) return false;
  try {
    if (h == nullptr) {
      auto at = std::lower_bound(table.begin(), table.end(), fd,
                                 [](const Handle& x, int f) { return x.fd < f; });
      h = &*table.insert(at, Handle{fd, {}});
    }
    h->regions.insert(FindRegion(*h, offset), Region{offset, length, 1});
  } catch (const std::bad_alloc&) {
    Os().RegionLock(fd, F_UNLCK, static_cast<off_t>(offset), static_cast<off_t>(length));
    return Fail(kNetErrRecordLock);
  }
  return true;
}

bool RegionUnlock(int fd, uint64_t offset, uint64_t length) {
  Handle* h = FindHandle(fd);
  if (h == nullptr) return Fail(kNetErrRegionUnlock);
  auto it = FindRegion(*h, offset);
  if (it == h->regions.end() || it->offset != offset || it->length != length)
    return Fail(kNetErrRegionUnlock);
  if (it->uses > 1) {
    --it->uses;
    return true;
  }
  if (Os().RegionLock(fd, F_UNLCK, static_cast<off_t>(offset), static_cast<off_t>(length)) != 0) {
    FailIo(kIoUnlock, errno, FileStep::kReadWrite);
    return Fail(kNetErrRegionUnlock);
  }
  h->regions.erase(it);
  if (h->regions.empty()) table.erase(table.begin() + (h - table.data()));
  return true;
}

// --- Dialog file ----------------------------------------------------------------

bool Exclusive(const TFileBlock* fb) {
  return !fb->readOnly;
}
uint64_t StationSlot(const NetState& n, int station) {
  return kSlotBase + static_cast<uint64_t>(station) * n.slotLength;
}
bool HasBit(const uint8_t* slot, int bit) {
  return (slot[bit / 8] >> (bit % 8)) & 1;
}

// Bytes 1.. of the dialog: header and every slot; what the file lacks reads 0.
bool ReadDialog(TFileBlock* fb, std::vector<uint8_t>& area) {
  const NetState& n = *fb->net;
  area.assign(2 + n.slotAreaLength, 0);
  size_t got = 0;
  return FileReadSome(fb->dialog.fd, 1, area.data(), area.size(), got);
}

bool WriteDialog(TFileBlock* fb, std::vector<uint8_t>& area) {
  StoreU16(area.data(), kDialogValid);
  return FileWrite(fb->dialog.fd, 1, area.data(), area.size());
}

// Sets the bits of every file in the slot of every station but this one.
void SetOthersAll(const TFileBlock* fb, std::vector<uint8_t>& area) {
  const NetState& n = *fb->net;
  for (int s = 0; s <= n.highestStation; ++s) {
    uint8_t* slot = area.data() + 2 + s * n.slotLength;
    if (s == n.station) {
      std::memset(slot, 0, n.slotLength);
      continue;
    }
    for (int bit = 0; bit <= fb->indexCount; ++bit) slot[bit / 8] |= 1 << (bit % 8);
  }
}

// Re-reads file k's header and forgets what was cached of it.
bool Reread(TFileBlock* fb, int k) {
  if (k == 0) return RereadDataHeader(fb);
  if (!RereadIndexHeader(fb, k)) return false;
  DropPages(fb, k);
  return true;
}

// After taking a lock: the files other stations changed are read again.
bool Resynchronise(TFileBlock* fb) {
  NetState& n = *fb->net;
  std::vector<uint8_t> area;
  if (!ReadDialog(fb, area)) return false;
  if (LoadU16(area.data()) == kDialogValid) {
    const uint8_t* own = area.data() + 2 + n.station * n.slotLength;
    bool any = false;
    for (int k = 0; k <= fb->indexCount; ++k) {
      if (!n.resync && !HasBit(own, k)) continue;
      if (!Reread(fb, k)) return false;
      any = true;
    }
    n.resync = false;
    if (!any || fb->readOnly) return true;
    const std::vector<uint8_t> zero(n.slotLength, 0);
    return FileWrite(fb->dialog.fd, StationSlot(n, n.station), zero.data(), zero.size());
  }
  // No valid dialog: a save-mode log (or damage) took its place. Keep the
  // others out, undo what the log holds, and make everyone re-read all.
  std::vector<int> locked;
  bool ok = true;
  if (!n.writeLocked) {
    for (int s = 0; s <= n.highestStation && ok; ++s) {
      if (s == n.station) continue;
      if (!RegionLock(fb->dialog.fd, Exclusive(fb), StationSlot(n, s), n.slotLength, kShortWaitMs))
        ok = Fail(kNetErrWriteLock);
      else
        locked.push_back(s);
    }
  }
  for (int k = 0; ok && k <= fb->indexCount; ++k) ok = Reread(fb, k);
  uint64_t size = 0;
  if (ok) ok = FileSize(fb->dialog.fd, size);
  if (ok && size > 1) ok = LogReplay(fb);
  if (ok && !fb->readOnly) {
    ok = ReadDialog(fb, area);
    if (ok) {
      std::fill(area.begin(), area.end(), 0);
      SetOthersAll(fb, area);
      ok = WriteDialog(fb, area);
    }
  }
  if (ok) n.resync = false;
  TStatusArea saved;
  SaveStatus(saved);
  bool released = true;
  for (int s : locked)
    if (!RegionUnlock(fb->dialog.fd, StationSlot(n, s), n.slotLength)) released = false;
  RestoreStatus(saved);
  if (ok && !released) return Fail(kNetErrRelease);
  return ok;
}

bool WriteBackForRelease(TFileBlock* fb) {
  if (fb->readOnly) return true;
  bool ok = WriteBackPages(fb, false);
  for (int k = 1; ok && k <= fb->indexCount; ++k)
    if (fb->desc[k].modified) ok = WriteIndexHeader(fb, k);
  if (ok) {
    if (fb->desc[0].modified) {
      ok = WriteDataHeader(fb, false);
    } else if (fb->inUse) {
      const uint8_t zero = 0;
      ok = BlockWrite(fb, fb->data, 20, &zero, 1);
    }
  }
  if (ok) fb->inUse = false;
  return ok && NetBroadcast(fb);
}

// A failed write-back keeps the lock: no other station may see the half-
// written state, and the release can be tried again (close gives it up).
bool ReleaseWriteLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (!WriteBackForRelease(fb)) return false;
  if (!RegionUnlock(fb->dialog.fd, kSlotBase, n.slotAreaLength)) return Fail(kNetErrRelease);
  n.writeLocked = false;
  return true;
}

bool ReleaseReadLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (!RegionUnlock(fb->dialog.fd, StationSlot(n, n.station), n.slotLength))
    return Fail(kNetErrRelease);
  n.readLocked = false;
  n.automatic = false;
  return true;
}

bool TakeReadLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (n.noLock || n.readLocked) return true;
  if (n.writeLocked && !ReleaseWriteLock(fb)) return Fail(kNetErrRelease);
  if (!RegionLock(fb->dialog.fd, Exclusive(fb), StationSlot(n, n.station), n.slotLength,
                  kShortWaitMs))
    return false;
  n.readLocked = true;
  ++n.lockEpoch;
  if (Resynchronise(fb)) return true;
  TStatusArea saved;
  SaveStatus(saved);
  ReleaseReadLock(fb);
  RestoreStatus(saved);
  return false;
}

bool TakeWriteLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (n.noLock || n.writeLocked) return true;
  if (n.readLocked && !ReleaseReadLock(fb)) return false;
  if (!RegionLock(fb->dialog.fd, Exclusive(fb), kSlotBase, n.slotAreaLength, kLongWaitMs))
    return Fail(kNetErrWriteLock);
  n.writeLocked = true;
  ++n.lockEpoch;
  if (!Resynchronise(fb)) {
    TStatusArea saved;
    SaveStatus(saved);
    if (RegionUnlock(fb->dialog.fd, kSlotBase, n.slotAreaLength)) n.writeLocked = false;
    RestoreStatus(saved);
    return false;
  }
  if (fb->saveMode) {
    // The log takes the dialog's place: no stale slot bytes may follow it.
    // Every other station re-reads everything after this lock, as the
    // release broadcasts all bits (or the next lock finds no dialog).
    if (!FileTruncate(fb->dialog.fd, 1)) {
      TStatusArea saved;
      SaveStatus(saved);
      if (RegionUnlock(fb->dialog.fd, kSlotBase, n.slotAreaLength)) n.writeLocked = false;
      RestoreStatus(saved);
      return false;
    }
    fb->logEnd = 1;
    LogBeginOperation(fb);
  }
  for (Descriptor& d : fb->desc) d.changed = false;
  return true;
}

bool ReleaseFileBlockLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (n.noLock) return true;
  if (n.writeLocked) return ReleaseWriteLock(fb);
  if (n.readLocked) return ReleaseReadLock(fb);
  return true;
}

std::vector<int32_t>::iterator FindRecordLock(NetState& n, int32_t ref) {
  return std::find(n.recordLocks.begin(), n.recordLocks.end(), ref);
}

}  // namespace

uint32_t DialogSlotArea(uint8_t indexCount) {
  return ((indexCount + 1u) / 8 + 1) * (kMaxStations + 1);
}

void NetInit(uint8_t) {}

bool NetShutdown() {
  table.clear();
  table.shrink_to_fit();
  return true;
}

void NetForgetHandle(int fd) {
  Handle* h = FindHandle(fd);
  if (h != nullptr) table.erase(table.begin() + (h - table.data()));
}

bool NetBeginOpen(TFileBlock* fb, bool noLock) {
  fb->net = new (std::nothrow) NetState;
  if (fb->net == nullptr) return Fail(kNetErrNoStateMemory);
  fb->net->noLock = noLock;
  if (!RegionLock(fb->dialog.fd, Exclusive(fb), kSlotBase, 1, kLongWaitMs))
    return Fail(kNetErrOpenLock);
  return true;
}

bool NetAllStationsFree(TFileBlock* fb, bool& free) {
  free = false;
  if (Os().RegionLock(fb->dialog.fd, Exclusive(fb) ? F_WRLCK : F_RDLCK,
                      static_cast<off_t>(kAllStationsOffset),
                      static_cast<off_t>(kAllStationsLength)) != 0) {
    const int err = errno;
    if (err == EAGAIN || err == EACCES) return true;
    return FailIo(kIoLock, err, FileStep::kReadWrite);
  }
  free = true;
  if (Os().RegionLock(fb->dialog.fd, F_UNLCK, static_cast<off_t>(kAllStationsOffset),
                      static_cast<off_t>(kAllStationsLength)) != 0)
    return FailIo(kIoUnlock, errno, FileStep::kReadWrite);
  return true;
}

bool NetSetUpDialog(TFileBlock* fb) {
  NetState& n = *fb->net;
  n.slotLength = static_cast<uint16_t>((fb->indexCount + 1) / 8 + 1);
  n.slotAreaLength = DialogSlotArea(fb->indexCount);
  n.highestStation = static_cast<uint16_t>(n.slotAreaLength / n.slotLength - 1);
  uint64_t size = 0;
  if (!FileSize(fb->dialog.fd, size)) return false;
  uint8_t h[2] = {};
  if (size >= 3 && !FileRead(fb->dialog.fd, 1, h, 2)) return false;
  if (size == kSlotBase + n.slotAreaLength && LoadU16(h) == kDialogValid) return true;
  bool free = false;
  if (!NetAllStationsFree(fb, free)) return false;
  if (!free) return Fail(kNetErrDialogBusy);
  if (size == 0) {
    const uint8_t zero = 0;
    if (!FileWrite(fb->dialog.fd, 0, &zero, 1)) return false;
  }
  if (size > 1 && !LogReplay(fb)) return false;
  std::vector<uint8_t> area(2 + n.slotAreaLength, 0);
  // No station claimed yet (station 0): every station's slot gets every bit;
  // slot 0, nobody's, stays zero.
  SetOthersAll(fb, area);
  return WriteDialog(fb, area);
}

bool NetClaimStation(TFileBlock* fb) {
  NetState& n = *fb->net;
  static std::minstd_rand random(static_cast<unsigned>(getpid()) ^
                                 static_cast<unsigned>(std::random_device{}()));
  const int start = static_cast<int>(random() % kMaxStations) + 1;
  int s = start;
  do {
    if (Os().RegionLock(fb->dialog.fd, Exclusive(fb) ? F_WRLCK : F_RDLCK,
                        static_cast<off_t>(kStationBase - s), 1) == 0) {
      n.station = static_cast<uint16_t>(s);
      return true;
    }
    const int err = errno;
    if (err != EAGAIN && err != EACCES) return FailIo(kIoLock, err, FileStep::kReadWrite);
    s = s == 1 ? kMaxStations : s - 1;
  } while (s != start);
  return Fail(kNetErrNoStation);
}

bool NetEndOpen(TFileBlock* fb) {
  if (!RegionUnlock(fb->dialog.fd, kSlotBase, 1)) return Fail(kNetErrReleaseOpenLock);
  return true;
}

void NetAbandon(TFileBlock* fb) {
  if (fb->net == nullptr) return;
  // Closing the descriptors releases every OS lock; the table forgets them.
  NetForgetHandle(fb->dialog.fd);
  NetForgetHandle(fb->data.fd);
  delete fb->net;
  fb->net = nullptr;
}

bool NetClose(TFileBlock* fb) {
  NetState& n = *fb->net;
  bool ok = true;
  int32_t error = 0;
  while (!n.recordLocks.empty()) {
    const int32_t ref = n.recordLocks.back();
    n.recordLocks.pop_back();
    if (!RegionUnlock(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)), 4) && ok) {
      ok = false;
      error = kNetErrCloseRecordLocks;
    }
  }
  ClearStatus();
  if (!ReleaseFileBlockLock(fb) && ok) {
    ok = false;
    error = kNetErrCloseFileBlockLock;
  }
  ClearStatus();
  if (n.station != 0 && Os().RegionLock(fb->dialog.fd, F_UNLCK,
                                        static_cast<off_t>(kStationBase - n.station), 1) != 0) {
    FailIo(kIoUnlock, errno, FileStep::kReadWrite);
    if (ok) {
      ok = false;
      error = kNetErrReleaseStation;
    }
  }
  NetAbandon(fb);
  ClearStatus();
  return ok || Fail(error);
}

bool NetHoldsWriteLock(const TFileBlock* fb) {
  return fb->net != nullptr && (fb->net->writeLocked || fb->net->noLock);
}

uint64_t NetLockEpoch(const TFileBlock* fb) {
  const NetState* n = fb->net;
  if (n == nullptr || n->noLock || !(n->readLocked || n->writeLocked)) return 0;
  return n->lockEpoch;
}

bool NetTakeAutomaticReadLock(TFileBlock* fb, bool& taken) {
  taken = false;
  NetState& n = *fb->net;
  if (n.noLock || n.readLocked || n.writeLocked) return true;
  if (!TakeReadLock(fb))
    return Fail(EngineError == kErrFile ? int32_t{kErrAutoReadLock} : int32_t{kNetErrReadLock});
  n.automatic = true;
  taken = true;
  return true;
}

bool NetReleaseAutomaticReadLock(TFileBlock* fb) {
  NetState& n = *fb->net;
  if (!n.automatic || !n.readLocked) return true;
  return ReleaseReadLock(fb) || Fail(kNetErrReleaseStation);
}

bool NetBroadcast(TFileBlock* fb) {
  NetState& n = *fb->net;
  std::vector<uint8_t> bits(n.slotLength, 0);
  for (int k = 0; k <= fb->indexCount; ++k) {
    const Descriptor& d = fb->desc[k];
    if (fb->saveMode || n.broadcastAll || d.modified || d.changed) bits[k / 8] |= 1 << (k % 8);
  }
  std::vector<uint8_t> area;
  if (!ReadDialog(fb, area)) return false;
  if (LoadU16(area.data()) != kDialogValid) std::fill(area.begin(), area.end(), 0);
  for (int s = 0; s <= n.highestStation; ++s) {
    uint8_t* slot = area.data() + 2 + s * n.slotLength;
    for (int i = 0; i < n.slotLength; ++i) slot[i] = s == n.station ? 0 : slot[i] | bits[i];
  }
  if (!WriteDialog(fb, area)) return false;
  n.broadcastAll = false;
  for (Descriptor& d : fb->desc) d.changed = false;
  return true;
}

}  // namespace isam

using namespace isam;

void LockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok() || !IsNetwork(fb)) return;
  TakeWriteLock(fb);
}

void ReadLockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok() || !IsNetwork(fb)) return;
  if (!TakeReadLock(fb) && EngineError != kNetErrRelease) Fail(kNetErrReadLock);
}

void UnlockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
  if (!op.ok() || !IsNetwork(fb)) return;
  ReleaseFileBlockLock(fb);
}

void LockRecord(FileBlockHandle fb, int32_t ref) {
  Operation op(fb, 0);
  if (!op.ok() || !IsNetwork(fb) || fb->net->noLock) return;
  NetState& n = *fb->net;
  if (FindRecordLock(n, ref) != n.recordLocks.end()) return;
  if (ref < 0) return void(Fail(kNetErrRecordLock));
  try {
    n.recordLocks.push_back(ref);
  } catch (const std::bad_alloc&) {
    return void(Fail(kNetErrNoRecordLockMemory));
  }
  if (!RegionLock(fb->data.fd, Exclusive(fb), SlotOffset(fb, static_cast<uint32_t>(ref)), 4,
                  kShortWaitMs)) {
    n.recordLocks.pop_back();
    Fail(kNetErrRecordLock);
  }
}

void UnlockRecord(FileBlockHandle fb, int32_t ref) {
  Operation op(fb, 0);
  if (!op.ok() || !IsNetwork(fb) || fb->net->noLock) return;
  NetState& n = *fb->net;
  auto it = FindRecordLock(n, ref);
  if (it != n.recordLocks.end()) n.recordLocks.erase(it);
  if (ref < 0 || !RegionUnlock(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)), 4))
    Fail(kNetErrRegionUnlock);
}

namespace {
// A query that keeps the caller's status when it succeeded itself.
template <typename Answer>
bool Query(FileBlockHandle fb, bool keepStatus, Answer answer) {
  TStatusArea saved;
  SaveStatus(saved);
  bool result = false;
  {
    Operation op(fb, 0);
    if (!op.ok()) return false;
    result = IsNetwork(fb) && answer(*fb->net);
  }
  if (keepStatus) RestoreStatus(saved);
  return result;
}
}  // namespace

bool IsFileBlockLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus, [](const NetState& n) { return n.writeLocked; });
}
bool IsFileBlockReadLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus, [](const NetState& n) { return n.readLocked; });
}
bool IsRecordLocked(FileBlockHandle fb, int32_t ref, bool keepStatus) {
  return Query(fb, keepStatus, [ref](const NetState& n) {
    return std::find(n.recordLocks.begin(), n.recordLocks.end(), ref) != n.recordLocks.end();
  });
}
bool AnyRecordLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus, [](const NetState& n) { return !n.recordLocks.empty(); });
}

}  // namespace qorvex
