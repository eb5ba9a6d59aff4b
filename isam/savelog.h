// SPDX-License-Identifier: GPL-3.0-or-later
// savelog.cpp's calls: the save-mode log in the dialog file (isam layer).
// Entries: isam/FORMAT.md section 4.1.
#pragma once

#include <cstdint>

#include "isam/fileblock.h"

namespace qorvex::isam {

inline constexpr uint16_t kLogHeaderEntry = 1000;
// Read by the replay as the log's end; the engine never writes it.
inline constexpr uint16_t kLogEnd = 2000;

void LogBeginOperation(TFileBlock* fb);
// liveSlot: the change deletes a live record (first word 0); a replay that
// undoes it gives the slot its 0 word back.
bool LogHeader(TFileBlock* fb, int k, int32_t restoreLink, bool liveSlot = false);
bool LogPage(TFileBlock* fb, int k, uint32_t page, const uint8_t* unpacked);
bool LogForce(TFileBlock* fb);
// Ends a save-mode operation: changed files to disk, log emptied.
bool LogCommit(TFileBlock* fb);
// Restores the before-images in the log and empties it.
bool LogReplay(TFileBlock* fb);
// Ends a save-mode operation: commits on success, else replays and sets
// restoredError.
void LogFinish(TFileBlock* fb, int32_t restoredError);

}  // namespace qorvex::isam
