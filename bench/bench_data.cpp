// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmarks' generated data; see bench_data.h.
#include "bench/bench_data.h"

#include <algorithm>
#include <random>

namespace qorvex::bench {

std::string MakeDeliveryFile(int n) {
  std::mt19937 rng(42);
  const char* topics[] = {
      "Antennen",   "Technik",       "Betriebstechnik",        "Ausbreitung",
      "Grundlagen", "Vorschriften",  "Digitale Betriebsarten", "Messtechnik",
      "Bauteile",   "Messger\xE4te", "Betriebsarten",          "Stromversorgung"};
  std::string csv;
  for (int i = 0; i < n; ++i) {
    const bool marked = i % 100 == 37;
    std::string term = "Begriff " + std::to_string(rng() % 1000000);
    if (marked && i % 200 == 37) term += std::string(" ") + kMarker;
    std::string text;
    const size_t length = 100 + rng() % 1001;
    while (text.size() < length) text += "Wort" + std::to_string(rng() % 1000) + " ";
    text.resize(length);
    std::string seeAlso;
    const int words = static_cast<int>(rng() % 7);
    for (int w = 0; w < words; ++w)
      seeAlso += (w ? ", " : "") + ("Begriff " + std::to_string(rng() % 1000));
    if (marked && i % 200 != 37) seeAlso += std::string(seeAlso.empty() ? "" : ", ") + kMarker;
    csv += term + ";<" + topics[rng() % 12] + ">" + text + ";" + seeAlso + "\r\n";
  }
  return csv;
}

std::string MakeEntryText(size_t length) {
  std::mt19937 rng(64);
  std::string text;
  for (int word = 0; text.size() < length; ++word) {
    std::string w(3 + rng() % 5, 'a');
    for (char& c : w) c = static_cast<char>('a' + rng() % 26);
    if (word % 97 == 0)
      w = "http://example.org/" + w;
    else if (word % 89 == 0)
      w = "<Morse>" + w + "</Morse>";
    else if (word % 13 == 0)
      w = "<b>" + w + "</b>";
    text += w + (word % 17 == 16 ? "<br>" : " ");
  }
  text.resize(length);
  return text;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace qorvex::bench
