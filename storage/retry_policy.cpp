// SPDX-License-Identifier: GPL-3.0-or-later
// The retry policy; see retry_policy.h.
#include "storage/retry_policy.h"

#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "isam/engine.h"
#include "storage/driver_internal.h"

namespace qorvex {
namespace {
RetryHandler programHandler;
}  // namespace

void SetRetryHandler(RetryHandler handler) {
  programHandler = std::move(handler);
}

const RetryHandler& ProgramRetryHandler() {
  return programHandler;
}

uint8_t RetryKindOf(int32_t engineError) {
  if (ErrorClassOf(engineError) != 2 || engineError >= kFirstDriverError) return 0;
  switch (engineError) {
    case kErrDriveNotReady:
      return kRetryDriveNotReady;
    case kErrPathNotFound:
      return kRetryPathNotFound;
    case kNetErrRecordLock:
      return kRetryRecordLock;
    case kNetErrWriteLock:
    case kNetErrReadLock:
      return kRetryFileBlockLock;
    default:
      return kRetryLocked;
  }
}

void RetryPause(bool firstHalf) {
  static std::minstd_rand rng(static_cast<unsigned>(getpid()) ^ std::random_device{}());
  const int ms = 1 + static_cast<int>(rng() % (firstHalf ? 90 : 30));
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool IFDriverLow::ShouldRetry() {
  if (EngineOK) return false;
  if (retryCount_ != 0xFFFF) ++waitCounter_;
  const uint8_t kind = RetryKindOf(EngineError);
  if (kind == 0) return false;
  if (AsksAtOnce(kind)) waitCounter_ = retryCount_;
  if (waitCounter_ < retryCount_) {
    RetryPause(waitCounter_ <= retryCount_ / 2);
    return true;
  }
  // Asking while this program holds locks elsewhere could make two programs
  // wait for each other.
  if (!AsksAtOnce(kind) && driver::LocksElsewhere(this)) return false;
  TStatusArea status;
  SaveStatus(status);
  const bool again = retryHandler_ && retryHandler_(blockName_, kind);
  RestoreStatus(status);
  if (!again) return false;
  waitCounter_ = 0;
  return true;
}

}  // namespace qorvex
