// SPDX-License-Identifier: GPL-3.0-or-later
// Lexicon entries as values; see lexicon_entry.h.
#include "app/core/lexicon_entry.h"

namespace qorvex {

LexEntry EntryOf(const TdbLex& lex) {
  return {lex.Rec.Id, lex.GetTerm(), lex.GetTopic(), lex.GetSeeAlso(), lex.GetText()};
}

std::optional<LexEntry> FindEntryByTerm(TdbLex& lex, std::string_view term) {
  if (!lex.FindTerm(term)) return std::nullopt;
  return EntryOf(lex);
}

}  // namespace qorvex
