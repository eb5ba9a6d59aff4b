// Forgiving and full-text search; see text_search.h.
#include "app/core/text_search.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "app/core/entry_layout.h"
#include "support/cp1252.h"

namespace qorvex {
namespace {

// Each byte's folded spelling before the digraphs (one or two letters,
// 0-terminated): lower case (the search's upper-casing mirrored), then
// without diacritics.
using Spelling = std::array<char, 3>;
const std::array<Spelling, 256>& FoldTable() {
  static const std::array<Spelling, 256> table = [] {
    std::array<int, 256> lower{};
    for (int c = 0; c < 256; ++c) lower[c] = c;
    for (int c = 'A'; c <= 'Z'; ++c) lower[c] = c + 32;
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) lower[c] = c + 0x20;
    lower[0x8A] = 0x9A;
    lower[0x8C] = 0x9C;
    lower[0x8E] = 0x9E;
    lower[0x9F] = 0xFF;
    std::array<Spelling, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = {static_cast<char>(lower[c]), 0, 0};
    const auto spell = [&](int from, int to, char first, char second = 0) {
      for (int c = 0; c < 256; ++c)
        if (lower[c] >= from && lower[c] <= to) t[c] = {first, second, 0};
    };
    spell(0xE0, 0xE5, 'a');
    spell(0xE6, 0xE6, 'a', 'e');
    spell(0xE7, 0xE7, 'c');
    spell(0xE8, 0xEB, 'e');
    spell(0xEC, 0xEF, 'i');
    spell(0xF1, 0xF1, 'n');
    spell(0xF2, 0xF6, 'o');
    spell(0xF8, 0xF8, 'o');
    spell(0xF9, 0xFC, 'u');
    spell(0xFD, 0xFD, 'y');
    spell(0xFF, 0xFF, 'y');
    spell(0x9A, 0x9A, 's');
    spell(0x9E, 0x9E, 'z');
    spell(0x9C, 0x9C, 'o', 'e');
    spell(0xDF, 0xDF, 's', 's');
    return t;
  }();
  return table;
}

// Upper-cases into out as the specified search does.
void UpperInto(std::string_view text, std::string& out) {
  out.assign(text);
  for (char& c : out) c = static_cast<char>(Cp1252Upper(static_cast<uint8_t>(c)));
}

std::string Compared(std::string_view text, bool fold) {
  if (fold) return FoldText(text);
  std::string out;
  UpperInto(text, out);
  return out;
}

std::string TrimTrailingBlanks(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

}  // namespace

namespace {

std::string Fold(std::string_view cp1252, std::vector<uint32_t>* origins) {
  const std::array<Spelling, 256>& table = FoldTable();
  std::string out;
  out.reserve(cp1252.size() + 8);
  // "ae", "oe", "ue" read as their vowel, left to right without overlap:
  // an "e" right after a vowel that has not yet taken one is dropped.
  bool vowel = false;
  for (const char& c : cp1252) {
    const Spelling& spelled = table[static_cast<uint8_t>(c)];
    // The byte 0 spells itself: the spelling's end marker is no end here.
    const int letters = c == 0 ? 1 : spelled[1] == 0 ? 1 : 2;
    for (int i = 0; i < letters; ++i) {
      const char f = spelled[static_cast<size_t>(i)];
      if (f == 'e' && vowel) {
        vowel = false;
        continue;
      }
      out += f;
      if (origins != nullptr) origins->push_back(static_cast<uint32_t>(&c - cp1252.data()));
      vowel = f == 'a' || f == 'o' || f == 'u';
    }
  }
  return out;
}

}  // namespace

std::string FoldText(std::string_view cp1252) {
  return Fold(cp1252, nullptr);
}

std::string FoldText(std::string_view cp1252, std::vector<uint32_t>& origins) {
  origins.clear();
  return Fold(cp1252, &origins);
}

std::string PlainTextOf(const LexEntry& entry) {
  const std::vector<EntryLabel> labels =
      RenderEntry(entry.term, entry.topic, entry.text, false, false, 100000, FixedTextMetrics());
  std::string out;
  const EntryLabel* previous = nullptr;
  for (const EntryLabel& l : labels) {
    if (l.kind == LabelKind::Title || l.kind == LabelKind::Topic) continue;
    const bool continues =
        previous != nullptr && l.top == previous->top && l.left == previous->left + previous->width;
    if (!continues && !out.empty() && out.back() != ' ') out += ' ';
    out += l.caption;
    previous = &l;
  }
  return out;
}

std::vector<SearchHit> SearchEntries(TdbLex& lex, std::string_view fieldText,
                                     SearchOptions options) {
  const std::string needle =
      options.fold ? FoldText(fieldText.substr(0, kShortMax)) : SearchTextOf(fieldText);
  std::vector<SearchHit> hits;
  if (needle.empty()) return hits;
  for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) {
    const LexEntry e = EntryOf(lex);
    const bool hit = Compared(e.term, options.fold).find(needle) != std::string::npos ||
                     Compared(e.seeAlso, options.fold).find(needle) != std::string::npos ||
                     (options.fullText &&
                      Compared(PlainTextOf(e), options.fold).find(needle) != std::string::npos);
    if (hit) hits.push_back({e.term, e.topic});
  }
  return hits;
}

int OsaDistance(std::string_view a, std::string_view b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
  for (size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j) {
      const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[n][m];
}

std::vector<Suggestion> Suggest(TdbLex& lex, std::string_view fieldText) {
  const std::string needle = FoldText(fieldText.substr(0, kShortMax));
  std::vector<Suggestion> found;
  if (needle.empty()) return found;
  const int limit = needle.size() <= 4 ? 1 : 2;
  std::vector<std::string> seen;  // folded forms already suggested
  for (bool ok = lex.First(1); ok; ok = lex.Next(false, true)) {
    const std::string term = TrimTrailingBlanks(lex.GetTerm());
    std::string folded = FoldText(term);
    // Lengths further apart than the limit cannot be within it.
    const size_t gap = folded.size() > needle.size() ? folded.size() - needle.size()
                                                     : needle.size() - folded.size();
    if (gap > static_cast<size_t>(limit)) continue;
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    const int distance = OsaDistance(folded, needle);
    if (distance > limit) continue;
    seen.push_back(std::move(folded));
    found.push_back({term, distance});
  }
  std::stable_sort(found.begin(), found.end(), [](const Suggestion& a, const Suggestion& b) {
    return a.distance < b.distance;
  });
  if (found.size() > 5) found.resize(5);
  return found;
}

}  // namespace qorvex
