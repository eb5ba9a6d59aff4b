// SPDX-License-Identifier: GPL-3.0-or-later
// In-memory descriptor of one file of a file block (isam layer): entry 0 of
// a file block describes its data file, entry k its index k.
#pragma once

#include <array>
#include <cstdint>

namespace qorvex::isam {

inline constexpr int kMaxDepth = 8;  // levels of a B-tree path

struct PathLevel {
  uint32_t page = 0;
  uint8_t position = 0;  // 0: left of item 1; i: at item i
};

struct Descriptor {
  uint32_t entryCount = 0;  // index: number of entries
  int32_t freeHead = -1;    // first deleted slot / free page, -1 = none
  uint32_t freeCount = 0;
  uint32_t highest = 0;  // highest slot / page number ever used
  uint32_t length = 0;   // record length / page size in bytes
  uint32_t root = 0;     // index: root page, 0 = empty tree
  uint16_t keysPerPage = 62;
  bool duplicates = false;
  bool modified = false;         // header changed, not yet written
  bool changed = false;          // header written since the last broadcast
  bool reused = false;           // last slot came from the free list
  bool implicitPosition = true;  // Next/PrevKey may re-position by searching
  bool positionCurrent = false;  // the path below is valid
  uint8_t keyLength = 0;         // index: 1..50
  uint32_t headerOffset = 0;     // index: offset of its slot in a page row
  std::array<PathLevel, kMaxDepth> path{};
  uint8_t depth = 0;  // 0 = no current entry
};

}  // namespace qorvex::isam
