// SPDX-License-Identifier: GPL-3.0-or-later
// The index file: rows of pages, one per index; row 0 holds the headers.
// Layout: isam/FORMAT.md section 3.
#include <cstring>
#include <vector>

#include "isam/blockio.h"
#include "isam/indexfile.h"
#include "isam/operation.h"
#include "isam/osfile.h"
#include "isam/page.h"

namespace qorvex::isam {

void EncodeIndexHeader(const Descriptor& d, uint8_t out[kIndexHeaderBytes]) {
  std::memset(out, 0, kIndexHeaderBytes);
  StoreU32(out + 0, static_cast<uint32_t>(d.freeHead));
  StoreU32(out + 4, d.freeCount);
  StoreU32(out + 8, d.highest);
  StoreU32(out + 12, d.length);
  StoreU32(out + 16, d.root);
  out[20] = d.duplicates ? 1 : 0;
  StoreU32(out + 22, d.entryCount);
  StoreU16(out + 26, d.keysPerPage);
}

bool CreateIndexFile(const std::string& path, std::span<const KeyDescriptor> keys) {
  std::vector<Descriptor> desc(keys.size());
  uint32_t rowSize = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].keyLength < 1 || keys[i].keyLength > kMaxKeyLength) return Fail(kErrBadKeyLength);
    Descriptor& d = desc[i];
    d.keyLength = keys[i].keyLength;
    d.duplicates = keys[i].duplicates != 0;
    d.headerOffset = rowSize;
    d.length = PageSize(d.keyLength);
    rowSize += d.length;
  }
  int fd = -1;
  if (!FileCreate(path, fd)) return false;
  std::vector<uint8_t> row(rowSize, 0);
  for (const Descriptor& d : desc) EncodeIndexHeader(d, row.data() + d.headerOffset);
  bool ok = FileWrite(fd, 0, row.data(), row.size());
  if (!FileClose(fd)) ok = false;
  return ok;
}

bool ReadIndexHeaders(TFileBlock* fb) {
  uint32_t rowSize = 0;
  uint32_t maxHighest = 0;
  for (int k = 1; k <= fb->indexCount; ++k) {
    Descriptor& d = fb->desc[k];
    uint8_t h[kIndexHeaderBytes];
    if (!BlockRead(fb, fb->index, rowSize, h, sizeof h)) return false;
    d.freeHead = static_cast<int32_t>(LoadU32(h + 0));
    d.freeCount = LoadU32(h + 4);
    d.highest = LoadU32(h + 8);
    d.length = LoadU32(h + 12);
    d.root = LoadU32(h + 16);
    d.duplicates = h[20] != 0;
    d.entryCount = LoadU32(h + 22);
    d.keysPerPage = LoadU16(h + 26);
    if (d.keysPerPage == 0) d.keysPerPage = kKeysPerPage;
    if (d.keysPerPage > kKeysPerPage) return Fail(kErrKeysPerPage);
    // A page needs room for at least two items to split and merge.
    if (d.keysPerPage < 2 || d.length < 6 || (d.length - 6) % d.keysPerPage != 0)
      return Fail(kErrPageSizeMismatch);
    const uint32_t keyLength = (d.length - 6) / d.keysPerPage - 9;
    if ((d.length - 6) / d.keysPerPage < 10 || keyLength > kMaxKeyLength)
      return Fail(kErrDerivedKeyLength);
    d.keyLength = static_cast<uint8_t>(keyLength);
    d.headerOffset = rowSize;
    rowSize += d.length;
    // A root or free head outside the pages the file claims is damage.
    if (d.root > d.highest ||
        (d.freeHead != -1 && (d.freeHead < 1 || static_cast<uint32_t>(d.freeHead) > d.highest)))
      return Fail(kErrChainCorrupt);
    if (d.highest > maxHighest) maxHighest = d.highest;
    d.depth = 0;
    d.positionCurrent = false;
    d.implicitPosition = defaultImplicitPosition;
    d.modified = d.changed = d.reused = false;
  }
  fb->rowSize = rowSize;
  if (maxHighest > 0x7FFFFFFF / (rowSize == 0 ? 1 : rowSize)) return Fail(kErrChainCorrupt);
  fb->rowCount = static_cast<int32_t>(maxHighest);
  return true;
}

bool RereadIndexHeader(TFileBlock* fb, int k) {
  Descriptor& d = fb->desc[k];
  uint8_t h[kIndexHeaderBytes];
  if (!BlockRead(fb, fb->index, d.headerOffset, h, sizeof h)) return false;
  const uint32_t highest = LoadU32(h + 8);
  const uint32_t root = LoadU32(h + 16);
  const auto freeHead = static_cast<int32_t>(LoadU32(h + 0));
  if (LoadU32(h + 12) != d.length) return Fail(kErrPageSizeMismatch);
  if (root > highest ||
      (freeHead != -1 && (freeHead < 1 || static_cast<uint32_t>(freeHead) > highest)) ||
      highest > 0x7FFFFFFF / fb->rowSize)
    return Fail(kErrChainCorrupt);
  d.freeHead = freeHead;
  d.freeCount = LoadU32(h + 4);
  d.highest = highest;
  d.root = root;
  d.entryCount = LoadU32(h + 22);
  d.modified = false;
  d.positionCurrent = false;  // a step re-positions from the key it is given
  if (highest > static_cast<uint32_t>(fb->rowCount)) fb->rowCount = static_cast<int32_t>(highest);
  return true;
}

bool WriteIndexHeader(TFileBlock* fb, int k) {
  Descriptor& d = fb->desc[k];
  uint8_t h[kIndexHeaderBytes];
  EncodeIndexHeader(d, h);
  if (!BlockWrite(fb, fb->index, d.headerOffset, h, sizeof h)) return false;
  d.modified = false;
  d.changed = true;
  return true;
}

uint64_t PageOffset(const TFileBlock* fb, int k, uint32_t page) {
  return static_cast<uint64_t>(page) * fb->rowSize + fb->desc[k].headerOffset;
}

bool EnsureRow(TFileBlock* fb, uint32_t page) {
  if (page <= static_cast<uint32_t>(fb->rowCount)) return true;
  std::vector<uint8_t> row(fb->rowSize, 0);
  while (static_cast<uint32_t>(fb->rowCount) < page) {
    const uint64_t at = static_cast<uint64_t>(fb->rowCount + 1) * fb->rowSize;
    if (!BlockWrite(fb, fb->index, at, row.data(), row.size())) return false;
    ++fb->rowCount;
  }
  return true;
}

}  // namespace qorvex::isam
