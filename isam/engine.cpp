// SPDX-License-Identifier: GPL-3.0-or-later
// Engine control: start and stop, the open list, the entry check and the
// exit step around every operation, the variable-record work buffer.
//
//   not started --InitEngine--> started --ExitEngine--> not started
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "isam/netlock.h"
#include "isam/operation.h"
#include "isam/pagecache.h"

namespace qorvex {
namespace isam {
namespace {

bool started = false;
uint8_t networkKind = 0;
std::vector<TFileBlock*> openList;  // most recently opened first
std::vector<uint8_t> variableBuffer;

// The engine's exit routine: closes what is still open at program end. It
// is registered when the engine first starts, so it runs before any static
// object made before that start is destroyed (the OS layer never is).
void ExitRoutine() {
  if (started) ExitEngine();
  ClearStatus();
}

}  // namespace

bool defaultImplicitPosition = true;

uint8_t EngineNetworkKind() {
  return networkKind;
}

void RegisterOpen(TFileBlock* fb) {
  openList.insert(openList.begin(), fb);
}

bool UnregisterOpen(TFileBlock* fb) {
  auto it = std::find(openList.begin(), openList.end(), fb);
  if (it == openList.end()) return false;
  openList.erase(it);
  return true;
}

bool IsOpenHandle(const TFileBlock* fb) {
  return std::find(openList.begin(), openList.end(), fb) != openList.end();
}

bool GrowVariableBuffer(size_t n, uint8_t*& buffer) {
  if (variableBuffer.size() < n) {
    try {
      variableBuffer.resize(n);
    } catch (const std::bad_alloc&) {
      return Fail(kErrNoVariableBuffer);
    }
  }
  buffer = variableBuffer.data();
  return true;
}

Operation::Operation(TFileBlock* fb, uint16_t flags) : fb_(fb) {
  ClearStatus();
  if (!started) {
    Fail(kErrNotStarted);
    return;
  }
  if (fb == NoFileBlock()) {
    if (!(flags & kEngineWide)) Fail(kErrBadHandle);  // a file-block operation needs a block
    return;
  }
  if (fb == nullptr || !IsOpenHandle(fb) || fb->magic != kFileBlockMagic) {
    Fail(kErrBadHandle);
    return;
  }
  checked_ = true;
  if ((flags & kNotReadOnly) && fb->readOnly) {
    Fail(kErrReadOnly);
    return;
  }
  if ((flags & kNeedWriteLock) && IsNetwork(fb) && !NetHoldsWriteLock(fb)) {
    Fail(kErrNeedsWriteLock);
    return;
  }
  const int key = flags & 0xFF;
  if ((flags & kCheckKey) && (key == 0 || key > fb->indexCount)) {
    Fail(kErrKeyNumber);
    return;
  }
  if ((flags & kAutoReadLock) && IsNetwork(fb)) NetTakeAutomaticReadLock(fb, autoLock_);
}

Operation::~Operation() {
  if (!checked_) return;
  if (!EngineOK && EngineError == kErrFile && (fb_->readOnly || IsNetwork(fb_)))
    EngineError = kErrReadOnlyFileError;
  if (!autoLock_) return;
  // The operation's own error, when it has one, stays.
  TStatusArea saved;
  SaveStatus(saved);
  const bool failed = !EngineOK;
  if (!NetReleaseAutomaticReadLock(fb_) && failed) RestoreStatus(saved);
}

}  // namespace isam

using namespace isam;

FileBlockHandle NoFileBlock() {
  return reinterpret_cast<FileBlockHandle>(~static_cast<uintptr_t>(0));
}

int32_t InitEngine(uint8_t kind, int32_t pageBuffers) {
  ClearStatus();
  if (started) return Fail(kErrStartedTwice), 0;
  if (pageBuffers < 8) return Fail(kErrTooFewBuffersAsked), 0;
  if (kind != 0 && kind != 2) return Fail(kNetErrUnknownKind), 0;
  static const bool exitRoutineRegistered = std::atexit(ExitRoutine) == 0;
  (void)exitRoutineRegistered;
  int32_t obtained = 0;
  if (!InitPageCache(pageBuffers, obtained)) return 0;
  networkKind = kind;
  NetInit(kind);
  started = true;
  return obtained;
}

void ExitEngine() {
  ClearStatus();
  if (!started) {
    Fail(kErrNotStarted);
    return;
  }
  // Close everything, keeping the first error met.
  int32_t firstError = 0;
  while (!openList.empty()) {
    CloseFileBlock(openList.front());
    if (!EngineOK && firstError == 0) firstError = EngineError;
    if (!openList.empty() && !EngineOK && EngineError == kErrBadHandle)
      openList.erase(openList.begin());
  }
  if (firstError != 0) {
    Fail(firstError);
    return;
  }
  FreePageCache();
  variableBuffer.clear();
  variableBuffer.shrink_to_fit();
  started = false;
  if (!NetShutdown()) Fail(kNetErrShutdown);
}

bool CheckEngineReady(bool keepStatus) {
  TStatusArea saved;
  SaveStatus(saved);
  {
    Operation op(NoFileBlock(), kEngineWide);
    if (op.ok() && keepStatus) RestoreStatus(saved);
  }
  return false;
}

bool SetVariableBuffer(uint16_t size) {
  Operation op(NoFileBlock(), kEngineWide);
  if (!op.ok()) return false;
  uint8_t* unused = nullptr;
  return GrowVariableBuffer(size, unused);
}

void ReleaseVariableBuffer() {
  variableBuffer.clear();
  variableBuffer.shrink_to_fit();
}

void SetImplicitPosition(bool on) {
  defaultImplicitPosition = on;
}

}  // namespace qorvex
