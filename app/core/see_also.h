// SPDX-License-Identifier: GPL-3.0-or-later
// The "siehe auch" ranking (core layer, no Qt): which entries are related to
// one, by shared words of the comma-separated see-also lists and the terms,
// best first.
//
// Words of a see-also field: upper-cased, split at every ",", each piece
// trimmed (codes 0-32); pieces between two commas are kept even when empty,
// the piece after the last comma only when it is not empty.
// The selected entry's words: its field's words, then its trimmed,
// upper-cased term. Another entry's words: its upper-cased term (not
// trimmed), then its field's words. Score: the number of equal pairs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/core/lexicon_entry.h"

namespace qorvex {

std::vector<std::string> SeeAlsoWords(std::string_view seeAlso);

// Equal pairs (a word that occurs twice counts twice).
int CountEqualPairs(const std::vector<std::string>& a, const std::vector<std::string>& b);

struct RelatedEntry {
  int score = 0;
  std::string caption;  // the term padded or cut to 50: the list's item
};

// The entries of lex related to entry, in display order: highest score
// first, equal scores by descending term (the keys "<score as six
// digits><caption>" sorted ascending by UpperCase, then bytes, and
// reversed). Entries whose term agrees with entry's in its first 20
// characters, ignoring case, are skipped. Walks index 1.
std::vector<RelatedEntry> RankRelated(TdbLex& lex, const LexEntry& entry);

// The rankings of many entries of one lexicon (the web site's export): the
// words of every entry read once, each list then from the entries that
// share a word. Rank(i) equals RankRelated(lex, entries[i]) item by item on
// the lexicon that holds exactly entries, and names the entry each item
// stands for.
class RelatedIndex {
 public:
  explicit RelatedIndex(const std::vector<LexEntry>& entries);

  struct Item {
    RelatedEntry related;
    size_t entry = 0;  // index into the entries given
  };
  std::vector<Item> Rank(size_t entry) const;

 private:
  const std::vector<LexEntry>& entries_;
  std::vector<std::string> upperTerms_;  // untrimmed
  std::vector<std::string> captions_, upperCaptions_;
  // Each word: the entries whose term or see-also words hold it, and how often.
  std::unordered_map<std::string, std::vector<std::pair<size_t, int>>> holders_;
  mutable std::vector<int> scores_;  // all 0 between calls
};

}  // namespace qorvex
