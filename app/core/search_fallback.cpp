// SPDX-License-Identifier: GPL-3.0-or-later
// The window's search with its fallbacks; see search_fallback.h.
#include "app/core/search_fallback.h"

#include "app/core/text_search.h"

namespace qorvex {

FoundEntries FindForField(TdbLex& lex, std::string_view fieldText, bool fullText) {
  FoundEntries found;
  if (SearchTextOf(fieldText).empty()) return found;
  found.hits = fullText ? SearchEntries(lex, fieldText, {.fold = false, .fullText = true})
                        : SearchLexicon(lex, SearchTextOf(fieldText));
  if (!found.hits.empty()) {
    found.by = FoundBy::kExact;
    return found;
  }
  found.hits = SearchEntries(lex, fieldText, {.fold = true, .fullText = fullText});
  if (!found.hits.empty()) {
    found.by = FoundBy::kFolded;
    return found;
  }
  for (const Suggestion& s : Suggest(lex, fieldText))
    if (std::optional<LexEntry> e = FindEntryByTerm(lex, s.term))
      found.hits.push_back({std::move(e->term), std::move(e->topic)});
  if (!found.hits.empty()) found.by = FoundBy::kSuggestion;
  return found;
}

std::string_view FallbackHint(FoundBy by) {
  switch (by) {
    case FoundBy::kFolded:
      return "Keine genauen Treffer \x96 rot markiert sind \xE4hnliche Schreibweisen.";
    case FoundBy::kSuggestion:
      return "Keine Treffer. Meinten Sie einen dieser Begriffe?";
    default:
      return {};
  }
}

std::vector<EntryLabel> SearchHintLabels(FoundBy by, int32_t viewWidth,
                                         const TextMeasurer& measurer) {
  std::vector<EntryLabel> labels = RenderEntry("", "", "", false, true, viewWidth, measurer);
  const std::string_view hint = FallbackHint(by);
  if (hint.empty()) return labels;
  // The hint's title is as high as an entry's: the text starts below it.
  std::vector<EntryLabel> text =
      RenderEntry("", "", "<b>" + std::string(hint) + "</b>", false, false, viewWidth, measurer);
  labels.insert(labels.end(), std::make_move_iterator(text.begin() + 1),
                std::make_move_iterator(text.end()));
  return labels;
}

bool HitsOutsideText(const LexEntry& entry, std::string_view fieldText, bool fold) {
  const std::string needle = SearchNeedle(fieldText, fold);
  std::string compared;
  const auto holds = [&](std::string_view text) {
    ComparedInto(text, fold, compared);
    return compared.find(needle) != std::string::npos;
  };
  return !needle.empty() && (holds(entry.term) || holds(entry.seeAlso));
}

}  // namespace qorvex
