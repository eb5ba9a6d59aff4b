// SPDX-License-Identifier: GPL-3.0-or-later
// Variable-length records: chains of sections of the data file's record
// length L, added tail first. Layout: isam/FORMAT.md section 2.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/varrec.h"

namespace qorvex {
using namespace isam;

namespace {

struct Layout {
  uint32_t L;
  uint32_t firstRoom() const { return L - 6; }
  uint32_t moreRoom() const { return L - 7; }
};

// Adds the continuations holding bytes [firstRoom, n) of the record; first
// receives the number of the first continuation (0 when none).
bool AddContinuations(TFileBlock* fb, const uint8_t* bytes, uint32_t n, uint8_t* work,
                      uint32_t& first) {
  const Layout lay{fb->desc[0].length};
  first = 0;
  if (n <= lay.firstRoom()) return true;
  const uint32_t rest = n - lay.firstRoom();
  const uint32_t sections = (rest + lay.moreRoom() - 1) / lay.moreRoom();
  uint32_t next = 0;
  for (uint32_t i = sections; i-- > 0;) {
    const uint32_t from = lay.firstRoom() + i * lay.moreRoom();
    const uint32_t count = std::min(lay.moreRoom(), n - from);
    std::memset(work, 0, lay.L);
    work[0] = 1;
    std::memcpy(work + 1, bytes + from, count);
    StoreU16(work + lay.L - 6, static_cast<uint16_t>(count));
    StoreU32(work + lay.L - 4, next);
    if (!AddSlot(fb, work, next)) return false;
  }
  first = next;
  return true;
}

uint32_t SectionCount(const Layout& lay, uint32_t n) {
  return VariableSectionCount(lay.L, n);
}

void BuildSection(const Layout& lay, const uint8_t* bytes, uint32_t n, uint32_t sections,
                  uint32_t i, uint32_t base, uint8_t* out) {
  BuildVariableSection(lay.L, bytes, n, sections, i, base, out);
}

}  // namespace

uint32_t isam::VariableSectionCount(uint32_t L, uint32_t n) {
  const Layout lay{L};
  return n <= lay.firstRoom() ? 1 : 1 + (n - lay.firstRoom() + lay.moreRoom() - 1) / lay.moreRoom();
}

void isam::BuildVariableSection(uint32_t L, const uint8_t* bytes, uint32_t n, uint32_t sections,
                                uint32_t i, uint32_t base, uint8_t* out) {
  const Layout lay{L};
  uint32_t count = 0, used = 0;  // used: the bytes before the count field that hold data
  if (i == 0) {
    count = std::min(n, lay.firstRoom());
    // The first word belongs to the engine: 0 marks the live record.
    std::memset(out, 0, 4);
    if (count > 4) std::memcpy(out + 4, bytes + 4, count - 4);
    used = std::max<uint32_t>(count, 4);
  } else {
    const uint32_t from = lay.firstRoom() + (i - 1) * lay.moreRoom();
    count = std::min(lay.moreRoom(), n - from);
    out[0] = 1;
    std::memcpy(out + 1, bytes + from, count);
    used = count + 1;
  }
  std::memset(out + used, 0, lay.L - 6 - used);
  StoreU16(out + lay.L - 6, static_cast<uint16_t>(count));
  // Section i sits in slot base + sections - i; the next one just below it.
  StoreU32(out + lay.L - 4, i + 1 < sections ? base + sections - i - 1 : 0);
}

namespace {

// Most adds append: with no deleted slot to reuse (and no log to keep), the
// sections of a record land in consecutive new slots, the same bytes that
// adding them one by one would give, written with one call. False when this
// path does not apply (or it failed: EngineOK tells).
bool AppendWhole(TFileBlock* fb, const uint8_t* bytes, uint32_t n, int32_t& ref) {
  constexpr uint64_t kMaxBytes = 1 << 20;
  Descriptor& d = fb->desc[0];
  const Layout lay{d.length};
  const uint32_t sections = SectionCount(lay, n);
  if (fb->saveMode || d.freeHead != -1 || static_cast<uint64_t>(sections) * lay.L > kMaxBytes)
    return false;
  if (d.highest > 0x7FFFFFFE - sections) return Fail(kErrChainCorrupt);
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(static_cast<size_t>(sections) * lay.L, work) || !MarkInUse(fb))
    return false;
  const uint32_t base = d.highest;
  for (uint32_t i = 0; i < sections; ++i)
    BuildSection(lay, bytes, n, sections, i, base, work + (sections - 1 - i) * lay.L);
  if (!BlockAppend(fb, fb->data, SlotOffset(fb, base + 1), work,
                   static_cast<size_t>(sections) * lay.L))
    return CutAfterHighest(fb), false;
  d.highest = base + sections;
  d.modified = true;
  d.reused = false;
  ref = static_cast<int32_t>(base + sections);
  return true;
}

// A link read from disk: a slot of the file, visited at most once per chain
// (bounded by the number of slots).
bool CheckLink(const TFileBlock* fb, uint32_t link, uint32_t steps) {
  return (link >= 1 && link <= fb->desc[0].highest && steps <= fb->desc[0].highest) ||
         Fail(kErrChainCorrupt);
}

// Deletes the continuation chain starting at link. The chain is walked
// whole before anything is deleted: a damaged chain that returns to a slot
// (a freed slot with link 1 reads like a continuation) must not free a slot
// twice.
bool DeleteChain(TFileBlock* fb, uint32_t link, uint8_t* work) {
  const uint32_t L = fb->desc[0].length;
  std::vector<uint32_t> chain;
  std::unordered_set<uint32_t> seen;
  for (uint32_t steps = 1; link != 0; ++steps) {
    if (!CheckLink(fb, link, steps) || !seen.insert(link).second) return Fail(kErrChainCorrupt);
    if (!BlockRead(fb, fb->data, SlotOffset(fb, link), work, L)) return false;
    if (work[0] != 1) return Fail(kErrChainCorrupt);
    chain.push_back(link);
    link = LoadU32(work + L - 4);
  }
  for (uint32_t slot : chain)
    if (!DeleteSlot(fb, static_cast<int32_t>(slot), false)) return false;
  return true;
}

// The first section of the live record ref into work.
bool ReadFirst(TFileBlock* fb, int32_t ref, uint8_t* work) {
  if (ref < 1 || static_cast<uint32_t>(ref) > fb->desc[0].highest) return Fail(kErrDeleteRefRange);
  if (!BlockRead(fb, fb->data, SlotOffset(fb, static_cast<uint32_t>(ref)), work,
                 fb->desc[0].length))
    return false;
  return LoadU32(work) == 0 || Fail(kErrChainCorrupt);
}

// Reads sections from the data file's mapping, or else in runs of
// consecutive slots: the sections of a record that was appended lie just
// below its first section, so one read call usually fetches the whole chain.
constexpr uint32_t kMaxBatch = 16;
class SectionReader {
 public:
  explicit SectionReader(TFileBlock* fb) : fb_(fb), L_(fb->desc[0].length) {}
  bool Init() {
    batch_ = std::max<uint32_t>(1, std::min<uint32_t>(kMaxBatch, (64u << 10) / L_));
    return GrowVariableBuffer(static_cast<size_t>(batch_) * L_, buf_);
  }
  // Slot's bytes (valid until the next call), read together with up to
  // `below` slots under it when it is not mapped.
  const uint8_t* Read(uint32_t slot, uint32_t below) {
    if (count_ > 0 && slot >= lo_ && slot < lo_ + count_) return buf_ + (slot - lo_) * L_;
    count_ = 0;
    if (BlockReadMapped(fb_, fb_->data, SlotOffset(fb_, slot), buf_, L_)) return buf_;
    below = std::min({below, batch_ - 1, slot > 0 ? slot - 1 : 0});
    if (!BlockRead(fb_, fb_->data, SlotOffset(fb_, slot - below), buf_,
                   static_cast<size_t>(below + 1) * L_))
      return nullptr;
    lo_ = slot - below;
    count_ = below + 1;
    return buf_ + below * L_;
  }
  // The slot without its first word (which reads as 0).
  const uint8_t* ReadAfterWord(uint32_t slot) {
    count_ = 0;
    if (!BlockRead(fb_, fb_->data, SlotOffset(fb_, slot) + 4, buf_ + 4, L_ - 4)) return nullptr;
    std::memset(buf_, 0, 4);
    return buf_;
  }

 private:
  TFileBlock* fb_;
  uint32_t L_;
  uint32_t batch_ = 1;
  uint8_t* buf_ = nullptr;
  uint32_t lo_ = 0, count_ = 0;
};

}  // namespace

void AddVariableRecord(FileBlockHandle fb, int32_t& ref, const void* buffer, uint32_t length) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  const Layout lay{fb->desc[0].length};
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (AppendWhole(fb, bytes, length, ref) || !EngineOK) return;
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(lay.L, work)) return;
  uint32_t next = 0;
  if (!AddContinuations(fb, bytes, length, work, next)) return;
  const uint32_t count = std::min(length, lay.firstRoom());
  std::memset(work, 0, lay.L);
  // The first word belongs to the engine: 0 marks the live record.
  if (count > 4) std::memcpy(work + 4, bytes + 4, count - 4);
  StoreU16(work + lay.L - 6, static_cast<uint16_t>(count));
  StoreU32(work + lay.L - 4, next);
  uint32_t slot = 0;
  if (AddSlot(fb, work, slot)) ref = static_cast<int32_t>(slot);
}

void PutVariableRecord(FileBlockHandle fb, int32_t ref, const void* buffer, uint32_t length) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  const Layout lay{fb->desc[0].length};
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(lay.L, work)) return;
  if (!ReadFirst(fb, ref, work)) return;
  const uint32_t oldChain = LoadU32(work + lay.L - 4);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  uint32_t next = 0;
  if (!AddContinuations(fb, bytes, length, work, next)) return;
  if (!DeleteChain(fb, oldChain, work)) return;
  const uint32_t count = std::min(length, lay.firstRoom());
  std::memset(work, 0, lay.L);
  if (count > 4) std::memcpy(work + 4, bytes + 4, count - 4);
  StoreU16(work + lay.L - 6, static_cast<uint16_t>(count));
  StoreU32(work + lay.L - 4, next);
  if (!MarkInUse(fb)) return;
  if (!BlockWrite(fb, fb->data, SlotOffset(fb, static_cast<uint32_t>(ref)), work, lay.L)) return;
  if (fb->saveMode && !IsNetwork(fb)) ForceToDisk(fb, fb->data);
}

void DeleteVariableRecord(FileBlockHandle fb, int32_t ref) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  const uint32_t L = fb->desc[0].length;
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(L, work)) return;
  if (!ReadFirst(fb, ref, work)) return;
  const uint32_t chain = LoadU32(work + L - 4);
  if (!DeleteSlot(fb, ref, true)) return;
  DeleteChain(fb, chain, work);
}

void GetVariableRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool fileBlockLocked,
                       uint32_t& length) {
  Operation op(fb, fileBlockLocked ? 0 : kAutoReadLock);
  const uint32_t room = length;
  length = 0;
  if (!op.ok()) return;
  if (ref < 0) return void(Fail(kErrReadPastEnd));
  const uint32_t L = fb->desc[0].length;
  SectionReader reader(fb);
  if (!reader.Init()) return;
  // Another station's lock on the first word fails the read at once; a
  // network block therefore reads the first section alone.
  const uint8_t* section =
      reader.Read(static_cast<uint32_t>(ref), IsNetwork(fb) ? 0 : fb->chainHint);
  bool restRead = false;
  if (section == nullptr) {
    // Another station holds the first word: read the rest, report it at the end.
    if (!fileBlockLocked || EngineError != kErrFile) return;
    ClearStatus();
    if ((section = reader.ReadAfterWord(static_cast<uint32_t>(ref))) == nullptr) return;
    restRead = true;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t count = LoadU16(section + L - 6);
  uint32_t link = LoadU32(section + L - 4);
  if (count > L - 6 || (link != 0 && count != L - 6)) return void(Fail(kErrChainCorrupt));
  uint32_t copied = std::min(count, room);
  if (copied > 0) std::memcpy(out, section, copied);
  uint32_t steps = 1;
  for (; link != 0 && copied < room; ++steps) {
    if (!CheckLink(fb, link, steps)) return;
    if ((section = reader.Read(link, kMaxBatch - 1)) == nullptr) return;
    count = LoadU16(section + L - 6);
    link = LoadU32(section + L - 4);
    // Only the last continuation may be part-full: each step makes progress.
    if (section[0] != 1 || count > L - 7 || (link != 0 && count != L - 7))
      return void(Fail(kErrChainCorrupt));
    const uint32_t take = std::min(count, room - copied);
    std::memcpy(out + copied, section + 1, take);
    copied += take;
  }
  fb->chainHint = std::min(steps - 1, kMaxBatch - 1);
  length = copied;
  if (restRead) Fail(kErrRecordLockedRestRead);
}

}  // namespace qorvex
