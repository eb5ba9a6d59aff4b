// SPDX-License-Identifier: GPL-3.0-or-later
// Engine status and error classes; see status.h.
#include "isam/status.h"

namespace qorvex {

bool EngineOK = true;
int32_t EngineError = 0;
uint16_t EngineIoFunction = 0;
uint32_t EngineOsError = 0;
uint16_t EngineFirstIoFunction = 0;
uint32_t EngineFirstOsError = 0;

namespace isam {
// Set by the OS layer; a fixed buffer, so that clearing it costs nothing.
char failedFile[4096];
}  // namespace isam

const char* EngineFailedFile() {
  return isam::failedFile;
}

void ClearStatus() {
  EngineOK = true;
  EngineError = 0;
  EngineFirstIoFunction = 0;
  EngineFirstOsError = 0;
  isam::failedFile[0] = 0;
}

void SaveStatus(TStatusArea& a) {
  const uint32_t e = static_cast<uint32_t>(EngineError);
  a[0] = EngineOK ? 1 : 0;
  for (int i = 0; i < 4; ++i) a[1 + i] = static_cast<uint8_t>(e >> (8 * i));
  a[5] = static_cast<uint8_t>(EngineFirstOsError);
  a[6] = static_cast<uint8_t>(EngineFirstOsError >> 8);
  a[7] = static_cast<uint8_t>(EngineFirstIoFunction);
  a[8] = static_cast<uint8_t>(EngineFirstIoFunction >> 8);
}

void RestoreStatus(const TStatusArea& a) {
  uint32_t e = 0;
  for (int i = 0; i < 4; ++i) e |= static_cast<uint32_t>(a[1 + i]) << (8 * i);
  EngineOK = a[0] != 0;
  EngineError = static_cast<int32_t>(e);
  EngineFirstOsError = static_cast<uint32_t>(a[5] | (a[6] << 8));
  EngineFirstIoFunction = static_cast<uint16_t>(a[7] | (a[8] << 8));
}

int ErrorClass() {
  return ErrorClassOf(EngineError);
}

namespace isam {

bool Fail(int32_t error) {
  EngineOK = false;
  EngineError = error;
  return false;
}

}  // namespace isam
}  // namespace qorvex
