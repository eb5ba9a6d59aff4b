// SPDX-License-Identifier: GPL-3.0-or-later
// A lexicon entry as a value (core layer): what the window shows and keeps,
// read from the lexicon's working record once, so that no later call
// depends on where the lexicon was left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/dblex.h"

namespace qorvex {

struct LexEntry {
  int32_t id = 0;
  std::string term, topic, seeAlso, text;  // as stored (Windows-1252)
  bool operator==(const LexEntry&) const = default;
};

// The entry in lex's working record.
LexEntry EntryOf(const TdbLex& lex);

// The entry whose term matches as the lexicon's index 1 does (upper-cased,
// its first 20 characters), or nothing.
std::optional<LexEntry> FindEntryByTerm(TdbLex& lex, std::string_view term);

}  // namespace qorvex
