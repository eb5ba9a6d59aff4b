// SPDX-License-Identifier: GPL-3.0-or-later
// An entry as text; see entry_text.h.
#include "app/core/entry_text.h"

#include "app/core/search.h"
#include "app/core/text_search.h"
#include "support/cp1252.h"
#include "support/text_utils.h"

namespace qorvex {
namespace {

bool IsBodyLabel(const EntryLabel& l) {
  return l.kind != LabelKind::Title && l.kind != LabelKind::Topic;
}

std::string Join(const std::vector<EntryLabel>& labels, bool lineBreaks, bool headings,
                 std::vector<TextOrigin>* origins) {
  std::string out;
  if (origins != nullptr) origins->clear();
  const auto put = [&](char c, int32_t label, int32_t offset) {
    out += c;
    if (origins != nullptr) origins->push_back({label, offset});
  };
  const EntryLabel* previous = nullptr;
  for (size_t i = 0; i < labels.size(); ++i) {
    const EntryLabel& l = labels[i];
    if (!headings && !IsBodyLabel(l)) continue;
    const bool sameLine = previous != nullptr && l.top == previous->top;
    const bool continues = sameLine && l.left == int64_t{previous->left} + previous->width;
    if (!continues && !out.empty()) {
      if (lineBreaks && !sameLine) {
        while (!out.empty() && out.back() == ' ') {
          out.pop_back();
          if (origins != nullptr) origins->pop_back();
        }
        put('\n', -1, 0);
      } else if (out.back() != ' ' && out.back() != '\n') {
        put(' ', -1, 0);
      }
    }
    for (size_t k = 0; k < l.caption.size(); ++k)
      put(l.caption[k], static_cast<int32_t>(i), static_cast<int32_t>(k));
    previous = &l;
  }
  return out;
}

}  // namespace

std::string JoinLabels(const std::vector<EntryLabel>& labels, bool lineBreaks,
                       std::vector<TextOrigin>* origins) {
  return Join(labels, lineBreaks, false, origins);
}

std::string ShownText(const std::vector<EntryLabel>& labels, std::vector<TextOrigin>* origins) {
  std::string text = Join(labels, true, true, origins);
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
    if (origins != nullptr) origins->pop_back();
  }
  return text;
}

std::string EntryCopyText(const LexEntry& entry) {
  const std::vector<EntryLabel> labels =
      RenderEntry(entry.term, entry.topic, entry.text, false, false, 100000, FixedTextMetrics());
  std::string text = JoinLabels(labels, true);
  text.erase(text.find_last_not_of(' ') + 1);
  return std::string(WithoutTrailingBlanks(entry.term)) +
         "\n[Thema: " + std::string(WithoutTrailingBlanks(entry.topic)) + "]\n\n" + text;
}

std::vector<TextMark> FindTextMarks(const std::vector<EntryLabel>& labels,
                                    std::string_view fieldText, bool fold) {
  std::vector<TextMark> marks;
  std::vector<TextOrigin> origins;
  const std::string joined = JoinLabels(labels, false, &origins);
  const std::string needle = SearchNeedle(fieldText, fold);
  std::string haystack;
  std::vector<uint32_t> folded;  // fold: the joined byte of each compared byte
  if (fold)
    haystack = FoldText(joined, folded);
  else
    Cp1252UpperInto(joined, haystack);
  if (needle.empty()) return marks;
  // The joined byte where compared byte i starts; past the end, the end.
  const auto source = [&](size_t i) -> size_t {
    if (!fold) return i;
    return i < folded.size() ? folded[i] : joined.size();
  };
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    // To the next compared byte's source: an "e" read into its vowel and
    // both letters of an "ß" belong to the occurrence.
    const size_t from = source(at), to = source(at + needle.size());
    for (size_t j = from; j < to; ++j) {
      const TextOrigin& o = origins[j];
      if (o.label < 0) continue;
      if (!marks.empty() && marks.back().label == o.label && marks.back().end == o.offset)
        ++marks.back().end;
      else
        marks.push_back({o.label, o.offset, o.offset + 1});
    }
  }
  return marks;
}

}  // namespace qorvex
