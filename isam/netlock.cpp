// Network locking. This build has no network state yet: file blocks are
// never opened for network use (TFileBlock::net stays null), so every lock
// succeeds at once and every query answers false.
#include "isam/netlock.h"

namespace qorvex {
namespace isam {

void NetInit(uint8_t) {}
bool NetShutdown() {
  return true;
}
bool NetHoldsWriteLock(const TFileBlock*) {
  return false;
}
bool NetTakeAutomaticReadLock(TFileBlock*, bool& taken) {
  taken = false;
  return true;
}
void NetReleaseAutomaticReadLock(TFileBlock*) {}

}  // namespace isam

using namespace isam;

void LockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
}
void ReadLockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
}
void UnlockFileBlock(FileBlockHandle fb) {
  Operation op(fb, 0);
}
void LockRecord(FileBlockHandle fb, int32_t) {
  Operation op(fb, 0);
}
void UnlockRecord(FileBlockHandle fb, int32_t) {
  Operation op(fb, 0);
}

namespace {
// A query that keeps the caller's status when it succeeded itself.
bool Query(FileBlockHandle fb, bool keepStatus) {
  TStatusArea saved;
  SaveStatus(saved);
  {
    Operation op(fb, 0);
    if (!op.ok()) return false;
  }
  if (keepStatus) RestoreStatus(saved);
  return false;
}
}  // namespace

bool IsFileBlockLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus);
}
bool IsFileBlockReadLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus);
}
bool IsRecordLocked(FileBlockHandle fb, int32_t, bool keepStatus) {
  return Query(fb, keepStatus);
}
bool AnyRecordLocked(FileBlockHandle fb, bool keepStatus) {
  return Query(fb, keepStatus);
}

}  // namespace qorvex
