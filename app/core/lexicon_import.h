// The lexicon's import from the delivery file ZEL_LEX.CSV (core layer, no
// Qt): one entry per line, "Term;<Topic>Text;SeeAlso". The viewer runs it at
// start-up; qorvex-db runs it on request.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "storage/dblex.h"

namespace qorvex {

struct CsvEntry {
  std::string term, topic, text, seeAlso;
};

// Lines end at CR LF, LF or CR; a line end at the very end adds no line, LF
// followed by CR is two line ends, an empty file has no lines.
std::vector<std::string> SplitCsvLines(std::string_view bytes);
// Every pair of double quotes becomes one (until no pair is left), then one
// leading and after it one trailing double quote go. Blanks stay.
std::string StripCsvQuotes(std::string_view value);
// The four pieces of a line, unquoted.
CsvEntry ParseCsvLine(std::string_view line);

struct ImportResult {
  bool read = false;  // false: the file could not be read, nothing changed
  int added = 0;      // entries the lexicon took
  std::string error;  // "Lexikondatei konnte nicht gelesen werden: <file>: <reason>"
};

// Reads the whole file (a file beginning with the UTF-8 byte-order mark is
// converted to Windows-1252), then empties the lexicon and adds every line
// through lex. Storage errors of severity 3 and above raise EDBError.
ImportResult ImportLexicon(const std::string& path, TdbLex& lex);

}  // namespace qorvex
