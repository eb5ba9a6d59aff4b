// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's work without a window on a lexicon of N generated entries
// (default 10,000; text 600 bytes on average, see-also lists of 0..6
// words), with the program's 160 page buffers: the tree build and sort, a
// search that hits about 1% of the entries, and the see-also ranking of one
// entry (the search and the ranking alone, without a tree rebuild), and the
// layout of a 64,000-character entry (about 10,000 word pieces, with bold
// words, line breaks, links and Morse) with the fixed text metrics in a view
// 640 pixels wide.
//
//   bench_core [--n N] [--repeat R]
//
// Prints each figure's runs and, last, the medians in milliseconds (the
// names on that line say 10k whatever N is; --n 100000 times 100,000).
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/core/entry_layout.h"
#include "app/core/entry_tree.h"
#include "app/core/lexicon_import.h"
#include "app/core/lexicon_session.h"
#include "app/core/search.h"
#include "app/core/see_also.h"
#include "app/core/text_search.h"
#include "bench/bench_data.h"

namespace {

using namespace qorvex;
using bench::Median;

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs work repeat times; the median wall time in milliseconds. The CPU
// time beside it tells a busy machine from slow code.
double Measure(const char* name, int repeat, const std::function<size_t()>& work) {
  std::vector<double> ms, cpu;
  size_t result = 0;
  for (int r = 0; r < repeat; ++r) {
    const double cpuStart = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    result = work();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
    cpu.push_back(CpuMs() - cpuStart);
  }
  std::printf("%s (%zu items):", name, result);
  for (double m : ms) std::printf(" %.1f", m);
  std::printf(" ms; median %.2f ms (CPU %.2f ms)\n", Median(ms), Median(cpu));
  return Median(ms);
}

}  // namespace

int main(int argc, char** argv) {
  int n = 10000, repeat = 9;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--n") n = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
  }
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("qorvex-core-" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "run");
  const std::string csvPath = (root / "ZEL_LEX.CSV").string();
  {
    std::ofstream out(csvPath, std::ios::binary);
    out << bench::MakeDeliveryFile(n);
  }
  double tree = 0, search = 0, related = 0, fulltext = 0, suggest = 0;
  {
    // The folder opened as the viewer opens it (160 page buffers).
    LexiconSession session((root / "run").string(), {.settings = false});
    if (session.lexicon() == nullptr) return 1;
    CurrentDebugStack().SetDumpFileName("/dev/null");
    TdbLex& lex = *session.lexicon();
    const int added = ImportLexicon(csvPath, lex).added;
    std::printf("lexicon: %d entries\n", added);
    // The record reads every figure below contains: the storage layer's
    // walk of an index alone.
    Measure("index walk alone", repeat, [&] {
      size_t records = 0;
      for (bool ok = lex.First(2); ok; ok = lex.Next(false, true)) ++records;
      return records;
    });
    tree = Measure("tree build and sort", repeat, [&] {
      const EntryTree t = BuildTree(lex);
      return t.roots.size();
    });
    const std::string text = SearchTextOf("zirkul");
    search = Measure("search", repeat, [&] { return SearchLexicon(lex, text).size(); });
    lex.First(1);
    for (int i = 0; i < n / 2 && lex.Next(false, true); ++i) {
    }
    const std::string term = lex.GetTerm();
    std::printf("ranked entry: %s\n", term.c_str());
    const LexEntry ranked = *FindEntryByTerm(lex, term);
    related = Measure("see-also ranking", repeat, [&] { return RankRelated(lex, ranked).size(); });
    fulltext = Measure("forgiving full-text search", repeat, [&] {
      return SearchEntries(lex, "zirkul", {.fold = true, .fullText = true}).size();
    });
    suggest = Measure("suggestions", repeat, [&] { return Suggest(lex, "Begrif 12345").size(); });
  }
  std::filesystem::remove_all(root);
  const std::string entry = bench::MakeEntryText(64000);
  const FixedTextMetrics metrics;
  const double layout = Measure("layout of 64,000 characters", repeat, [&] {
    return RenderEntry("Begriff", "Thema", entry, true, false, 640, metrics).size();
  });
  std::printf(
      "tree10k_ms=%.1f search10k_ms=%.1f related10k_ms=%.1f layout64k_ms=%.2f fulltext10k_ms=%.1f "
      "suggest10k_ms=%.1f\n",
      tree, search, related, layout, fulltext, suggest);
  return 0;
}
