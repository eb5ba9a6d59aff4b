// SPDX-License-Identifier: GPL-3.0-or-later
// Engine status (isam layer): the global outcome of the last engine
// operation and the OS failure behind it (the numbers: isam/errors.h).
//
// Invariants:
//  1. EngineOK == (EngineError == 0) after every operation.
//  2. EngineFirstIoFunction/EngineFirstOsError hold the first failed OS call
//     since ClearStatus (0 while none failed); EngineFailedFile its file.
#pragma once

#include <array>
#include <cstdint>

#include "isam/errors.h"

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
// ErrorClassOf(EngineError): 0 ok, 1 not found, 2 busy / check access, 3
// failed but restored, 4 fatal.
int ErrorClass();

namespace isam {

// Sets EngineOK false and EngineError; returns false for `return Fail(e);`.
bool Fail(int32_t error);

}  // namespace isam
}  // namespace qorvex
