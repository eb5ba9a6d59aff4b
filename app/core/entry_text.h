// SPDX-License-Identifier: GPL-3.0-or-later
// An entry as text (core layer, no Qt): the laid-out labels read as one
// string, the text a copy puts on the clipboard, and where a search text
// lies inside the labels (for highlighting). Text is Windows-1252.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/entry_layout.h"
#include "app/core/lexicon_entry.h"

namespace qorvex {

// Where a byte of a joined text came from: a label and the byte in its
// caption, or label -1 for a blank or line break put between labels.
struct TextOrigin {
  int32_t label = -1;
  int32_t offset = 0;
};

// The captions of the text, link, Morse and tone labels in creation order:
// a label that continues the previous one on its line (same top, starts
// where that one ends) is appended as it is; any other after one blank
// (none when the text ends in a blank). With lineBreaks a label on a lower
// line starts a new line instead (the blanks ending the line removed).
std::string JoinLabels(const std::vector<EntryLabel>& labels, bool lineBreaks,
                       std::vector<TextOrigin>* origins = nullptr);

// The entry as the view shows it, for a screen reader: every label, title
// and topic line included, with a line break wherever the view starts a
// new line; no blanks before a line break or at the end.
std::string ShownText(const std::vector<EntryLabel>& labels,
                      std::vector<TextOrigin>* origins = nullptr);

// "Eintrag kopieren": the term, "[Thema: …]", a blank line, then the text
// with its line breaks (the fixed metrics at a width of 100,000); line ends
// are "\n", the term and topic without the blanks that pad them.
std::string EntryCopyText(const LexEntry& entry);

// A highlighted piece: bytes [begin, end) of labels[label].caption.
struct TextMark {
  int32_t label = 0;
  int32_t begin = 0, end = 0;
  bool operator==(const TextMark&) const = default;
};

// Every occurrence (left to right, without overlap) of the field's search
// text in the joined labels, compared upper-cased as the search does or
// folded; an occurrence that spans labels gives a piece in each. In label
// order; none for an empty search text.
std::vector<TextMark> FindTextMarks(const std::vector<EntryLabel>& labels,
                                    std::string_view fieldText, bool fold);

}  // namespace qorvex
