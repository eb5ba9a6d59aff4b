// Variable-length records: chains of sections of the data file's record
// length L. Section layout:
//   first (slot = the record's ref): 0..L-7 the first L-6 record bytes (the
//     caller's 0 word first), L-6..L-5 u16 bytes used, L-4..L-1 u32 next
//   continuation: byte 0 = 1, 1..L-7 up to L-7 record bytes, then the same
//     count and next fields; next 0 ends the chain
// All continuations but the last are full; they are added tail first so that
// the chain runs in record order.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "isam/fileblock.h"
#include "isam/osfile.h"

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
    if (!FileRead(fb->data.fd, SlotOffset(fb, link), work, L)) return false;
    if (work[0] != 1) return Fail(kErrChainCorrupt);
    chain.push_back(link);
    link = LoadU32(work + L - 4);
  }
  for (uint32_t slot : chain)
    if (!DeleteSlot(fb, static_cast<int32_t>(slot))) return false;
  return true;
}

// The first section of the live record ref into work.
bool ReadFirst(TFileBlock* fb, int32_t ref, uint8_t* work) {
  if (ref < 1 || static_cast<uint32_t>(ref) > fb->desc[0].highest) return Fail(kErrDeleteRefRange);
  if (!FileRead(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)), work, fb->desc[0].length))
    return false;
  return LoadU32(work) == 0 || Fail(kErrChainCorrupt);
}

}  // namespace

void AddVariableRecord(FileBlockHandle fb, int32_t& ref, const void* buffer, uint32_t length) {
  Operation op(fb, kNeedWriteLock | kNotReadOnly);
  if (!op.ok()) return;
  const Layout lay{fb->desc[0].length};
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(lay.L, work)) return;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
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
  if (!FileWrite(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)), work, lay.L)) return;
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
  if (!DeleteSlot(fb, ref)) return;
  DeleteChain(fb, chain, work);
}

void GetVariableRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool fileBlockLocked,
                       uint32_t& length) {
  Operation op(fb, fileBlockLocked ? 0 : kAutoReadLock);
  const uint32_t room = length;
  length = 0;
  if (!op.ok()) return;
  const uint32_t L = fb->desc[0].length;
  uint8_t* work = nullptr;
  if (!GrowVariableBuffer(L, work)) return;
  if (ref < 0) return void(Fail(kErrReadPastEnd));
  bool restRead = false;
  if (!FileRead(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)), work, L)) {
    // Another station holds the first word: read the rest, report it at the end.
    if (!fileBlockLocked || EngineError != kErrFile) return;
    ClearStatus();
    if (!FileRead(fb->data.fd, SlotOffset(fb, static_cast<uint32_t>(ref)) + 4, work + 4, L - 4))
      return;
    std::memset(work, 0, 4);
    restRead = true;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t count = LoadU16(work + L - 6);
  uint32_t link = LoadU32(work + L - 4);
  if (count > L - 6 || (link != 0 && count != L - 6)) return void(Fail(kErrChainCorrupt));
  uint32_t copied = std::min(count, room);
  if (copied > 0) std::memcpy(out, work, copied);
  for (uint32_t steps = 1; link != 0 && copied < room; ++steps) {
    if (!CheckLink(fb, link, steps)) return;
    if (!FileRead(fb->data.fd, SlotOffset(fb, link), work, L)) return;
    count = LoadU16(work + L - 6);
    link = LoadU32(work + L - 4);
    // Only the last continuation may be part-full: each step makes progress.
    if (work[0] != 1 || count > L - 7 || (link != 0 && count != L - 7))
      return void(Fail(kErrChainCorrupt));
    const uint32_t take = std::min(count, room - copied);
    std::memcpy(out + copied, work + 1, take);
    copied += take;
  }
  length = copied;
  if (restRead) Fail(kErrRecordLockedRestRead);
}

}  // namespace qorvex
