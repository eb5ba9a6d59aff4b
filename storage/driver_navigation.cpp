// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's positioning and reading: First, Last, Next, FindKey, Search,
// and the repositioning after a delete; see ifdriver.h.
#include "storage/driver_internal.h"

namespace qorvex {

using namespace driver;

bool IFDriver::ReadRecord(int32_t ref, uint16_t index) {
  const bool locked = HoldsLocks();
  if (variableLength_) {
    uint32_t n = recordLength_;
    if (!Engine(
            [&] {
              n = recordLength_;
              GetVariableRecord(handle_, ref, buffer_, locked, n);
            },
            2, ref, index))
      return false;
    // What the stored record does not cover reads as zero.
    std::memset(buffer_ + n, 0, recordLength_ - n);
    TakeSnapshot(static_cast<uint16_t>(n));
  } else {
    if (!Engine([&] { GetRecord(handle_, ref, buffer_, locked); }, 2, ref, index)) return false;
    TakeSnapshot(recordLength_);
  }
  currentRef_ = readRef_ = ref;
  currentIndex_ = index;
  return true;
}

namespace {
// A read lock around a positioning of a shared block that holds no lock.
class ReadLockScope {
 public:
  ReadLockScope(FileBlockHandle h, bool shared) : h_(h) {
    if (!shared || BlockLocked(h)) return;
    ReadLockFileBlock(h);
    taken_ = EngineOK;
    ClearStatus();
  }
  ~ReadLockScope() {
    if (!taken_) return;
    TStatusArea status;
    SaveStatus(status);
    UnlockFileBlock(h_);
    RestoreStatus(status);
  }

 private:
  FileBlockHandle h_;
  bool taken_ = false;
};
}  // namespace

bool IFDriver::First(uint16_t index) {
  if (Enter(kOpFirst) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string key;
    if (Engine(
            [&] {
              ref = 0;
              key.clear();
              SearchKeyOrLast(handle_, index, ref, key);
            },
            1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Last(uint16_t index) {
  if (Enter(kOpLast) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string key;
    if (Engine([&] { ClearKey(handle_, index); }, 1, 0, index) && Engine(
                                                                      [&] {
                                                                        ref = 0;
                                                                        key.clear();
                                                                        PrevKey(handle_, index, ref,
                                                                                key);
                                                                      },
                                                                      2, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Next(uint16_t index) {
  if (Enter(kOpNext) && CheckIndex(index)) {
    if (currentRef_ < 0) {
      Fail(kDriverNextNoCurrent, 1, 0, 0, index);
    } else {
      ReadLockScope lock(handle_, shared_);
      const std::string current = BuildKey(snapshot_.data(), index);
      int32_t ref = currentRef_;
      std::string key = current;
      bool placed = true;
      if (currentIndex_ != index)
        placed = Engine(
            [&] {
              ref = currentRef_;
              key = current;
              FindKeyAndRef(handle_, index, ref, 0, key);
            },
            1, currentRef_, index);
      if (placed && Engine(
                        [&] {
                          if (currentIndex_ == index) {
                            ref = currentRef_;
                            key = current;
                          }
                          NextKey(handle_, index, ref, key);
                        },
                        2, currentRef_, index))
        ReadRecord(ref, index);
    }
  }
  return Leave(true);
}

bool IFDriver::FindKey(uint16_t index, std::string_view key) {
  if (Enter(kOpFindKey) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    const std::string_view k = key.substr(0, kMaxKeyText);
    if (Engine([&] { qorvex::FindKey(handle_, index, ref, k); }, 1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Search(uint16_t index, std::string_view key) {
  if (Enter(kOpSearch) && CheckIndex(index)) {
    ReadLockScope lock(handle_, shared_);
    int32_t ref = 0;
    std::string k(key.substr(0, kMaxKeyText));
    if (Engine(
            [&] {
              ref = 0;
              k = std::string(key.substr(0, kMaxKeyText));
              SearchKey(handle_, index, ref, k);
            },
            1, 0, index))
      ReadRecord(ref, index);
  }
  return Leave(true);
}

bool IFDriver::Reposition(int mode, const std::string& key, int32_t ref) {
  const uint16_t index = currentIndex_;
  if (mode == 0) return true;
  int32_t found = 0;
  std::string k;
  if (index != 0) {
    bool ok = false;
    switch (mode) {
      case 1:
        ok = Engine([&] { ClearKey(handle_, index); }, 30, 0, index) &&
             Engine(
                 [&] {
                   found = 0;
                   k.clear();
                   PrevKey(handle_, index, found, k);
                 },
                 31, 0, index);
        break;
      case 2:
        ok = Engine(
            [&] {
              found = 0;
              k.clear();
              SearchKeyOrLast(handle_, index, found, k);
            },
            32, 0, index);
        break;
      case 3:
        ok = Engine(
            [&] {
              found = ref;
              k = key;
              NextKey(handle_, index, found, k);
            },
            33, ref, index);
        break;
      case 4:
        ok = Engine(
            [&] {
              found = ref;
              k = key;
              PrevKey(handle_, index, found, k);
            },
            34, ref, index);
        break;
    }
    return ok && ReadRecord(found, index);
  }
  // No current index: record-number order over the live slots.
  const int32_t length = FileLength(handle_);
  if (!EngineOK) return Fail(EngineError, 0, 35), false;
  int32_t from = mode == 1 ? length - 1 : mode == 2 ? 1 : mode == 3 ? ref + 1 : ref - 1;
  const int step = mode == 1 || mode == 4 ? -1 : 1;
  for (int32_t r = from; r >= 1 && r < length; r += step) {
    int32_t marker = 0;
    if (!Engine([&] { ReadRecordMarker(handle_, r, marker); }, 36, r)) return false;
    if (marker == 0) return ReadRecord(r, 0);
  }
  Fail(mode == 4 || mode == 1 ? kErrNoPrevKey : kErrNoNextKey, 0, 37);
  return false;
}

}  // namespace qorvex
