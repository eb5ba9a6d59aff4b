// SPDX-License-Identifier: GPL-3.0-or-later
// The search; see search.h.
#include "app/core/search.h"

#include "support/cp1252.h"
#include "support/text_utils.h"

namespace qorvex {
std::string SearchTextOf(std::string_view fieldText) {
  return ToStrings.UpperCase(fieldText.substr(0, kShortMax));
}

std::vector<SearchHit> SearchLexicon(TdbLex& lex, std::string_view searchText) {
  std::vector<SearchHit> hits;
  if (searchText.empty()) return hits;
  std::string upper;
  for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) {
    std::string term = lex.GetTerm();
    Cp1252UpperInto(term, upper);
    bool hit = upper.find(searchText) != std::string::npos;
    if (!hit) {
      Cp1252UpperInto(lex.GetSeeAlso(), upper);
      hit = upper.find(searchText) != std::string::npos;
    }
    if (hit) hits.push_back({std::move(term), lex.GetTopic()});
  }
  return hits;
}

void AddSearchHits(EntryTree& tree, const std::vector<SearchHit>& hits) {
  TreeNode& node = tree.SearchNode();
  for (const SearchHit& h : hits)
    node.children.push_back({EntryCaption(h.term), kImageSearchHits, h.topic, {}});
  if (!hits.empty()) node.image = kImageSearchHits;
}

}  // namespace qorvex
