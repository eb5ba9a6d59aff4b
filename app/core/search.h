// SPDX-License-Identifier: GPL-3.0-or-later
// The search over terms and see-also lists (core layer, no Qt): the
// upper-cased search text, the hits in index-2 order, and their place in
// the entry tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/core/entry_tree.h"
#include "storage/dblex.h"

namespace qorvex {

struct SearchHit {
  std::string term, topic;
};

// The search text from the field's text: its first 255 characters,
// upper-cased (Windows-1252 rules, umlauts included).
std::string SearchTextOf(std::string_view fieldText);

// Every entry, in index-2 order (topic, then term), whose upper-cased term
// or, failing that, upper-cased see-also field holds searchText (already
// upper-cased) anywhere. An empty searchText finds nothing.
std::vector<SearchHit> SearchLexicon(TdbLex& lex, std::string_view searchText);

// Appends the hits to "- Suchergebnis" as they are (not sorted): caption
// the padded term, data the topic, image 4; the node's image becomes 4
// when there is a hit.
void AddSearchHits(EntryTree& tree, const std::vector<SearchHit>& hits);

}  // namespace qorvex
