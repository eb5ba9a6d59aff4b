// SPDX-License-Identifier: GPL-3.0-or-later
// What an engine or driver error number means, in words (storage layer):
// English for the command-line tool, German for the window. Numbers without
// a text of their own are named by their kind (the driver's severity, the
// engine's error class).
#pragma once

#include <cstdint>
#include <string>

namespace qorvex {

// Lower case, no number, no full stop: "the disk is full".
std::string ErrorCause(int32_t number);
// A German sentence in Windows-1252: "Der Datenträger ist voll."
std::string ErrorCauseGerman(int32_t number);

// What a rebuild did with records whose unique key (their Id) was already
// taken; file: the message file's name ("QDLex.MSG").
// "2 records could not be indexed (their Id is already taken): kept in QDLex.MSG"
std::string DroppedRecords(int32_t count, const std::string& file);
// "2 Einträge konnten nicht indiziert werden (ihre Id ist schon vergeben):
// Sie liegen in QDLex.MSG." (Windows-1252)
std::string DroppedRecordsGerman(int32_t count, const std::string& file);

}  // namespace qorvex
