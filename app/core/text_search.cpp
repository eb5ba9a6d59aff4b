// SPDX-License-Identifier: GPL-3.0-or-later
// Forgiving and full-text search; see text_search.h.
#include "app/core/text_search.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "app/core/entry_layout.h"
#include "support/cp1252.h"
#include "support/text_utils.h"

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

}  // namespace

namespace {

constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHigh = 0x8080808080808080;

// 0x80 in each byte of x that equals c, 0 in the others.
uint64_t BytesEqual(uint64_t x, char c) {
  const uint64_t t = x ^ (kOnes * static_cast<uint8_t>(c));
  return ~(((t & ~kHigh) + ~kHigh) | t | ~kHigh);
}

}  // namespace

void FoldInto(std::string_view cp1252, std::string& out) {
  const std::array<Spelling, 256>& table = FoldTable();
  // At most two letters a byte; the unused rest is cut off at the end.
  out.resize(cp1252.size() * 2);
  char* const begin = out.data();
  char* p = begin;
  // "ae", "oe", "ue" read as their vowel, left to right without overlap:
  // an "e" right after a vowel that has not yet taken one is dropped, that
  // is an "e" whose letter before it is "a", "o" or "u". Without branches on
  // the letters: they follow no pattern.
  unsigned vowel = 0;
  const auto put = [&](char f) {
    *p = f;
    p += 1u - (vowel & static_cast<unsigned>(f == 'e'));
    vowel = static_cast<unsigned>(f == 'a') | static_cast<unsigned>(f == 'o') |
            static_cast<unsigned>(f == 'u');
  };
  const char* c = cp1252.data();
  const char* const end = c + cp1252.size();
  while (c != end) {
    // Eight ASCII bytes at once: an ASCII byte spells itself lower-cased.
    // Output room: p ≤ begin + 2 × (c − data), so 8 bytes fit while 8 remain.
    if (end - c >= 8) {
      uint64_t x = 0;
      std::memcpy(&x, c, 8);  // byte i in bits 8i..8i+7
      if ((x & kHigh) == 0) {
        const uint64_t upper = (x + kOnes * (0x80 - 'A')) & ~(x + kOnes * (0x7F - 'Z')) & kHigh;
        x |= upper >> 2;
        const uint64_t vowels = BytesEqual(x, 'a') | BytesEqual(x, 'o') | BytesEqual(x, 'u');
        // No "e" after a vowel (the one before the eight included): no drop.
        if ((BytesEqual(x, 'e') & ((vowels << 8) | (uint64_t{vowel} << 7))) == 0) {
          std::memcpy(p, &x, 8);
          p += 8;
          vowel = static_cast<unsigned>(vowels >> 63);
          c += 8;
          continue;
        }
      }
    }
    for (const char* stop = std::min(end, c + 8); c != stop; ++c) {
      const Spelling& spelled = table[static_cast<uint8_t>(*c)];
      put(spelled[0]);  // the byte 0 spells itself
      if (spelled[1] != 0) [[unlikely]]
        put(spelled[1]);
    }
  }
  out.resize(static_cast<size_t>(p - begin));
}

std::string FoldText(std::string_view cp1252) {
  std::string out;
  FoldInto(cp1252, out);
  return out;
}

std::string FoldText(std::string_view cp1252, std::vector<uint32_t>& origins) {
  // FoldInto's reading byte by byte, noting where each letter came from.
  const std::array<Spelling, 256>& table = FoldTable();
  std::string out;
  origins.clear();
  bool vowel = false;
  for (size_t i = 0; i < cp1252.size(); ++i) {
    const Spelling& spelled = table[static_cast<uint8_t>(cp1252[i])];
    for (size_t k = 0; k < (spelled[1] == 0 ? 1u : 2u); ++k) {
      const char f = spelled[k];
      if (f == 'e' && vowel) {
        vowel = false;
        continue;
      }
      out += f;
      origins.push_back(static_cast<uint32_t>(i));
      vowel = f == 'a' || f == 'o' || f == 'u';
    }
  }
  return out;
}

std::string PlainTextOf(const LexEntry& entry) {
  std::string out;
  PlainTextInto(entry.text, out);
  return out;
}

std::string SearchNeedle(std::string_view fieldText, bool fold) {
  return fold ? FoldText(fieldText.substr(0, kShortMax)) : SearchTextOf(fieldText);
}

void ComparedInto(std::string_view text, bool fold, std::string& out) {
  if (fold)
    FoldInto(text, out);
  else
    Cp1252UpperInto(text, out);
}

std::vector<SearchHit> SearchEntries(TdbLex& lex, std::string_view fieldText,
                                     SearchOptions options) {
  const std::string needle = SearchNeedle(fieldText, options.fold);
  std::vector<SearchHit> hits;
  if (needle.empty()) return hits;
  // Two buffers for the whole walk: an entry that does not hit allocates
  // nothing.
  std::string compared, plain;
  const auto holds = [&](std::string_view text) {
    ComparedInto(text, options.fold, compared);
    return std::string_view(compared).find(needle) != std::string_view::npos;
  };
  for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) {
    bool hit = holds(lex.TermView()) || holds(lex.SeeAlsoView());
    if (!hit && options.fullText) {
      PlainTextInto(lex.TextView(), plain);
      hit = holds(plain);
    }
    if (hit) hits.push_back({lex.GetTerm(), lex.GetTopic()});
  }
  return hits;
}

int OsaDistance(std::string_view a, std::string_view b) {
  const size_t n = a.size(), m = b.size();
  // Rows i − 2, i − 1 and i of the table d[0..n][0..m], in turn.
  std::vector<int> rows(3 * (m + 1));
  int* before = rows.data();
  int* previous = before + m + 1;
  int* row = previous + m + 1;
  for (size_t j = 0; j <= m; ++j) previous[j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i) {
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= m; ++j) {
      const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, previous);
    std::swap(previous, row);
  }
  return previous[m];
}

std::vector<Suggestion> Suggest(TdbLex& lex, std::string_view fieldText) {
  const std::string needle = FoldText(fieldText.substr(0, kShortMax));
  std::vector<Suggestion> found;
  if (needle.empty()) return found;
  const int limit = needle.size() <= 4 ? 1 : 2;
  std::vector<std::string> seen;  // folded forms already suggested
  std::string folded;
  for (bool ok = lex.First(1); ok; ok = lex.Next(false, true)) {
    std::string_view term = lex.TermView();
    term = WithoutTrailingBlanks(term);
    FoldInto(term, folded);
    // Lengths further apart than the limit cannot be within it.
    const size_t gap = folded.size() > needle.size() ? folded.size() - needle.size()
                                                     : needle.size() - folded.size();
    if (gap > static_cast<size_t>(limit)) continue;
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    const int distance = OsaDistance(folded, needle);
    if (distance > limit) continue;
    seen.push_back(folded);
    found.push_back({std::string(term), distance});
  }
  std::stable_sort(found.begin(), found.end(), [](const Suggestion& a, const Suggestion& b) {
    return a.distance < b.distance;
  });
  if (found.size() > 5) found.resize(5);
  return found;
}

}  // namespace qorvex
