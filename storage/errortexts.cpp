// SPDX-License-Identifier: GPL-3.0-or-later
// The error texts; see errortexts.h.
#include "storage/errortexts.h"

#include "isam/errors.h"
#include "support/cp1252.h"

namespace qorvex {
namespace {

struct Cause {
  const char* english;
  const char* german;  // UTF-8 here, Windows-1252 when handed out
};

// A number without a cause of its own in the catalogue is named by its
// class.
Cause Find(int32_t number) {
  if (const ErrorRow* row = FindError(number); row != nullptr && row->english != nullptr)
    return {row->english, row->german};
  static constexpr Cause kClasses[] = {
      {"no error", "Kein Fehler."},
      {"not found", "Nicht gefunden."},
      {"busy, or locked by another program", "Belegt oder von einem anderen Programm gesperrt."},
      {"the engine failed", "Fehler in der Datenbank."},
      {"the storage driver failed", "Fehler im Speichertreiber."},
  };
  const int32_t cls = ErrorClassOf(number);
  if (cls >= 0 && cls <= 2) return kClasses[cls];
  return kClasses[number >= kFirstDriverError ? 4 : 3];
}

}  // namespace

std::string ErrorCause(int32_t number) {
  return Find(number).english;
}

std::string ErrorCauseGerman(int32_t number) {
  return Utf8ToCp1252(Find(number).german);
}

std::string DroppedRecords(int32_t count, const std::string& file) {
  return count == 1
             ? "1 record could not be indexed (its Id is already taken): kept in " + file
             : std::to_string(count) +
                   " records could not be indexed (their Id is already taken): kept in " + file;
}

std::string DroppedRecordsGerman(int32_t count, const std::string& file) {
  return count == 1
             ? "1 Eintrag konnte nicht indiziert werden (seine Id ist schon vergeben): Er liegt "
               "in " +
                   file + "."
             : std::to_string(count) +
                   " Eintr\xE4ge konnten nicht indiziert werden (ihre Id ist schon vergeben): Sie "
                   "liegen in " +
                   file + ".";
}

}  // namespace qorvex
