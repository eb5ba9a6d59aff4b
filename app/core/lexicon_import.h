// The lexicon's import from the delivery file ZEL_LEX.CSV (core layer, no
// Qt): one entry per line, "Term;<Topic>Text;SeeAlso". The viewer runs it at
// start-up; qorvex-db runs it on request.
#pragma once

#include <cstdint>
#include <functional>
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

// The delivery file as the import reads it: the bytes (converted to
// Windows-1252 when they begin with the UTF-8 byte-order mark) cut into
// lines.
std::vector<std::string> DeliveryLines(std::string_view bytes);

struct ImportResult {
  bool read = false;  // false: the file could not be read, nothing changed
  int added = 0;      // entries the lexicon took
  std::string error;  // "Lexikondatei konnte nicht gelesen werden: <file>: <reason>"
};

// The largest delivery file read.
inline constexpr uint64_t kMaxDeliveryBytes = uint64_t{1} << 30;

// Reads a delivery file whole. Only a regular file of at most
// kMaxDeliveryBytes is read: a FIFO, a device, a folder or a larger file is
// refused with the reason (Windows-1252, in German, as the messages). Throws
// std::bad_alloc when memory runs out.
bool ReadDeliveryFile(const std::string& path, std::string& bytes, std::string& reason);
using DeliveryReader =
    std::function<bool(const std::string& path, std::string& bytes, std::string& reason)>;

// Reads the whole file and cuts it into lines (memory running out makes it
// unreadable), then empties the lexicon and adds every line through lex.
// Afterwards the lexicon's files exist, empty when the file has no lines.
// Storage errors of severity 3 and above raise EDBError.
ImportResult ImportLexicon(const std::string& path, TdbLex& lex,
                           const DeliveryReader& read = ReadDeliveryFile);

}  // namespace qorvex
