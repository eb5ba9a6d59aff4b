// SPDX-License-Identifier: GPL-3.0-or-later
// Forgiving and full-text search (core layer, no Qt): the folding of text,
// the plain text of an entry, searches with folding or over the text too,
// and spelling suggestions. The specified search (search.h) is the special
// case with both off; the window, qorvex-db and the tests share these.
//
// 1. Folding lower-cases (the search's upper-casing mirrored), strips
//    diacritics (à–å → a, ç → c, è–ë → e, ì–ï → i, ñ → n, ò–ö, ø → o,
//    ù–ü → u, ý ÿ → y, š → s, ž → z), spells æ, œ, ß as ae, oe, ss, then
//    reads "ae", "oe", "ue" as a, o, u, left to right without overlap.
// 2. The plain text of an entry is the captions of its text, link, Morse
//    and tone labels laid out with fixed metrics at a width of 100,000: a
//    label that continues the previous one on its line is appended as it
//    is, any other after one blank (none when the text ends in a blank).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_entry.h"
#include "app/core/search.h"

namespace qorvex {

std::string FoldText(std::string_view cp1252);
// The same into out (replaced), reusing its room.
void FoldInto(std::string_view cp1252, std::string& out);
// The same, and for each byte of the result the index in cp1252 of the
// letter it was spelled from.
std::string FoldText(std::string_view cp1252, std::vector<uint32_t>& origins);

std::string PlainTextOf(const LexEntry& entry);

// The field's search text as the searches compare it: SearchTextOf's
// upper-casing, or folded (its first 255 characters).
std::string SearchNeedle(std::string_view fieldText, bool fold);
// text as the searches compare it with such a needle, into out (replaced).
void ComparedInto(std::string_view text, bool fold, std::string& out);

struct SearchOptions {
  bool fold = false;      // fold both sides instead of upper-casing them
  bool fullText = false;  // an entry whose plain text holds the text hits too
};

// The search of the field's text: an entry hits when its term or, failing
// that, its see-also list holds the text, or (full text) its plain text
// does; compared upper-cased as the specified search does, or folded. Hits
// in index-2 order (topic, then term). With both options off it is exactly
// SearchLexicon(lex, SearchTextOf(fieldText)).
std::vector<SearchHit> SearchEntries(TdbLex& lex, std::string_view fieldText,
                                     SearchOptions options);

// The optimal-string-alignment distance: inserts, deletes, substitutions and
// swaps of two neighbours, each 1.
int OsaDistance(std::string_view a, std::string_view b);

struct Suggestion {
  std::string term;  // trailing blanks removed
  int distance = 0;
};

// Up to 5 terms whose folded form lies within 1 (a folded search text of up
// to 4 characters) or 2 (longer) of the folded search text; one per folded
// form (the first entry in index-1 order that has it); closest first, ties
// in index-1 order.
std::vector<Suggestion> Suggest(TdbLex& lex, std::string_view fieldText);

}  // namespace qorvex
