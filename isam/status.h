// SPDX-License-Identifier: GPL-3.0-or-later
// Engine status (isam layer): the global outcome of the last engine
// operation, the OS failure behind it, and the engine's error numbers.
//
// Invariants:
//  1. EngineOK == (EngineError == 0) after every operation.
//  2. EngineFirstIoFunction/EngineFirstOsError hold the first failed OS call
//     since ClearStatus (0 while none failed); EngineFailedFile its file.
#pragma once

#include <array>
#include <cstdint>

namespace qorvex {

extern bool EngineOK;
extern int32_t EngineError;
extern uint16_t EngineIoFunction;
extern uint32_t EngineOsError;
extern uint16_t EngineFirstIoFunction;
extern uint32_t EngineFirstOsError;
// The file the first failed file call since ClearStatus concerned, "" when
// none did or it is not known (not part of the saved status area).
const char* EngineFailedFile();

// 9 bytes: EngineOK, EngineError (LE), EngineFirstOsError low 16 bits (LE),
// EngineFirstIoFunction (LE).
using TStatusArea = std::array<uint8_t, 9>;

void ClearStatus();
void SaveStatus(TStatusArea& area);
void RestoreStatus(const TStatusArea& area);
// 0 ok, 1 not found, 2 busy / check access, 3 failed but restored, 4 fatal.
int ErrorClass();

namespace isam {

// Error numbers (the ones several units share; others stand where used).
enum : int32_t {
  kErrPathNotFound = 9900,
  kErrTooManyFiles = 9901,
  kErrFileNotFound = 9903,
  kErrInvalidHandle = 9904,
  kErrInvalidAccess = 9908,
  kErrNoPageBuffers = 10000,
  kErrAddRecordRestored = 10001,
  kErrDeleteRecordRestored = 10002,
  kErrAddKeyRestored = 10003,
  kErrDeleteKeyRestored = 10004,
  kErrMustRebuild = 10010,
  kErrRecordLengthTooSmall = 10020,
  kErrNoDescriptorMemory = 10030,
  kErrNoVariableBuffer = 10040,
  kErrTooManyIndexes = 10050,
  kErrBadKeyLength = 10055,
  kErrHeaderTooManyIndexes = 10060,
  kErrReadOnly = 10065,
  kErrReadPastEnd = 10070,
  kErrWriteIncomplete = 10075,
  kErrNotOpen = 10080,
  kErrNoCreateMemory = 10090,
  kErrNoOpenMemory = 10100,
  kErrPageSizeMismatch = 10120,
  kErrDerivedKeyLength = 10121,
  kErrKeysPerPage = 10122,
  kErrKeyTooLong = 10125,
  kErrPutRefZero = 10130,
  kErrDeleteRefRange = 10135,
  kErrFile = 10140,
  kErrNetworkFlush = 10150,
  kErrClose = 10160,
  kErrKeyNumber = 10164,
  kErrChainCorrupt = 10170,
  kErrLogUnreadable = 10180,
  kErrKeyNotFound = 10200,
  kErrRecordLockedRestRead = 10205,
  kErrSearchPastEnd = 10210,
  kErrDeleteKeyNotFound = 10220,
  kErrDuplicateKey = 10230,
  kErrNoNextKey = 10250,
  kErrNextWithoutPosition = 10255,
  kErrNoPrevKey = 10260,
  kErrPrevWithoutPosition = 10265,
  kErrKeyRefNotFound = 10270,
  kErrReadOnlyFileError = 10397,
  kErrNeedsWriteLock = 10398,
  kErrAutoReadLock = 10399,
  kErrReplayReadOnly = 10430,
  kErrDialogMissing = 10440,
  kErrBadHandle = 10445,
  kErrStartedTwice = 10450,
  kErrTooFewBuffersAsked = 10451,
  kErrNotStarted = 10455,
};

// Sets EngineOK false and EngineError; returns false for `return Fail(e);`.
bool Fail(int32_t error);

}  // namespace isam
}  // namespace qorvex
