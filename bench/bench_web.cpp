// SPDX-License-Identifier: GPL-3.0-or-later
// The web site's export on lexicons of N entries (default 10,000): the
// generated lexicon of the other benchmarks (plain texts of 600 bytes on
// average), and the sample's entries repeated until N (its markup: columns,
// Morse and tone words, colours), each written to a fresh folder with
// every page, the index, its data and the stylesheet.
//
//   bench_web [--n N] [--repeat R] [--dir FOLDER]
//
// FOLDER (default the temporary folder) takes the lexicons and sites; the
// user and system CPU time beside each figure tell our work from the file
// system's (creating 10,000 files costs some file systems seconds when many
// files were deleted there lately).
//
// Prints each run and the sizes, last the medians in milliseconds and the
// index page's bytes: "export10k_ms=A sample10k_ms=B index10k_bytes=C
// data10k_bytes=D" (the names say 10k whatever N is).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/lexicon_import.h"
#include "app/core/lexicon_session.h"
#include "app/core/web_export.h"
#include "bench/bench_data.h"

namespace {

using namespace qorvex;
namespace fs = std::filesystem;

// User and system CPU time of the process so far, in milliseconds.
std::pair<double, double> CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return {ms(u.ru_utime), ms(u.ru_stime)};
}

struct Figures {
  double ms = 0, again = 0;
  uintmax_t index = 0, data = 0, total = 0;
  size_t files = 0;
};

// Imports the delivery file into a folder of its own and exports it repeat
// times, each into a folder that did not exist, then once over the first.
Figures Export(const char* name, const fs::path& root, const std::string& delivery, int repeat) {
  const fs::path run = root / name;
  fs::create_directories(run);
  const std::string csv = (run / "ZEL_LEX.CSV").string();
  std::ofstream(csv, std::ios::binary) << delivery;
  Figures f;
  LexiconSession session(run.string(), {.settings = false});
  if (session.lexicon() == nullptr) std::exit(1);
  TdbLex& lex = *session.lexicon();
  std::printf("%s: %d entries\n", name, ImportLexicon(csv, lex).added);
  std::vector<double> ms, user, system;
  for (int r = 0; r < repeat; ++r) {
    const fs::path out = run / ("site" + std::to_string(r));
    const auto cpu = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    const web::ExportResult result = web::ExportSite(lex, out.string());
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
    user.push_back(CpuMs().first - cpu.first);
    system.push_back(CpuMs().second - cpu.second);
    if (!result.ok) {
      std::fprintf(stderr, "bench_web: %s\n", result.error.c_str());
      std::exit(1);
    }
    if (r == 0) {
      f.index = fs::file_size(out / "index.html");
      f.data = fs::file_size(out / "index-data.js");
      for (const fs::directory_entry& e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file()) {
          f.total += e.file_size();
          ++f.files;
        }
    }
  }
  // Once more over the first site: its pages removed, then written anew.
  const auto start = std::chrono::steady_clock::now();
  if (!web::ExportSite(lex, (run / "site0").string()).ok) std::exit(1);
  f.again =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  f.ms = bench::Median(ms);
  std::printf("%s export:", name);
  for (double m : ms) std::printf(" %.0f", m);
  std::printf(" ms; median %.0f ms (CPU user %.0f ms, system %.0f ms)\n", bench::Median(ms),
              bench::Median(user), bench::Median(system));
  std::printf(
      "  median %.0f ms; over an earlier export %.0f ms; %zu files, %ju bytes; index.html %ju "
      "bytes, index-data.js %ju bytes\n",
      f.ms, f.again, f.files, f.total, f.index, f.data);
  return f;
}

// Copies of the sample until n entries, copy k with " k" after its term
// and every see-also word: each copy relates within itself, as the sample.
std::string RepeatedSample(int n) {
  std::ifstream in(QORVEX_SAMPLE, std::ios::binary);
  const std::string sample{std::istreambuf_iterator<char>(in), {}};
  const std::vector<std::string> lines = SplitCsvLines(sample);
  std::string csv;
  for (int i = 0; i < n && !lines.empty(); ++i) {
    const std::string suffix = " " + std::to_string(i / lines.size());
    const CsvEntry e = ParseCsvLine(lines[i % lines.size()]);
    std::string seeAlso;
    for (size_t from = 0; from < e.seeAlso.size();) {
      const size_t comma = std::min(e.seeAlso.find(',', from), e.seeAlso.size());
      seeAlso +=
          e.seeAlso.substr(from, comma - from) + suffix + (comma < e.seeAlso.size() ? "," : "");
      from = comma + 1;
    }
    csv += e.term.substr(0, 40) + suffix + ";<" + e.topic + ">" + e.text + ";" + seeAlso + "\r\n";
  }
  return csv;
}

}  // namespace

int main(int argc, char** argv) {
  int n = 10000, repeat = 5;
  fs::path folder = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--n") n = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
    if (std::string(argv[i]) == "--dir") folder = argv[i + 1];
  }
  const fs::path root = folder / ("qorvex-web-" + std::to_string(getpid()));
  const Figures generated = Export("generated", root, bench::MakeDeliveryFile(n), repeat);
  const Figures sample = Export("sample", root, RepeatedSample(n), repeat);
  fs::remove_all(root);
  std::printf("export10k_ms=%.0f sample10k_ms=%.0f index10k_bytes=%ju data10k_bytes=%ju\n",
              generated.ms, sample.ms, std::max(generated.index, sample.index), generated.data);
  return 0;
}
