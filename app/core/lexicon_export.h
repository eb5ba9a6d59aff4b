// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon written back as a delivery file (core layer, no Qt): one line
// "Term;<Topic>Text;SeeAlso" per entry in Id order, CR LF, so that the
// import rebuilds the same lexicon (the same data and index files).
//
// The import unquotes every value (pairs of quotes collapse, then one
// leading and one trailing quote go) and the record setters cut values to
// their limits. So a value is written as it is, except:
//  - one that ends in a quote (the setter cut it there) gets one filler
//    character after it, which the setter cuts again;
//  - a first line whose bytes would begin with the UTF-8 byte-order mark
//    gets a leading quote, which the import removes again.
// What the format cannot carry (a value with a line end, a ";" where it
// would split the line, a ">" in a topic, doubled quotes, a leading quote,
// a trailing quote below the limit) is written as well as it goes and named.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_import.h"
#include "storage/dblex.h"

namespace qorvex {

// The line of one entry, without its line end. firstLine: the line opens
// the file (the byte-order mark guard applies). Each problem adds a text
// naming the field to problems.
std::string FormatCsvLine(const CsvEntry& entry, bool firstLine,
                          std::vector<std::string>& problems);

struct ExportNote {
  int32_t id;
  std::string problem;
};

// Walks the lexicon by Id (index 3) and hands write the file's bytes piece
// by piece: Windows-1252, or UTF-8 behind the byte-order mark. Returns the
// entries that cannot be carried exactly.
std::vector<ExportNote> ExportLexicon(TdbLex& lex, bool utf8,
                                      const std::function<void(std::string_view)>& write);

}  // namespace qorvex
