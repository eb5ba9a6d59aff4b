// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's retry policy (storage layer): which engine failures are
// retried, how long to wait between tries, and what the program's retry
// handler is asked when the automatic tries ran out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qorvex {

// What the retry handler is asked about (its second argument).
enum RetryKind : uint8_t {
  kRetryLocked = 1,            // record or file locked (any other busy error)
  kRetryRecordLock = 2,        // a record lock timed out
  kRetryFileBlockLock = 3,     // the file-block lock could not be taken
  kRetryDeletedMeanwhile = 4,  // the record to update is gone: add it anew?
  kRetryIndexUnusable = 5,     // rebuild the index?
  kRetryFilesMissing = 6,      // create or rebuild the missing files?
  kRetryDriveNotReady = 7,
  kRetryPathNotFound = 8,
};

// Asked when automatic retries ran out: (block name, kind) -> try again.
using RetryHandler = std::function<bool(const std::string& blockName, uint8_t kind)>;
// The handler every block copies when it is opened (default: never retry).
void SetRetryHandler(RetryHandler handler);
const RetryHandler& ProgramRetryHandler();

// The kind an engine error is retried as; 0 when it is not retried (only
// the busy class 2 is).
uint8_t RetryKindOf(int32_t engineError);
// Kinds that are put to the handler at once, without automatic tries.
constexpr bool AsksAtOnce(uint8_t kind) {
  return kind == kRetryDriveNotReady || kind == kRetryPathNotFound;
}
// Sleeps before the next automatic try: 1..90 ms in the first half of the
// tries, 1..30 ms after.
void RetryPause(bool firstHalf);

}  // namespace qorvex
