// Network locking between programs sharing a file block (isam layer).
// Without network use (engine kind 0, or a file block opened without the
// network flag) every lock succeeds at once and every query is false.
#pragma once

#include "isam/fileblock.h"

namespace qorvex::isam {

enum : int32_t {
  kNetErrUnknownKind = 10310,
  kNetErrShutdown = 10315,
};

uint8_t EngineNetworkKind();
void NetInit(uint8_t kind);
bool NetShutdown();
bool NetHoldsWriteLock(const TFileBlock* fb);
// Entry check step 7: takes a read lock unless one is held; taken is true
// when this call took it.
bool NetTakeAutomaticReadLock(TFileBlock* fb, bool& taken);
void NetReleaseAutomaticReadLock(TFileBlock* fb);

}  // namespace qorvex::isam
