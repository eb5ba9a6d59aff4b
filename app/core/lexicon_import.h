// SPDX-License-Identifier: GPL-3.0-or-later
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

// Why a delivery file could not be read.
struct ReadProblem {
  enum Kind { kOs, kNotRegular, kTooLarge, kNoMemory } kind = kOs;
  int error = 0;      // kOs: the errno value
  uint64_t size = 0;  // kTooLarge: the bytes found
};
// "Datei nicht gefunden" (Windows-1252), for the window.
std::string ReadProblemGerman(const ReadProblem& problem);
// "no such file", for qorvex-db.
std::string ReadProblemEnglish(const ReadProblem& problem);

struct ImportResult {
  bool read = false;      // false: the file could not be read, nothing changed
  bool replaced = false;  // the lexicon now holds the file's entries
  int added = 0;          // entries the lexicon took
  // The storage error that stopped an import of a file that was read; the
  // old lexicon is unchanged then.
  int32_t storageError = 0;
  std::string error;    // "Lexikondatei konnte nicht gelesen werden: <file>: <reason>"
  ReadProblem problem;  // the reason, when the file could not be read
};

// The largest delivery file read.
inline constexpr uint64_t kMaxDeliveryBytes = uint64_t{1} << 30;

// Reads a delivery file whole. Only a regular file of at most
// kMaxDeliveryBytes is read: a FIFO, a device, a folder or a larger file is
// refused with the reason. Throws std::bad_alloc when memory runs out.
bool ReadDeliveryFile(const std::string& path, std::string& bytes, ReadProblem& problem);
using DeliveryReader =
    std::function<bool(const std::string& path, std::string& bytes, ReadProblem& problem)>;

// The window's message for an import that a storage error stopped
// (Windows-1252): "Lexikondatei konnte nicht eingelesen werden: <file>:
// <cause> Das bisherige Lexikon ist unverändert."
std::string ImportRefusedText(const std::string& path, int32_t storageError);

// Reads the whole file and cuts it into lines (memory running out makes it
// unreadable), builds a new lexicon of every line beside lex's (under its
// staging name) and puts it in place of the old one whole. Afterwards the
// lexicon's files exist, empty when the file has no lines. A storage error
// before the new lexicon takes the old one's place (a lexicon another
// program holds, a full disk) stops the import with the old lexicon
// unchanged (storageError); one after it raises EDBError.
ImportResult ImportLexicon(const std::string& path, TdbLex& lex,
                           const DeliveryReader& read = ReadDeliveryFile);

}  // namespace qorvex
