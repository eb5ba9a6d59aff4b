// SPDX-License-Identifier: GPL-3.0-or-later
// The see-also ranking; see see_also.h.
#include "app/core/see_also.h"

#include <algorithm>
#include <utility>

#include "app/core/entry_tree.h"
#include "support/cp1252.h"
#include "support/text_utils.h"

namespace qorvex {

namespace {

constexpr int kSkipWidth = 20, kScoreDigits = 6;

std::string_view TrimView(std::string_view s) {
  auto blank = [](char c) { return static_cast<uint8_t>(c) <= 32; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The words of an upper-cased field, as views into it.
void SplitWords(std::string_view upper, std::vector<std::string_view>& words) {
  words.clear();
  for (size_t comma; (comma = upper.find(',')) != std::string_view::npos;) {
    words.push_back(TrimView(upper.substr(0, comma)));
    upper.remove_prefix(comma + 1);
  }
  if (const std::string_view last = TrimView(upper); !last.empty()) words.push_back(last);
}

// Whether two upper-cased terms agree in their first 20 characters, the
// shorter one padded with blanks.
bool SameFirst20(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < static_cast<size_t>(kSkipWidth); ++i)
    if ((i < a.size() ? a[i] : ' ') != (i < b.size() ? b[i] : ' ')) return false;
  return true;
}

}  // namespace

std::vector<std::string> SeeAlsoWords(std::string_view seeAlso) {
  std::string upper;
  Cp1252UpperInto(seeAlso, upper);
  std::vector<std::string_view> words;
  SplitWords(upper, words);
  return {words.begin(), words.end()};
}

int CountEqualPairs(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  int n = 0;
  for (const std::string& x : a)
    for (const std::string& y : b) n += x == y;
  return n;
}

std::vector<RelatedEntry> RankRelated(TdbLex& lex, const LexEntry& entry) {
  const std::string ownTerm = ToStrings.UpperCase(entry.term);
  std::vector<std::string> own = SeeAlsoWords(entry.seeAlso);
  own.push_back(ToStrings.Trim(ownTerm));

  struct Key {
    std::string upper, raw;  // "<score><caption>", and upper-cased
    int score;
  };
  std::vector<Key> keys;
  // Reused for every entry: no allocation per entry beyond the fields read.
  std::string term, field;
  std::vector<std::string_view> theirs;
  for (bool ok = lex.First(1); ok; ok = lex.Next(false, true)) {
    Cp1252UpperInto(lex.GetTerm(), term);
    if (SameFirst20(term, ownTerm)) continue;
    Cp1252UpperInto(lex.GetSeeAlso(), field);
    SplitWords(field, theirs);
    int score = 0;
    for (const std::string& w : own) {
      score += w == term;  // the other entry's term, untrimmed
      for (std::string_view t : theirs) score += w == t;
    }
    if (score <= 0) continue;
    std::string raw = ToStrings.IntToStrZero(score, kScoreDigits) + EntryCaption(lex.GetTerm());
    keys.push_back({ToStrings.UpperCase(raw), std::move(raw), score});
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    return a.upper != b.upper ? a.upper < b.upper : a.raw < b.raw;
  });
  std::vector<RelatedEntry> list;
  list.reserve(keys.size());
  for (auto k = keys.rbegin(); k != keys.rend(); ++k)
    list.push_back({k->score, k->raw.substr(kScoreDigits)});
  return list;
}

RelatedIndex::RelatedIndex(const std::vector<LexEntry>& entries)
    : entries_(entries), scores_(entries.size(), 0) {
  upperTerms_.reserve(entries.size());
  captions_.reserve(entries.size());
  upperCaptions_.reserve(entries.size());
  std::string field;
  std::vector<std::string_view> words;
  for (size_t i = 0; i < entries.size(); ++i) {
    upperTerms_.push_back(ToStrings.UpperCase(entries[i].term));
    captions_.push_back(EntryCaption(entries[i].term));
    upperCaptions_.push_back(ToStrings.UpperCase(captions_.back()));
    Cp1252UpperInto(entries[i].seeAlso, field);
    SplitWords(field, words);
    words.push_back(upperTerms_.back());
    // Each distinct word once, with its count.
    std::sort(words.begin(), words.end());
    for (size_t w = 0; w < words.size();) {
      size_t end = w + 1;
      while (end < words.size() && words[end] == words[w]) ++end;
      holders_[std::string(words[w])].emplace_back(i, static_cast<int>(end - w));
      w = end;
    }
  }
}

std::vector<RelatedIndex::Item> RelatedIndex::Rank(size_t entry) const {
  const std::string& ownTerm = upperTerms_[entry];
  std::vector<std::string> own = SeeAlsoWords(entries_[entry].seeAlso);
  own.push_back(ToStrings.Trim(ownTerm));
  std::vector<size_t> touched;
  for (const std::string& w : own) {
    const auto found = holders_.find(w);
    if (found == holders_.end()) continue;
    for (const auto& [other, count] : found->second) {
      if (scores_[other] == 0) touched.push_back(other);
      scores_[other] += count;
    }
  }
  // RankRelated's keys "<score as six digits><caption>", compared upper-cased,
  // then as bytes, without building them: the captions' upper-cased forms
  // are made once.
  struct Key {
    std::string score;  // six digits (more for a score of a million)
    int value;
    size_t entry;
  };
  std::vector<Key> keys;
  for (size_t other : touched) {
    const int score = std::exchange(scores_[other], 0);
    if (SameFirst20(upperTerms_[other], ownTerm)) continue;
    std::string digits = std::to_string(score);  // as IntToStrZero(score, 6)
    const size_t width = kScoreDigits;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    keys.push_back({std::move(digits), score, other});
  }
  // a + b against c + d, as bytes: scores of one length compare first
  // (always, below a million), other keys are joined.
  const auto compare = [](const std::string& a, const std::string& b, const std::string& c,
                          const std::string& d) {
    if (a.size() != c.size()) return (a + b).compare(c + d);
    if (const int r = a.compare(c)) return r;
    return b.compare(d);
  };
  std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (const int c = compare(a.score, upperCaptions_[a.entry], b.score, upperCaptions_[b.entry]))
      return c < 0;
    if (const int c = compare(a.score, captions_[a.entry], b.score, captions_[b.entry]))
      return c < 0;
    return a.entry > b.entry;  // the same score and caption: by entry
  });
  std::vector<Item> list;
  list.reserve(keys.size());
  for (auto k = keys.rbegin(); k != keys.rend(); ++k)
    list.push_back({{k->value, captions_[k->entry]}, k->entry});
  return list;
}

}  // namespace qorvex
