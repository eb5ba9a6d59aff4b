// SPDX-License-Identifier: GPL-3.0-or-later
// Network locking between programs sharing a file block (isam layer).
// Without network use (engine kind 0, or a file block opened without the
// network flag) every lock succeeds at once and every query is false.
// The dialog file and the lock regions: isam/FORMAT.md sections 4.2 and 5.
#pragma once

#include <cstdint>
#include <vector>

#include "isam/fileblock.h"

namespace qorvex::isam {

inline constexpr int kMaxStations = 5;
inline constexpr uint16_t kDialogValid = 2000;

struct NetState {
  bool writeLocked = false;
  bool readLocked = false;
  bool automatic = false;     // the read lock lives for one operation
  bool noLock = false;        // lock operations do nothing
  bool resync = false;        // every file is re-read at the next lock
  bool broadcastAll = false;  // the next write-lock release sets every bit
  uint32_t slotAreaLength = 0;
  uint16_t slotLength = 0;
  uint16_t station = 0;  // 1..5, 0 while none
  uint16_t highestStation = 0;
  std::vector<int32_t> recordLocks;  // refs this station holds locked
  uint64_t lockEpoch = 0;            // raised each time a file-block lock is taken
};

uint8_t EngineNetworkKind();
void NetInit(uint8_t kind);
bool NetShutdown();

// Slot area length of a dialog for a block with that many indexes.
uint32_t DialogSlotArea(uint8_t indexCount);

// Open steps. NetBeginOpen allocates the state and takes the open lock;
// NetSetUpDialog makes a missing or damaged dialog valid (after checking
// that no other station has the block open); NetClaimStation takes a
// station number; NetEndOpen releases the open lock.
bool NetBeginOpen(TFileBlock* fb, bool noLock);
bool NetAllStationsFree(TFileBlock* fb, bool& free);
bool NetSetUpDialog(TFileBlock* fb);
bool NetClaimStation(TFileBlock* fb);
bool NetEndOpen(TFileBlock* fb);
// Releases what an open that failed took (status kept) and frees the state.
void NetAbandon(TFileBlock* fb);
// Close steps: record locks, file-block lock, station number; frees the state.
bool NetClose(TFileBlock* fb);

bool NetHoldsWriteLock(const TFileBlock* fb);
// While this station holds its read or write lock: a number that no earlier
// lock of this block had. 0 without a lock (or with the no-lock flag): no
// other station is kept from shrinking the files then.
uint64_t NetLockEpoch(const TFileBlock* fb);
// Entry check step 7: takes a read lock unless one is held; taken is true
// when this call took it.
bool NetTakeAutomaticReadLock(TFileBlock* fb, bool& taken);
bool NetReleaseAutomaticReadLock(TFileBlock* fb);
// Tells the other stations which files changed (flush of a write-locked block).
bool NetBroadcast(TFileBlock* fb);
// Drops the region-lock table entries of a descriptor about to be closed.
void NetForgetHandle(int fd);

}  // namespace qorvex::isam
