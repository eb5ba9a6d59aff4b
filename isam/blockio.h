// SPDX-License-Identifier: GPL-3.0-or-later
// blockio.cpp's calls: the reads and writes of an open block's data and
// index files, through a mapping or system calls (isam layer).
#pragma once

#include <cstddef>
#include <cstdint>

#include "isam/fileblock.h"
#include "isam/osfile.h"

namespace qorvex::isam {

// They set the status as the osfile.h calls do.
// Chooses how the data and index files may be reached (at the end of open).
void SetUpFileAccess(TFileBlock* fb);
bool BlockRead(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n);
// Reads the n bytes at offset from the mapping; false (status untouched)
// when they must be read with BlockRead.
bool BlockReadMapped(TFileBlock* fb, FileEntry& f, uint64_t offset, void* buf, size_t n);
bool BlockWrite(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n);
// A write at the end of the data, gathered in memory where allowed.
bool BlockAppend(TFileBlock* fb, FileEntry& f, uint64_t offset, const void* buf, size_t n);
// The write-back of the first count items of an unpacked page, packed
// straight into the mapping where allowed.
bool BlockWritePage(TFileBlock* fb, FileEntry& f, uint64_t offset, const uint8_t* unpacked,
                    int count, int keyLength);
// Writes the gathered appends.
bool BlockWritePending(TFileBlock* fb, FileEntry& f);
bool BlockSize(TFileBlock* fb, FileEntry& f, uint64_t& size);
bool BlockTruncate(TFileBlock* fb, FileEntry& f, uint64_t length);
// Cuts the file back to length when it is longer (gathered appends beyond
// it are dropped). The status is kept.
void BlockCutBack(FileEntry& f, uint64_t length);
bool BlockSync(TFileBlock* fb, FileEntry& f, OsErrorKind* kind);
// Drops the mapping and whatever is still gathered (the caller wrote what
// must be kept), and closes the file.
bool BlockClose(FileEntry& f);
// Drops the mapping (before the descriptor is closed and opened again).
void BlockForgetMapping(FileEntry& f);

}  // namespace qorvex::isam
