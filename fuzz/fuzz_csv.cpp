// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the reading of a delivery file (core layer): the
// byte-order mark and the UTF-8 conversion, the cutting into lines, the four
// pieces of a line and the unquoting. Any input is parsed without a crash,
// and the results keep these properties:
//  1. no line holds a CR or an LF, and the lines hold no more bytes than
//     the input (a converted character or a "?" is never longer than the
//     bytes it came from);
//  2. the pieces of a line come from it: together at most its length;
//  3. an unquoted piece holds no pair of quotes;
//  4. every byte string survives the round trip through UTF-8.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_import.h"
#include "fuzz/fuzz_target.h"
#include "support/cp1252.h"

namespace qorvex::fuzz {
namespace {

void Require(bool holds, const char* what, std::string_view line) {
  if (holds) return;
  std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(line.size()), line.data());
  std::abort();
}

}  // namespace

int MakeCorpus(const std::string& dir) {
  const std::vector<std::string> inputs = {
      "Antenne;<Technik>Eine <b>Antenne</b> strahlt ab.;Dipol, Richtantenne\r\n",
      "nur Text\nW;Thema>Text;S\rW;a>b<c;S\n\r<>x;y",
      "\"\"Q\"\" code;\"\"\"Q\"\"\";\"a;b\"\r\n\r\n",
      "\xEF\xBB\xBF\xC3\x96l;<Betrieb>Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xE2\x9C\x93;\r\n",
      "\xEF\xBB\xBFx\xED\xA0\x80y\xE0\x80\xAFz\xF4\x90\x80\x80;\xC3;\xF0\x90\x80",
      "\xD6l;<Betrieb>\x80\x81\xFF;;;\n",
      std::string(300, 'L') + ";<" + std::string(40, 'T') + ">" + std::string(1000, 't') + ";s",
  };
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < inputs.size(); ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "/seed-%02zu", i);
    std::ofstream(dir + file, std::ios::binary | std::ios::trunc) << inputs[i];
  }
  return static_cast<int>(inputs.size());
}

}  // namespace qorvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorvex;
  using fuzz::Require;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (const std::string& line : DeliveryLines(bytes)) {
    Require(line.find_first_of("\r\n") == std::string::npos, "a line holds a line end", line);
    total += line.size();
    const CsvEntry e = ParseCsvLine(line);
    Require(e.term.size() + e.topic.size() + e.text.size() + e.seeAlso.size() <= line.size(),
            "the pieces are longer than their line", line);
    for (const std::string* piece : {&e.term, &e.topic, &e.text, &e.seeAlso})
      Require(piece->find("\"\"") == std::string::npos, "a piece keeps a pair of quotes", line);
  }
  Require(total <= size, "the lines are longer than the input", bytes);
  Require(Utf8ToCp1252(Cp1252ToUtf8(bytes)) == bytes, "the round trip through UTF-8 changes",
          bytes);
  return 0;
}
