// SPDX-License-Identifier: GPL-3.0-or-later
// The error texts; see errortexts.h.
#include "storage/errortexts.h"

#include "storage/debugstack.h"
#include "support/cp1252.h"

namespace qorvex {
namespace {

struct Text {
  int32_t number;
  const char* english;
  const char* german;  // UTF-8 here, Windows-1252 when handed out
};

// The numbers a user of the tool or the window can meet with a cause worth
// saying; the others fall back to their kind.
constexpr Text kTexts[] = {
    {9900, "a folder on the path is missing", "Ein Ordner auf dem Pfad fehlt."},
    {9901, "too many files are open", "Zu viele Dateien sind geöffnet."},
    {9903, "a file of the block is missing", "Eine Datei des Datenbestands fehlt."},
    {9904, "a file handle is invalid", "Ein Dateizugriff ist ungültig."},
    {9908, "the file cannot be opened that way", "Die Datei lässt sich so nicht öffnen."},
    {10000, "too little memory for the page buffers",
     "Zu wenig Arbeitsspeicher für die Seitenpuffer."},
    {10001, "the disk failed while adding a record; the block was restored",
     "Der Datenträger versagte beim Anlegen eines Satzes; der Datenbestand wurde "
     "wiederhergestellt."},
    {10002, "the disk failed while deleting a record; the block was restored",
     "Der Datenträger versagte beim Löschen eines Satzes; der Datenbestand wurde "
     "wiederhergestellt."},
    {10003, "the disk failed while adding a key; the block was restored",
     "Der Datenträger versagte beim Anlegen eines Schlüssels; der Datenbestand wurde "
     "wiederhergestellt."},
    {10004, "the disk failed while deleting a key; the block was restored",
     "Der Datenträger versagte beim Löschen eines Schlüssels; der Datenbestand wurde "
     "wiederhergestellt."},
    {10010, "the block was left in use, or its index file cannot be used",
     "Der Datenbestand wurde nicht ordentlich geschlossen, oder seine Indexdatei ist "
     "unbrauchbar."},
    {10060, "the data file's header is damaged (too many indexes)",
     "Der Kopf der Datendatei ist beschädigt (zu viele Indizes)."},
    {10065, "the block is open read-only", "Der Datenbestand ist nur zum Lesen geöffnet."},
    {10070, "the file is empty or damaged (it ends before what its header claims)",
     "Eine Datei des Datenbestands ist leer oder beschädigt (sie endet vor dem, was ihr Kopf "
     "angibt)."},
    {10075, "the disk is full", "Der Datenträger ist voll."},
    {10120, "the index file is damaged (page size does not match keys per page)",
     "Die Indexdatei ist beschädigt (die Seitengröße passt nicht zur Zahl der Schlüssel je "
     "Seite)."},
    {10121, "the index file is damaged (key length outside 1..50)",
     "Die Indexdatei ist beschädigt (Schlüssellänge außerhalb von 1 bis 50)."},
    {10122, "the index file is damaged (more than 62 keys per page)",
     "Die Indexdatei ist beschädigt (mehr als 62 Schlüssel je Seite)."},
    {10140, "the file is used by another program or cannot be accessed",
     "Die Datei wird von einem anderen Programm benutzt oder ist nicht zugänglich."},
    {10160, "closing the block failed", "Der Datenbestand ließ sich nicht schließen."},
    {10164, "the block has fewer indexes than it should",
     "Der Datenbestand hat weniger Indizes als vorgesehen."},
    {10170, "a chain of deleted records or free pages is damaged",
     "Eine Kette gelöschter Sätze oder freier Seiten ist beschädigt."},
    {10180, "the save log cannot be read", "Das Sicherungsprotokoll ist nicht lesbar."},
    {10399, "the data file cannot be moved aside for the rebuild",
     "Die Datendatei lässt sich für den Neuaufbau nicht beiseitelegen."},
    {10410, "there is neither a data file nor a .SAV file to rebuild from",
     "Für den Neuaufbau gibt es weder eine Datendatei noch eine .SAV-Datei."},
    {10411, "too little memory to rebuild", "Zu wenig Arbeitsspeicher für den Neuaufbau."},
    {10412, "the record length is too large to rebuild",
     "Die Satzlänge ist für den Neuaufbau zu groß."},
    {10415, "a record's chain of sections is broken",
     "Die Abschnittskette eines Satzes ist unterbrochen."},
    {10460, "the rebuild was stopped", "Der Neuaufbau wurde abgebrochen."},
    {10465,
     "a .SAV file lies beside the .DAT file and neither was left by our rebuild: move away "
     "the one that does not hold the records",
     "Neben der .DAT-Datei liegt eine .SAV-Datei, und keine stammt von unserem Neuaufbau: "
     "Legen Sie die Datei beiseite, die nicht die Sätze enthält."},
    {24591, "the data file's record length differs from the block's",
     "Die Satzlänge der Datendatei weicht von der des Datenbestands ab."},
    {24592, "the record numbers have run out", "Die Satznummern sind aufgebraucht."},
    {24606, "too many blocks are open", "Zu viele Datenbestände sind geöffnet."},
    {24653, "the index file's layout differs from the block's",
     "Der Aufbau der Indexdatei weicht von dem des Datenbestands ab."},
};

const Text& Find(int32_t number) {
  for (const Text& t : kTexts)
    if (t.number == number) return t;
  static constexpr Text kKinds[] = {
      {0, "no error", "Kein Fehler."},
      {1, "not found", "Nicht gefunden."},
      {2, "busy, or locked by another program", "Belegt oder von einem anderen Programm gesperrt."},
      {3, "the engine failed", "Fehler in der Datenbank."},
      {4, "the storage driver failed", "Fehler im Speichertreiber."},
  };
  const int32_t severity = ErrorSeverity(number);
  if (severity >= 0 && severity <= 2) return kKinds[severity];
  return kKinds[number >= 12288 ? 4 : 3];
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
