// SPDX-License-Identifier: GPL-3.0-or-later
// Runs saved fuzz inputs through the target without the fuzzing engine:
//   fuzz_replay FILE|DIR ...        every input (a directory: its files)
//   fuzz_replay --make-corpus DIR   writes the seed inputs
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--make-corpus") {
    std::printf("%d inputs written\n", qorvex::fuzz::MakeCorpus(argv[2]));
    return 0;
  }
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p = argv[i];
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.push_back(p);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: fuzz_replay FILE|DIR ... | --make-corpus DIR\n");
    return 2;
  }
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::vector<uint8_t> data(std::istreambuf_iterator<char>(in), {});
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
