// The see-also ranking; see see_also.h.
#include "app/core/see_also.h"

#include <algorithm>

#include "app/core/entry_tree.h"
#include "support/vxstrings.h"

namespace qorvex {

std::vector<std::string> SeeAlsoWords(std::string_view seeAlso) {
  const std::string upper = ToStrings.UpperCase(seeAlso);
  std::vector<std::string> words;
  std::string_view rest = upper;
  for (size_t comma; (comma = rest.find(',')) != std::string_view::npos;) {
    words.push_back(ToStrings.Trim(rest.substr(0, comma)));
    rest.remove_prefix(comma + 1);
  }
  if (std::string last = ToStrings.Trim(rest); !last.empty()) words.push_back(std::move(last));
  return words;
}

int CountEqualPairs(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  int n = 0;
  for (const std::string& x : a)
    for (const std::string& y : b) n += x == y;
  return n;
}

std::vector<RelatedEntry> RankRelated(TdbLex& lex) {
  constexpr int kSkipWidth = 20, kScoreDigits = 6;
  const std::string ownTerm = ToStrings.UpperCase(lex.GetTerm());
  const std::string ownKey = ToStrings.PadCut(ownTerm, kSkipWidth);
  std::vector<std::string> own = SeeAlsoWords(lex.GetSeeAlso());
  own.push_back(ToStrings.Trim(ownTerm));

  struct Key {
    std::string upper, raw;  // "<score><caption>", and upper-cased
    int score;
  };
  std::vector<Key> keys;
  std::vector<std::string> theirs;
  for (bool ok = lex.First(1); ok; ok = lex.Next(false, true)) {
    const std::string term = lex.GetTerm();
    if (ToStrings.UpPad(term, kSkipWidth) == ownKey) continue;
    theirs = SeeAlsoWords(lex.GetSeeAlso());
    theirs.insert(theirs.begin(), ToStrings.UpperCase(term));
    const int score = CountEqualPairs(own, theirs);
    if (score <= 0) continue;
    std::string raw = ToStrings.IntToStrZero(score, kScoreDigits) + EntryCaption(term);
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

}  // namespace qorvex
