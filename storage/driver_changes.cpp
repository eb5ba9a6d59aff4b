// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's changes: Add, Update, Delete with automatic numbering, the
// indexes kept in step, and the checks against other programs' changes of
// a shared block; see ifdriver.h.
#include <algorithm>
#include <climits>

#include "storage/driver_internal.h"

namespace qorvex {

using namespace driver;

// Shared blocks: a positioning holds a read lock for its whole length.
bool IFDriver::LockForChange(bool& taken) {
  taken = false;
  if (!shared_ || IsFileBlockLocked(handle_, true)) return true;
  if (!Engine([&] { LockFileBlock(handle_); }, 10)) return false;
  taken = true;
  return true;
}

void IFDriver::Unlock(bool taken) {
  if (!taken) return;
  TStatusArea status;
  SaveStatus(status);
  if (!Retried([&] { UnlockFileBlock(handle_); })) Fail(EngineError, 0, 11);
  RestoreStatus(status);
}
// --- Changes -------------------------------------------------------------------------

bool IFDriver::AutoNumber() {
  for (uint16_t k = 1; k <= indexCount_; ++k) {
    KeyEntry& e = keys_[k - 1];
    if (e.numberField == nullptr) continue;
    const std::string key = BuildKey(buffer_, k);
    if (key.size() < 5) return Fail(kDriverNumberKey, 0, 1, 0, k), false;
    const std::string prefix = key.substr(0, key.size() - 5);
    std::string found;
    int32_t ref = 0;
    Retried([&] {
      found = prefix + std::string(kMaxKeyText - prefix.size(), '\xFF');
      ref = INT32_MAX;
      FindKeyAndRef(handle_, k, ref, -1, found);
    });
    int32_t value = e.startValue;
    if (EngineOK && found.compare(0, prefix.size(), prefix) == 0) {
      if (found.size() != prefix.size() + 5) return Fail(kDriverNumberKey, 0, 2, 0, k), false;
      const int32_t n = KeyToLong(std::string_view(found).substr(prefix.size()));
      if (n > INT32_MAX - e.increment) return Fail(kDriverNumberOverflow, 0, 3, 0, k), false;
      value = std::max(n + e.increment, e.startValue);
    } else if (!EngineOK && ErrorClass() != 1) {
      return Fail(EngineError, 0, 4, 0, k), false;
    }
    ClearStatus();
    std::memcpy(e.numberField, &value, 4);
  }
  return true;
}

bool IFDriver::DoAdd() {
  if (LoadWord(buffer_) != 0) return Fail(kDriverAddFirstWord), false;
  bool taken = false;
  if (!LockForChange(taken)) return false;
  bool ok = AutoNumber();
  int32_t ref = 0;
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  if (ok)
    ok = variableLength_
             ? Engine([&] { AddVariableRecord(handle_, ref, buffer_, length); }, 5, 0, 0, 3)
             : Engine([&] { AddRecord(handle_, ref, buffer_); }, 5, 0, 0, 3);
  for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
    const std::string key = BuildKey(buffer_, k);
    if (Retried([&] { AddKey(handle_, k, ref, key); })) continue;
    // Take back what this add did; the key's failure is the answer.
    TStatusArea status;
    SaveStatus(status);
    for (uint16_t j = 1; j < k; ++j) DeleteKey(handle_, j, ref, BuildKey(buffer_, j));
    if (variableLength_)
      DeleteVariableRecord(handle_, ref);
    else
      DeleteRecord(handle_, ref);
    RestoreStatus(status);
    Fail(EngineError, 0, 6, ref, k);
    ok = false;
  }
  if (ok) {
    TakeSnapshot(length);
    currentRef_ = readRef_ = ref;
  }
  Unlock(taken);
  return ok;
}

bool IFDriver::Add() {
  if (Enter(kOpAdd)) DoAdd();
  return Leave(false);
}

void IFDriver::TakeSnapshot(uint16_t length) {
  // Only the stored part is copied: a lexicon walk reads records of about a
  // kilobyte into a 64 KiB buffer, and copying all of it dominated the walk.
  std::memcpy(snapshot_.data(), buffer_, length);
  if (snapshotUsed_ > length) std::memset(snapshot_.data() + length, 0, snapshotUsed_ - length);
  snapshotUsed_ = readLength_ = length;
}

bool IFDriver::SameAsSnapshot() const {
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  return length == readLength_ && std::memcmp(buffer_, snapshot_.data(), length) == 0;
}

// The current record as it is on disk now; deleted when its slot no longer
// holds a live record.
bool IFDriver::ReRead(std::vector<uint8_t>& out, uint16_t& length, bool& deleted) {
  out.assign(recordLength_, 0);
  deleted = false;
  int32_t marker = 0;
  if (!Engine([&] { ReadRecordMarker(handle_, currentRef_, marker); }, 20, currentRef_, 0, 3))
    return false;
  if (marker != 0) {
    deleted = true;
    return true;
  }
  if (variableLength_) {
    uint32_t n = recordLength_;
    if (!Engine(
            [&] {
              n = recordLength_;
              GetVariableRecord(handle_, currentRef_, out.data(), true, n);
            },
            21, currentRef_, 0, 3))
      return false;
    length = static_cast<uint16_t>(n);
  } else {
    if (!Engine([&] { GetRecord(handle_, currentRef_, out.data(), true); }, 21, currentRef_, 0, 3))
      return false;
    length = recordLength_;
  }
  return true;
}

bool IFDriver::DoUpdate() {
  if (currentRef_ <= 0) return Fail(kDriverUpdateNoCurrent), false;
  if (LoadWord(buffer_) != 0) return Fail(kDriverUpdateFirstWord), false;
  if (SameAsSnapshot()) return true;
  const int32_t ref = currentRef_;
  const uint16_t length = variableLength_ ? varLength_ : recordLength_;
  bool taken = false;
  bool recordLocked = false;
  auto release = [&] {
    if (recordLocked) {
      TStatusArea status;
      SaveStatus(status);
      UnlockRecord(handle_, ref);
      RestoreStatus(status);
    }
    Unlock(taken);
  };
  if (shared_) {
    if (!LockForChange(taken)) return false;
    if (!Engine([&] { LockRecord(handle_, ref); }, 12, ref)) return release(), false;
    recordLocked = true;
    std::vector<uint8_t> disk;
    uint16_t diskLength = 0;
    bool deleted = false;
    if (!ReRead(disk, diskLength, deleted)) return release(), false;
    if (deleted) {
      release();
      if (retryHandler_ && retryHandler_(blockName_, kRetryDeletedMeanwhile)) return DoAdd();
      return Fail(kDriverDeletedMeanwhile, 4, 13, ref), false;
    }
    if (diskLength != readLength_ || std::memcmp(disk.data(), snapshot_.data(), diskLength) != 0)
      return release(), Fail(kDriverChangedMeanwhile, 5, 14, ref), false;
  }
  // Changed keys: the old one goes, the new one comes.
  std::vector<uint16_t> changed;
  bool ok = true;
  for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
    const std::string before = BuildKey(snapshot_.data(), k), after = BuildKey(buffer_, k);
    if (before == after) continue;
    if (!Engine([&] { DeleteKey(handle_, k, ref, before); }, 15, ref, k)) {
      ok = false;
    } else if (!Retried([&] { AddKey(handle_, k, ref, after); })) {
      TStatusArea status;
      SaveStatus(status);
      AddKey(handle_, k, ref, before);
      RestoreStatus(status);
      Fail(EngineError, 0, 16, ref, k);
      ok = false;
    } else {
      changed.push_back(k);
    }
  }
  if (ok)
    ok = variableLength_
             ? Engine([&] { PutVariableRecord(handle_, ref, buffer_, length); }, 17, ref, 0, 6)
             : Engine([&] { PutRecord(handle_, ref, buffer_, false); }, 17, ref, 0, 6);
  if (!ok) {
    // Undo the key changes made so far.
    TStatusArea status;
    SaveStatus(status);
    for (uint16_t k : changed) {
      DeleteKey(handle_, k, ref, BuildKey(buffer_, k));
      AddKey(handle_, k, ref, BuildKey(snapshot_.data(), k));
    }
    RestoreStatus(status);
  } else {
    TakeSnapshot(length);
  }
  release();
  return ok;
}

bool IFDriver::Update() {
  if (Enter(kOpUpdate)) DoUpdate();
  return Leave(false);
}

bool IFDriver::DoDelete(int mode) {
  if (!SameAsSnapshot() || currentRef_ != readRef_) return Fail(kDriverDeleteNotRead, 1), false;
  if (currentRef_ <= 0) return Fail(kDriverDeleteNoCurrent), false;
  const int32_t ref = currentRef_;
  bool taken = false;
  if (!LockForChange(taken)) return false;
  bool ok = true;
  bool gone = false;
  if (shared_) {
    ok = Engine([&] { LockRecord(handle_, ref); }, 22, ref);
    if (ok) {
      std::vector<uint8_t> disk;
      uint16_t diskLength = 0;
      ok = ReRead(disk, diskLength, gone);
      if (ok && !gone &&
          (diskLength != readLength_ || std::memcmp(disk.data(), snapshot_.data(), diskLength)))
        ok = false, Fail(kDriverChangedMeanwhile, 4, 23, ref);
      TStatusArea status;
      SaveStatus(status);
      UnlockRecord(handle_, ref);
      RestoreStatus(status);
    }
  }
  const uint16_t index = currentIndex_;
  const std::string key = index != 0 ? BuildKey(snapshot_.data(), index) : std::string();
  if (ok && !gone) {
    for (uint16_t k = 1; ok && k <= indexCount_; ++k) {
      const std::string kk = BuildKey(snapshot_.data(), k);
      if (Retried([&] { DeleteKey(handle_, k, ref, kk); })) continue;
      if (EngineError == kErrDeleteKeyNotFound) {  // already missing: tolerated
        Stack().SetDeleteKeyFlag();
        ClearStatus();
        continue;
      }
      Fail(EngineError, 0, 24, ref, k);
      ok = false;
    }
    if (ok)
      ok = variableLength_ ? Engine([&] { DeleteVariableRecord(handle_, ref); }, 25, ref)
                           : Engine([&] { DeleteRecord(handle_, ref); }, 25, ref);
  }
  Unlock(taken);
  currentRef_ = -1;
  if (ok && !gone && mode != 0) Reposition(mode, key, ref);
  return ok;
}

bool IFDriver::Delete(int mode) {
  if (Enter(kOpDelete)) DoDelete(mode);
  return Leave(mode != 0);
}

}  // namespace qorvex
