// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory file block shared by the engine's units (isam layer); their
// steps are in the unit headers (datafile.h, indexfile.h, pagecache.h, ...).
// Not for use above the engine: see engine.h.
// The bytes of its files: isam/FORMAT.md.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "isam/descriptor.h"
#include "isam/engine.h"

namespace qorvex {

using RecordHook = void (*)(void* buffer, uint32_t length, int direction, uint32_t data);

namespace isam {

inline constexpr uint32_t kFileBlockMagic = 0x11195851;

// How the engine may reach one file of an open block (see blockio.cpp).
enum class FileAccess : uint8_t {
  kDirect,  // a system call for every read and write
  kOwn,     // opened read-write and unshared: only this process changes it
  kShared,  // a network block: mapped reads while this station holds a lock
};

struct FileEntry {
  int fd = -1;
  std::string path;
  // --- blockio.cpp ----------------------------------------------------------
  FileAccess access = FileAccess::kDirect;
  bool gatherAppends = false;    // data file of an own block out of save mode
  bool pagesThroughMap = false;  // index file of an own block out of save mode
  uint8_t* map = nullptr;        // shared mapping of [0, mapLength)
  uint64_t mapLength = 0;
  std::vector<bool> populated;  // per chunk of the mapping: page tables set up
  bool mapRefused = false;      // the OS gave no mapping: system calls only
  // Not above the file's real length while sizeEpoch is the current epoch
  // (0: not known).
  uint64_t size = 0;
  uint64_t sizeEpoch = 0;
  std::vector<uint8_t> pending;  // gathered appends, to land at pendingAt
  uint64_t pendingAt = 0;
};

struct NetState;

}  // namespace isam

struct TFileBlock {
  uint32_t magic = 0;  // kFileBlockMagic while open, set last in open
  isam::FileEntry data, index, dialog;
  uint8_t indexCount = 0;
  uint32_t rowSize = 0;                // sum of the page sizes of all indexes
  int32_t rowCount = 0;                // page rows the index file holds (row 0 excluded)
  std::vector<isam::Descriptor> desc;  // [0] data file, [k] index k
  bool inUse = false;                  // a change since the last flush
  bool readOnly = false;
  bool saveMode = false;
  isam::NetState* net = nullptr;
  RecordHook hook = nullptr;
  uint32_t hookData = 0;
  bool hookSkip = true;
  // Save mode: (index, page) of the pages logged in the current operation,
  // the files changed by it, and the end of the log.
  std::vector<std::pair<uint16_t, uint32_t>> loggedPages;
  std::vector<bool> headerLogged;  // per file number, in the current operation
  uint64_t logEnd = 1;
  // Continuations of the last variable record read: how many sections the
  // next read fetches at once.
  uint32_t chainHint = 0;
};

// A block opened for network use (it has a dialog state).
inline bool IsNetwork(const TFileBlock* fb) {
  return fb != nullptr && fb->net != nullptr;
}

namespace isam {

// Mapped accesses that faulted and were made with a system call instead
// (blockio.cpp; declared here, where the block I/O test reads it).
uint64_t MappedAccessFaults();

}  // namespace isam
}  // namespace qorvex
