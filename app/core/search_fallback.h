// SPDX-License-Identifier: GPL-3.0-or-later
// The window's search with its fallbacks (core layer, no Qt): the specified
// search first (over the text too when asked), then, when it finds nothing,
// the forgiving search, then the spelling suggestions.
#pragma once

#include <string_view>
#include <vector>

#include "app/core/entry_layout.h"
#include "app/core/lexicon_entry.h"
#include "app/core/search.h"

namespace qorvex {

enum class FoundBy {
  kNothing,     // all three found nothing (or the search text is empty)
  kExact,       // the specified search (or its full-text form)
  kFolded,      // the forgiving search
  kSuggestion,  // the entries of the suggested terms, closest first
};

struct FoundEntries {
  FoundBy by = FoundBy::kNothing;
  std::vector<SearchHit> hits;
};

FoundEntries FindForField(TdbLex& lex, std::string_view fieldText, bool fullText);

// The hint under the search hint for hits that are not exact (empty for
// kExact and kNothing).
std::string_view FallbackHint(FoundBy by);

// What the view shows after a search with hits: the search hint (as
// RenderEntry's hintOnly lays it out) and, under it, FallbackHint(by) in
// bold when there is one.
std::vector<EntryLabel> SearchHintLabels(FoundBy by, int32_t viewWidth,
                                         const TextMeasurer& measurer);

// True when the search of fieldText would find entry by its term or see-also
// list alone (compared folded or upper-cased), so not only through its text.
bool HitsOutsideText(const LexEntry& entry, std::string_view fieldText, bool fold);

}  // namespace qorvex
