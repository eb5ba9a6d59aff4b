// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up import on a delivery file of N entries (default 10,000, text
// 600 bytes on average) into an empty program folder, as the viewer runs it:
// driver started, lexicon attached, file read, lexicon cleared and filled.
//
//   bench_import [--n N] [--repeat R]
//
// Prints each run and the median in milliseconds.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/lexicon_import.h"
#include "app/core/lexicon_session.h"
#include "bench/bench_data.h"

int main(int argc, char** argv) {
  using namespace qorvex;
  int n = 10000, repeat = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--n") n = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--repeat") repeat = std::atoi(argv[i + 1]);
  }
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("qorvex-import-" + std::to_string(getpid()));
  std::filesystem::create_directories(root);
  const std::string csvPath = (root / "ZEL_LEX.CSV").string();
  {
    std::ofstream out(csvPath, std::ios::binary);
    out << bench::MakeDeliveryFile(n);
  }
  std::printf("delivery file: %d entries, %ju bytes\n", n,
              static_cast<uintmax_t>(std::filesystem::file_size(csvPath)));
  std::vector<double> ms;
  for (int r = 0; r < repeat; ++r) {
    std::filesystem::remove_all(root / "run");
    std::filesystem::create_directories(root / "run");
    const auto start = std::chrono::steady_clock::now();
    int added = 0;
    {
      // The folder opened as the viewer opens it; closed: headers written.
      LexiconSession session((root / "run").string(), {.settings = false});
      if (session.lexicon() == nullptr) return 1;
      CurrentDebugStack().SetDumpFileName("/dev/null");
      added = ImportLexicon(csvPath, *session.lexicon()).added;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
    std::printf("run %d: %d entries in %.1f ms\n", r + 1, added, ms.back());
  }
  std::filesystem::remove_all(root);
  std::printf("import of %d entries: median %.1f ms\n", n, bench::Median(ms));
  return 0;
}
