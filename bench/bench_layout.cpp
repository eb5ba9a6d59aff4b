// The layout of one 64,000-character entry (about 10,000 word pieces, with
// bold words, line breaks, links and Morse) with the fixed text metrics in
// a view 640 pixels wide, as the viewer lays out its largest entry.
//
//   bench_layout [--repeat R]   (default 15, at least 7)
//
// Prints each run, then as its last line: layout64k_ms=D (the median).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/core/entry_layout.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  using namespace qorvex;
  int repeat = 15;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--repeat") repeat = std::max(7, std::atoi(argv[i + 1]));
  const std::string text = MakeEntryText(64000);
  const FixedTextMetrics metrics;
  std::vector<double> ms;
  size_t labels = 0;
  for (int r = 0; r < repeat; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<EntryLabel> result =
        RenderEntry("Begriff", "Thema", text, true, false, 640, metrics);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
    labels = result.size();
    std::printf("run %d: %zu labels in %.2f ms\n", r + 1, labels, ms.back());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("layout of %zu characters, %zu labels: median of %d runs\n", text.size(), labels,
              repeat);
  std::printf("layout64k_ms=%.2f\n", ms[ms.size() / 2]);
  return 0;
}
