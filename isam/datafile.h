// SPDX-License-Identifier: GPL-3.0-or-later
// datafile.cpp's steps shared by the engine's units: block file names, the
// data header, slots and the free chain, flush and open (isam layer).
// The data file's bytes: isam/FORMAT.md section 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "isam/engine.h"
#include "isam/fileblock.h"
#include "isam/osfile.h"

namespace qorvex::isam {

inline constexpr int kDataHeaderBytes = 21;

std::string BuildFileName(std::string_view part, std::string_view extension);
void SplitName(std::string_view name, std::string& dataPart, std::string& indexPart);
// The files of the block a name names: ".DAT" and ".DIA" from the first part,
// ".IX" from the second; dataPart for further extensions (".SAV", ".MSG").
struct BlockFiles {
  std::string dataPart, dat, ix, dia;
};
BlockFiles FilesOf(std::string_view name);
void EncodeDataHeader(const Descriptor& d, uint8_t indexCount, bool inUse, uint8_t out[21]);
bool WriteDataHeader(TFileBlock* fb, bool inUse);
bool RereadDataHeader(TFileBlock* fb);
// A new, empty data file (slot 0 only) replacing any file of that path.
bool CreateDataFile(const std::string& path, uint32_t length, uint8_t indexCount,
                    bool inUse = false);
bool MarkInUse(TFileBlock* fb);
// Guards a block's data file, when there is one, before its files are
// replaced or deleted: false (10140) when another program holds it.
bool GuardIfPresent(const std::string& dat, FileGuard& guard);
// Slot allocation and release on descriptor k (0 data; pages of index k).
bool AllocateSlot(TFileBlock* fb, int k, uint32_t& slot);
bool ReleaseSlot(TFileBlock* fb, int k, uint32_t slot);
inline uint64_t SlotOffset(const TFileBlock* fb, uint32_t slot) {
  return static_cast<uint64_t>(slot) * fb->desc[0].length;
}
// Record bodies (no entry check, no hook): add a record of record-length
// bytes into a new slot, delete the slot ref (1..highest).
bool AddSlot(TFileBlock* fb, const void* buffer, uint32_t& slot);
// live: the slot holds a record start (first word 0), not a continuation.
bool DeleteSlot(TFileBlock* fb, int32_t ref, bool live);
// After an append that failed part-way (a full disk): the data file ends
// after the highest slot again, so no partly written record lies beyond it.
// The status stays as it was.
void CutAfterHighest(TFileBlock* fb);
bool ReadSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t& word);
bool WriteSlotWord(TFileBlock* fb, int k, uint32_t slot, int32_t word);
// Writes dirty pages and index headers, and the data header with in-use 0.
bool WriteBackAll(TFileBlock* fb, bool dropPages);
bool ForceToDisk(TFileBlock* fb, FileEntry& file);

// Opens a file block (OpenFileBlock without the entry check). acceptInUse
// opens a data file left in use, for the rebuild that repairs it.
bool OpenBlock(TFileBlock*& handle, std::string_view name, OpenOptions options, bool acceptInUse);

}  // namespace qorvex::isam
