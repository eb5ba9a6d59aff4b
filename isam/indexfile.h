// SPDX-License-Identifier: GPL-3.0-or-later
// indexfile.cpp's steps shared by the engine's units: the index file's
// headers, page offsets and rows (isam layer). Layout: isam/FORMAT.md 3.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "isam/engine.h"
#include "isam/fileblock.h"

namespace qorvex::isam {

inline constexpr int kIndexHeaderBytes = 28;

bool CreateIndexFile(const std::string& path, std::span<const KeyDescriptor> keys);
bool ReadIndexHeaders(TFileBlock* fb);
// Another station changed the file: its header is read again.
bool RereadIndexHeader(TFileBlock* fb, int k);
void EncodeIndexHeader(const Descriptor& d, uint8_t out[28]);
bool WriteIndexHeader(TFileBlock* fb, int k);
uint64_t PageOffset(const TFileBlock* fb, int k, uint32_t page);
// Appends zero rows until page fits (raising rowCount).
bool EnsureRow(TFileBlock* fb, uint32_t page);

}  // namespace qorvex::isam
