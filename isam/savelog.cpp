// SPDX-License-Identifier: GPL-3.0-or-later
// Save-mode log: before-images of headers and pages in the dialog file, so
// that an interrupted add or delete can be undone. Entries and replay:
// isam/FORMAT.md section 4.1.
#include <algorithm>
#include <cstring>
#include <vector>

#include "isam/blockio.h"
#include "isam/datafile.h"
#include "isam/indexfile.h"
#include "isam/osfile.h"
#include "isam/page.h"
#include "isam/pagecache.h"
#include "isam/savelog.h"

namespace qorvex::isam {
namespace {

constexpr size_t kHeaderEntryBytes = 2 + 2 + kIndexHeaderBytes + 4;

bool Append(TFileBlock* fb, const uint8_t* bytes, size_t n) {
  if (!FileWrite(fb->dialog.fd, fb->logEnd, bytes, n)) return false;
  fb->logEnd += n;
  return true;
}

bool Empty(TFileBlock* fb) {
  if (!FileTruncate(fb->dialog.fd, 1)) return false;
  fb->logEnd = 1;
  if (!IsNetwork(fb) && !FileFlush(fb->dialog.fd)) return false;
  fb->loggedPages.clear();
  fb->headerLogged.assign(fb->indexCount + 1, false);
  ClearLoggedMarks(fb);
  return true;
}

bool WriteHeader(TFileBlock* fb, int k) {
  return k == 0 ? WriteDataHeader(fb, false) : WriteIndexHeader(fb, k);
}

// After a replay: slots and page rows that the restored headers do not
// count were appended by the interrupted operation; cut them off so that the
// files are as before it.
bool CutToHeaders(TFileBlock* fb) {
  uint64_t size = 0;
  const uint64_t dataEnd = (static_cast<uint64_t>(fb->desc[0].highest) + 1) * fb->desc[0].length;
  if (!BlockSize(fb, fb->data, size)) return false;
  if (size > dataEnd && !BlockTruncate(fb, fb->data, dataEnd)) return false;
  if (fb->indexCount == 0) return true;
  uint32_t rows = 0;
  for (int k = 1; k <= fb->indexCount; ++k) rows = std::max(rows, fb->desc[k].highest);
  const uint64_t indexEnd = (static_cast<uint64_t>(rows) + 1) * fb->rowSize;
  if (!BlockSize(fb, fb->index, size)) return false;
  if (size > indexEnd && !BlockTruncate(fb, fb->index, indexEnd)) return false;
  fb->rowCount = static_cast<int32_t>(rows);
  return true;
}

}  // namespace

void LogBeginOperation(TFileBlock* fb) {
  fb->loggedPages.clear();
  fb->headerLogged.assign(fb->indexCount + 1, false);
}

bool LogHeader(TFileBlock* fb, int k, int32_t restoreLink, bool liveSlot) {
  if (restoreLink == -2 && fb->headerLogged[k]) return true;
  uint8_t e[kHeaderEntryBytes] = {};
  StoreU16(e, kLogHeaderEntry);
  StoreU16(e + 2, static_cast<uint16_t>(k));
  if (k == 0) {
    EncodeDataHeader(fb->desc[0], fb->indexCount, false, e + 4);
    e[4 + kDataHeaderBytes] = liveSlot ? 1 : 0;
  } else
    EncodeIndexHeader(fb->desc[k], e + 4);
  StoreU32(e + 4 + kIndexHeaderBytes, static_cast<uint32_t>(restoreLink));
  if (!Append(fb, e, sizeof e)) return false;
  fb->headerLogged[k] = true;
  return true;
}

bool LogPage(TFileBlock* fb, int k, uint32_t page, const uint8_t* unpacked) {
  const Descriptor& d = fb->desc[k];
  uint8_t e[kPageBufferBytes + 8];
  std::memcpy(e, unpacked, kPageBufferBytes);
  int count = PageRef(e).count();
  if (count < 1 || count > d.keysPerPage) {
    count = count < 1 ? 1 : d.keysPerPage;  // never a valid page: keep the entry parseable
    PageRef(e).setCount(count);
  }
  PackPage(e, d.keyLength);
  const size_t n = PackedPageBytes(count, d.keyLength);
  uint8_t realChild[4];
  std::memcpy(realChild, e + 2, 4);
  StoreU16(e + 2, static_cast<uint16_t>(k));
  StoreU32(e + n, page);
  std::memcpy(e + n + 4, realChild, 4);
  return Append(fb, e, n + 8);
}

bool LogForce(TFileBlock* fb) {
  return IsNetwork(fb) || FileFlush(fb->dialog.fd);
}

bool LogCommit(TFileBlock* fb) {
  if (!LogForce(fb) || !WriteBackPages(fb, false)) return false;
  for (int k = 1; k <= fb->indexCount; ++k)
    if (fb->desc[k].modified && !WriteIndexHeader(fb, k)) return false;
  if (fb->desc[0].modified && !WriteDataHeader(fb, false)) return false;
  if (!ForceToDisk(fb, fb->data)) return false;
  if (fb->indexCount > 0 && !ForceToDisk(fb, fb->index)) return false;
  return Empty(fb);
}

bool LogReplay(TFileBlock* fb) {
  if (fb->readOnly) return Fail(kErrReplayReadOnly);
  DropPages(fb, 0);
  uint64_t size = 0;
  if (!FileSize(fb->dialog.fd, size)) return false;
  std::vector<bool> restored(fb->indexCount + 1, false);
  uint64_t at = 1;
  uint8_t e[kPageBufferBytes + 8];
  while (at + 2 <= size) {
    if (!FileRead(fb->dialog.fd, at, e, 2)) return false;
    const uint16_t type = LoadU16(e);
    if (type == kLogEnd) break;
    if (type == kLogHeaderEntry) {
      if (at + kHeaderEntryBytes > size) break;
      if (!FileRead(fb->dialog.fd, at, e, kHeaderEntryBytes)) return false;
      const uint16_t k = LoadU16(e + 2);
      if (k > fb->indexCount) return Fail(kErrLogUnreadable);
      const uint8_t* h = e + 4;
      const int32_t link = static_cast<int32_t>(LoadU32(e + 4 + kIndexHeaderBytes));
      Descriptor image = fb->desc[k];
      image.freeHead = static_cast<int32_t>(LoadU32(h + 0));
      image.freeCount = LoadU32(h + 4);
      image.highest = LoadU32(h + 8);
      if (k == 0) {
        if (LoadU32(h + 12) != fb->desc[0].length) return Fail(kErrLogUnreadable);
      } else {
        if (LoadU32(h + 12) != fb->desc[k].length) return Fail(kErrLogUnreadable);
        image.root = LoadU32(h + 16);
        image.entryCount = LoadU32(h + 22);
      }
      if (image.root > image.highest ||
          (image.freeHead != -1 &&
           (image.freeHead < 1 || static_cast<uint32_t>(image.freeHead) > image.highest)))
        return Fail(kErrLogUnreadable);
      if (link != -2) {
        if (image.freeHead < 1) return Fail(kErrLogUnreadable);
        if (!WriteSlotWord(fb, k, static_cast<uint32_t>(image.freeHead), link)) return false;
      }
      if (!restored[k]) {
        Descriptor& d = fb->desc[k];
        // A deleted record's slot got the old free head as its link; the
        // record was live, so its word was 0. (A continuation's word is not
        // known: it stays as it is, in no chain.)
        if (k == 0 && link == -2 && h[kDataHeaderBytes] == 1 &&
            d.freeCount == image.freeCount + 1 && d.freeHead >= 1 &&
            static_cast<uint32_t>(d.freeHead) <= d.highest && d.freeHead != image.freeHead) {
          int32_t word = 0;
          if (!ReadSlotWord(fb, 0, static_cast<uint32_t>(d.freeHead), word)) return false;
          if (word == image.freeHead && !WriteSlotWord(fb, 0, static_cast<uint32_t>(d.freeHead), 0))
            return false;
        }
        d.freeHead = image.freeHead;
        d.freeCount = image.freeCount;
        d.highest = image.highest;
        d.root = image.root;
        d.entryCount = image.entryCount;
        // The path is stale; a step re-positions from the key it is given.
        d.positionCurrent = false;
        if (!WriteHeader(fb, k)) return false;
        restored[k] = true;
      }
      at += kHeaderEntryBytes;
      continue;
    }
    // A page entry: its item count first, then the index number.
    if (at + 4 > size) break;
    if (!FileRead(fb->dialog.fd, at, e, 4)) return false;
    const int count = LoadU16(e);
    const uint16_t k = LoadU16(e + 2);
    if (k < 1 || k > fb->indexCount) return Fail(kErrLogUnreadable);
    const Descriptor& d = fb->desc[k];
    if (count < 1 || count > d.keysPerPage) return Fail(kErrLogUnreadable);
    const size_t n = PackedPageBytes(count, d.keyLength);
    if (at + n + 8 > size) break;
    if (!FileRead(fb->dialog.fd, at, e, n + 8)) return false;
    const uint32_t page = LoadU32(e + n);
    if (page < 1 || page > static_cast<uint32_t>(fb->rowCount)) return Fail(kErrLogUnreadable);
    std::memcpy(e + 2, e + n + 4, 4);
    if (!BlockWrite(fb, fb->index, PageOffset(fb, k, page), e, n)) return false;
    at += n + 8;
  }
  if (!CutToHeaders(fb)) return false;
  if (!ForceToDisk(fb, fb->data)) return false;
  if (fb->indexCount > 0 && !ForceToDisk(fb, fb->index)) return false;
  return Empty(fb);
}

void LogFinish(TFileBlock* fb, int32_t restoredError) {
  if (EngineOK) {
    if (LogCommit(fb)) return;
    // Truncated but not forced: the change is complete, only the I/O error
    // stands (nothing is left to replay).
    if (fb->logEnd == 1) return void(fb->inUse = false);
  }
  // Keep the cause in the first-error copies; the status tells the restore.
  // A key not found or already there changed nothing: that answer stands.
  const int32_t cause = EngineError;
  const bool unchanged = IsIndexMiss(cause);
  const uint16_t io = EngineFirstIoFunction;
  const uint32_t os = EngineFirstOsError;
  ClearStatus();
  if (unchanged) {
    if (Empty(fb)) Fail(cause);
    fb->inUse = false;
    return;
  }
  const bool replayed = LogReplay(fb);
  if (EngineFirstIoFunction == 0 && EngineFirstOsError == 0) {
    EngineFirstIoFunction = io;
    EngineFirstOsError = os;
  }
  if (replayed) Fail(restoredError);
  fb->inUse = false;
}

}  // namespace qorvex::isam
