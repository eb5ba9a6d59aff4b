// SPDX-License-Identifier: GPL-3.0-or-later
// The error catalogue of the storage floor: every engine and driver error
// number, once, with its symbolic name, its class, and the cause in words
// (English for the tool, German for the window; none: named by its class).
//
// Class: for engine numbers (below kFirstDriverError) the engine's error
// class: 1 not found, 2 busy / check access (retried), 3 failed but
// restored, 4 fatal. Driver numbers carry theirs in the high nibble:
// ((n & 0xF000) >> 12) - 2, 99 outside 1..5; 28770 is 1. Numbers without a
// row follow the same rules (engine: 10001..10009 class 3, the index misses
// 10200..10299 class 1, all others 4); the rows agree with them
// (checked at compile time below).
//
// Every other file names errors by the names below, never by number.
#pragma once

#include <cstdint>

namespace qorvex {

// X(name, number, class, English cause, German cause in UTF-8)
#define QORVEX_ERROR_CATALOGUE(X)                                                                \
  /* Engine: the OS layer */                                                                     \
  X(kErrPathNotFound, 9900, 2, "a folder on the path is missing",                                \
    "Ein Ordner auf dem Pfad fehlt.")                                                            \
  X(kErrTooManyFiles, 9901, 4, "too many files are open", "Zu viele Dateien sind geöffnet.")     \
  X(kErrFileNotFound, 9903, 1, "a file of the block is missing",                                 \
    "Eine Datei des Datenbestands fehlt.")                                                       \
  X(kErrInvalidHandle, 9904, 4, "a file handle is invalid", "Ein Dateizugriff ist ungültig.")    \
  X(kErrInvalidAccess, 9908, 4, "the file cannot be opened that way",                            \
    "Die Datei lässt sich so nicht öffnen.")                                                     \
  /* Engine: file blocks */                                                                      \
  X(kErrNoPageBuffers, 10000, 4, "too little memory for the page buffers",                       \
    "Zu wenig Arbeitsspeicher für die Seitenpuffer.")                                            \
  X(kErrAddRecordRestored, 10001, 3,                                                             \
    "the disk failed while adding a record; the block was restored",                             \
    "Der Datenträger versagte beim Anlegen eines Satzes; der Datenbestand wurde "               \
    "wiederhergestellt.")                                                                        \
  X(kErrDeleteRecordRestored, 10002, 3,                                                          \
    "the disk failed while deleting a record; the block was restored",                           \
    "Der Datenträger versagte beim Löschen eines Satzes; der Datenbestand wurde "              \
    "wiederhergestellt.")                                                                        \
  X(kErrAddKeyRestored, 10003, 3, "the disk failed while adding a key; the block was restored",  \
    "Der Datenträger versagte beim Anlegen eines Schlüssels; der Datenbestand wurde "          \
    "wiederhergestellt.")                                                                        \
  X(kErrDeleteKeyRestored, 10004, 3,                                                             \
    "the disk failed while deleting a key; the block was restored",                              \
    "Der Datenträger versagte beim Löschen eines Schlüssels; der Datenbestand wurde "         \
    "wiederhergestellt.")                                                                        \
  X(kErrMustRebuild, 10010, 4, "the block was left in use, or its index file cannot be used",    \
    "Der Datenbestand wurde nicht ordentlich geschlossen, oder seine Indexdatei ist "            \
    "unbrauchbar.")                                                                              \
  X(kErrRecordLengthTooSmall, 10020, 4, nullptr, nullptr)                                        \
  X(kErrNoDescriptorMemory, 10030, 4, nullptr, nullptr)                                          \
  X(kErrNoVariableBuffer, 10040, 4, nullptr, nullptr)                                            \
  X(kErrTooManyIndexes, 10050, 4, nullptr, nullptr)                                              \
  X(kErrBadKeyLength, 10055, 4, nullptr, nullptr)                                                \
  X(kErrHeaderTooManyIndexes, 10060, 4, "the data file's header is damaged (too many indexes)",  \
    "Der Kopf der Datendatei ist beschädigt (zu viele Indizes).")                                \
  X(kErrReadOnly, 10065, 2, "the block is open read-only",                                       \
    "Der Datenbestand ist nur zum Lesen geöffnet.")                                              \
  X(kErrReadPastEnd, 10070, 4,                                                                   \
    "the file is empty or damaged (it ends before what its header claims)",                      \
    "Eine Datei des Datenbestands ist leer oder beschädigt (sie endet vor dem, was ihr Kopf "   \
    "angibt).")                                                                                  \
  X(kErrWriteIncomplete, 10075, 4, "the disk is full", "Der Datenträger ist voll.")              \
  X(kErrNotOpen, 10080, 4, nullptr, nullptr)                                                     \
  X(kErrNoCreateMemory, 10090, 4, nullptr, nullptr)                                              \
  X(kErrNoOpenMemory, 10100, 4, nullptr, nullptr)                                                \
  /* classed as busy (retry kind 7) and passed through; no step produces it */                   \
  X(kErrDriveNotReady, 10110, 2, nullptr, nullptr)                                               \
  X(kErrPageSizeMismatch, 10120, 4,                                                              \
    "the index file is damaged (page size does not match keys per page)",                        \
    "Die Indexdatei ist beschädigt (die Seitengröße passt nicht zur Zahl der Schlüssel je "  \
    "Seite).")                                                                                   \
  X(kErrDerivedKeyLength, 10121, 4, "the index file is damaged (key length outside 1..50)",      \
    "Die Indexdatei ist beschädigt (Schlüssellänge außerhalb von 1 bis 50).")                    \
  X(kErrKeysPerPage, 10122, 4, "the index file is damaged (more than 62 keys per page)",         \
    "Die Indexdatei ist beschädigt (mehr als 62 Schlüssel je Seite).")                           \
  X(kErrKeyTooLong, 10125, 4, nullptr, nullptr)                                                  \
  X(kErrPutRefZero, 10130, 4, nullptr, nullptr)                                                  \
  X(kErrDeleteRefRange, 10135, 4, nullptr, nullptr)                                              \
  X(kErrFile, 10140, 4, "the file is used by another program or cannot be accessed",             \
    "Die Datei wird von einem anderen Programm benutzt oder ist nicht zugänglich.")              \
  X(kErrNetworkFlush, 10150, 4, nullptr, nullptr)                                                \
  X(kErrClose, 10160, 4, "closing the block failed",                                             \
    "Der Datenbestand ließ sich nicht schließen.")                                               \
  X(kErrKeyNumber, 10164, 4, "the block has fewer indexes than it should",                       \
    "Der Datenbestand hat weniger Indizes als vorgesehen.")                                      \
  X(kErrChainCorrupt, 10170, 4, "a chain of deleted records or free pages is damaged",           \
    "Eine Kette gelöschter Sätze oder freier Seiten ist beschädigt.")                            \
  X(kErrLogUnreadable, 10180, 4, "the save log cannot be read",                                  \
    "Das Sicherungsprotokoll ist nicht lesbar.")                                                 \
  /* Engine: index misses (class 1) */                                                           \
  X(kErrKeyNotFound, 10200, 1, nullptr, nullptr)                                                 \
  X(kErrRecordLockedRestRead, 10205, 1, nullptr, nullptr)                                        \
  X(kErrSearchPastEnd, 10210, 1, nullptr, nullptr)                                               \
  X(kErrDeleteKeyNotFound, 10220, 1, nullptr, nullptr)                                           \
  X(kErrDuplicateKey, 10230, 1, nullptr, nullptr)                                                \
  X(kErrNoNextKey, 10250, 1, nullptr, nullptr)                                                   \
  X(kErrNextWithoutPosition, 10255, 1, nullptr, nullptr)                                         \
  X(kErrNoPrevKey, 10260, 1, nullptr, nullptr)                                                   \
  X(kErrPrevWithoutPosition, 10265, 1, nullptr, nullptr)                                         \
  X(kErrKeyRefNotFound, 10270, 1, nullptr, nullptr)                                              \
  /* Engine: network locking */                                                                  \
  X(kNetErrNoStation, 10306, 2, nullptr, nullptr)                                                \
  X(kNetErrUnknownKind, 10310, 4, nullptr, nullptr)                                              \
  X(kNetErrShutdown, 10315, 4, nullptr, nullptr)                                                 \
  X(kNetErrCloseFileBlockLock, 10322, 4, nullptr, nullptr)                                       \
  X(kNetErrCloseRecordLocks, 10323, 4, nullptr, nullptr)                                         \
  X(kNetErrWriteLock, 10330, 2, nullptr, nullptr)                                                \
  X(kNetErrReadLock, 10332, 2, nullptr, nullptr)                                                 \
  X(kNetErrRecordLock, 10335, 2, nullptr, nullptr)                                               \
  X(kNetErrNoRecordLockMemory, 10337, 4, nullptr, nullptr)                                       \
  X(kNetErrRelease, 10340, 4, nullptr, nullptr)                                                  \
  X(kNetErrReleaseStation, 10341, 4, nullptr, nullptr)                                           \
  X(kNetErrReleaseOpenLock, 10342, 4, nullptr, nullptr)                                          \
  X(kNetErrRegionUnlock, 10345, 4, nullptr, nullptr)                                             \
  X(kNetErrOpenLock, 10355, 2, nullptr, nullptr)                                                 \
  X(kNetErrNoStateMemory, 10356, 4, nullptr, nullptr)                                            \
  X(kNetErrDialogBusy, 10360, 2, nullptr, nullptr)                                               \
  /* classed as busy; no step produces it */                                                     \
  X(kNetErrBusy, 10390, 2, nullptr, nullptr)                                                     \
  X(kErrReadOnlyFileError, 10397, 2, nullptr, nullptr)                                           \
  X(kErrNeedsWriteLock, 10398, 4, nullptr, nullptr)                                              \
  /* also a file error while the rebuild moves the data file aside */                            \
  X(kErrAutoReadLock, 10399, 2, "the data file cannot be moved aside for the rebuild",           \
    "Die Datendatei lässt sich für den Neuaufbau nicht beiseitelegen.")                          \
  /* Engine: rebuild */                                                                          \
  X(kErrRebuildNoFile, 10410, 1, "there is neither a data file nor a .SAV file to rebuild from", \
    "Für den Neuaufbau gibt es weder eine Datendatei noch eine .SAV-Datei.")                     \
  X(kErrRebuildMemory, 10411, 4, "too little memory to rebuild",                                 \
    "Zu wenig Arbeitsspeicher für den Neuaufbau.")                                               \
  X(kErrRebuildLength, 10412, 4, "the record length is too large to rebuild",                    \
    "Die Satzlänge ist für den Neuaufbau zu groß.")                                              \
  X(kErrBrokenSectionChain, 10415, 4, "a record's chain of sections is broken",                  \
    "Die Abschnittskette eines Satzes ist unterbrochen.")                                        \
  X(kErrReplayReadOnly, 10430, 4, nullptr, nullptr)                                              \
  X(kErrDialogMissing, 10440, 4, nullptr, nullptr)                                               \
  X(kErrBadHandle, 10445, 4, nullptr, nullptr)                                                   \
  X(kErrStartedTwice, 10450, 4, nullptr, nullptr)                                                \
  X(kErrTooFewBuffersAsked, 10451, 4, nullptr, nullptr)                                          \
  X(kErrNotStarted, 10455, 4, nullptr, nullptr)                                                  \
  X(kErrRebuildStopped, 10460, 4, "the rebuild was stopped", "Der Neuaufbau wurde abgebrochen.") \
  X(kErrRebuildInterrupted, 10465, 4,                                                            \
    "a .SAV file lies beside the .DAT file and neither was left by our rebuild: move away the "  \
    "one that does not hold the records",                                                        \
    "Neben der .DAT-Datei liegt eine .SAV-Datei, und keine stammt von unserem Neuaufbau: Legen " \
    "Sie die Datei beiseite, die nicht die Sätze enthält.")                                      \
  X(kErrRebuildCopy, 10475, 4, nullptr, nullptr)                                                 \
  /* Driver (storage layer) */                                                                   \
  X(kDriverDeletedMeanwhile, 12289, 1, nullptr, nullptr)                                         \
  X(kDriverChangedMeanwhile, 12309, 1, nullptr, nullptr)                                         \
  X(kDriverNoRebuild, 12323, 1, nullptr, nullptr)                                                \
  X(kDriverRebuildRefused, 12328, 1, nullptr, nullptr)                                           \
  X(kDriverNoSuchBlock, 12364, 1, nullptr, nullptr)                                              \
  X(kDriverMustExist, 16478, 2, nullptr, nullptr)                                                \
  X(kDriverCloseAfterMismatch, 24590, 4, nullptr, nullptr)                                       \
  X(kDriverRecordLengthDiffers, 24591, 4,                                                        \
    "the data file's record length differs from the block's",                                    \
    "Die Satzlänge der Datendatei weicht von der des Datenbestands ab.")                         \
  X(kDriverNumberOverflow, 24592, 4, "the record numbers have run out",                          \
    "Die Satznummern sind aufgebraucht.")                                                        \
  X(kDriverStartKind, 24603, 4, nullptr, nullptr)                                                \
  X(kDriverStartEngine, 24604, 4, nullptr, nullptr)                                              \
  X(kDriverStartPool, 24605, 4, nullptr, nullptr)                                                \
  X(kDriverPoolFull, 24606, 4, "too many blocks are open",                                       \
    "Zu viele Datenbestände sind geöffnet.")                                                     \
  X(kDriverInvalidObject, 24607, 4, nullptr, nullptr)                                            \
  X(kDriverNoKeyTableMemory, 24608, 4, nullptr, nullptr)                                         \
  X(kDriverNoRecordBufferMemory, 24609, 4, nullptr, nullptr)                                     \
  X(kDriverNoVariableBuffer, 24610, 4, nullptr, nullptr)                                         \
  X(kDriverIndexLayoutDiffers, 24653, 4, "the index file's layout differs from the block's",     \
    "Der Aufbau der Indexdatei weicht von dem des Datenbestands ab.")                            \
  X(kDriverNotStarted, 28675, 5, nullptr, nullptr)                                               \
  X(kDriverNoFileName, 28677, 5, nullptr, nullptr)                                               \
  X(kDriverNoKeyTable, 28678, 5, nullptr, nullptr)                                               \
  X(kDriverNoBuffer, 28679, 5, nullptr, nullptr)                                                 \
  X(kDriverRecordLength, 28682, 5, nullptr, nullptr)                                             \
  X(kDriverTooManyIndexes, 28683, 5, nullptr, nullptr)                                           \
  X(kDriverKeyTooLong, 28685, 5, nullptr, nullptr)                                               \
  X(kDriverAddFirstWord, 28689, 5, nullptr, nullptr)                                             \
  X(kDriverUpdateNoCurrent, 28691, 5, nullptr, nullptr)                                          \
  X(kDriverUpdateFirstWord, 28692, 5, nullptr, nullptr)                                          \
  X(kDriverDeleteNoCurrent, 28694, 5, nullptr, nullptr)                                          \
  X(kDriverTooFewFiles, 28698, 5, nullptr, nullptr)                                              \
  X(kDriverIndexNumber, 28709, 5, nullptr, nullptr)                                              \
  X(kDriverIndexUndefined, 28710, 5, nullptr, nullptr)                                           \
  X(kDriverNumberField, 28711, 5, nullptr, nullptr)                                              \
  X(kDriverNextNoCurrent, 28715, 5, nullptr, nullptr)                                            \
  X(kDriverVarLengthHigh, 28716, 5, nullptr, nullptr)                                            \
  X(kDriverKeyLengthZero, 28717, 5, nullptr, nullptr)                                            \
  X(kDriverFixedSection, 28718, 5, nullptr, nullptr)                                             \
  X(kDriverNumberUndefined, 28721, 5, nullptr, nullptr)                                          \
  X(kDriverStopRegistered, 28724, 5, nullptr, nullptr)                                           \
  X(kDriverVersion, 28725, 5, nullptr, nullptr)                                                  \
  X(kDriverNumberKey, 28726, 5, nullptr, nullptr)                                                \
  X(kDriverNoKeyBuilder, 28727, 5, nullptr, nullptr)                                             \
  X(kDriverRegistered, 28728, 5, nullptr, nullptr)                                               \
  X(kDriverVarLengthLow, 28740, 5, nullptr, nullptr)                                             \
  X(kDriverStartedTwice, 28744, 5, nullptr, nullptr)                                             \
  X(kDriverDeleteNotRead, 28752, 5, nullptr, nullptr)                                            \
  X(kDriverVariableSection, 28754, 5, nullptr, nullptr)                                          \
  X(kDriverTraceReentered, 28760, 5, nullptr, nullptr)                                           \
  X(kDriverNoBlockName, 28761, 5, nullptr, nullptr)                                              \
  X(kDriverReentered, 28770, 1, nullptr, nullptr)

enum ErrorNumber : int32_t {
#define QORVEX_ERROR_NAME(name, number, cls, english, german) name = number,
  QORVEX_ERROR_CATALOGUE(QORVEX_ERROR_NAME)
#undef QORVEX_ERROR_NAME
  // The rebuild's name for 10399: a file error while it moves the data
  // file aside.
  kErrRebuildMoveAside = kErrAutoReadLock,
};

// Driver numbers start here; below lie the engine's.
inline constexpr int32_t kFirstDriverError = 12288;
// Failures the save mode undid (class 3).
inline constexpr int32_t kFirstRestored = kErrAddRecordRestored, kLastRestored = 10009;
// The engine's index misses (class 1, the index left as it was).
inline constexpr int32_t kFirstIndexMiss = kErrKeyNotFound, kLastIndexMiss = 10299;
// The rebuild's message file failed with runtime I/O error n: this + n.
inline constexpr int32_t kErrMessageFileBase = 9500;

struct ErrorRow {
  int32_t number;
  int32_t errorClass;
  const char* english;  // nullptr: named by its class
  const char* german;   // UTF-8; nullptr: named by its class
};

// The row of number, nullptr when the catalogue has none.
const ErrorRow* FindError(int32_t number);
// The class of any error number (0 for 0); see the head of this file.
int32_t ErrorClassOf(int32_t number);

constexpr bool IsIndexMiss(int32_t number) {
  return number >= kFirstIndexMiss && number <= kLastIndexMiss;
}
// An index file that cannot be used as it is, or a data file left in use:
// the index is derived data and is rebuilt.
constexpr bool IsIndexUnusable(int32_t number) {
  return number == kErrMustRebuild || number == kErrPageSizeMismatch ||
         number == kErrDerivedKeyLength || number == kErrKeysPerPage ||
         number == kDriverIndexLayoutDiffers;
}

}  // namespace qorvex
