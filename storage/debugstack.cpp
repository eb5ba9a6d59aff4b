// SPDX-License-Identifier: GPL-3.0-or-later
// Error stack, EDBError and the error dump; see debugstack.h.
//
// Dump (appended to the dump file, lines ending CR LF):
//   (empty line)
//   *->  YYYY:MM:DD  HH:MM              numbers right-aligned with blanks
//        InitialFileblock  <file>       when an entry names another block and the first is open
//   per entry:
//        Fileblock  <file>              while the entry's block is open
//        - Err: n (sev)  MP: marker/main  [SP: sub  SN: step]  KN: k  RN: r
//        - DF: $hh  DS: $ll  DE: os
//        - AA: $
//   PosErrorDeleteKey                   when the delete-key flag is set
// A dump file that grows past kMaxDumpBytes drops its oldest dumps.
#include "storage/debugstack.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "isam/status.h"
#include "support/text_utils.h"

namespace qorvex {
namespace {

// Never destroyed: drivers may still record while the program ends.
DebugStack& defaultStack = *new DebugStack;
DebugStack* current = &defaultStack;
int32_t errorLevel = 0;

// Writes the dump of a fatal error left by the last operation when the
// program ends.
struct ExitRoutine {
  ~ExitRoutine() {
    if (errorLevel > 2 || current->deleteKeyFlag()) current->WriteDump(DumpTime::Now());
  }
} exitRoutine;

int32_t Shown(int32_t number) {
  return number >= kFirstDriverError ? (number & 0xFFF) : number;
}

std::string Hex2(unsigned v) {
  char b[3];
  std::snprintf(b, sizeof b, "%02X", v & 0xFF);
  return b;
}

// Keeps a dump file below kMaxDumpBytes: its oldest dumps go first, whole.
// REQUIRES: the caller holds the file's lock.
void DropOldestDumps(const std::string& path) {
  // A descriptor of its own: writes through an appending one land at the end.
  struct File {
    int fd;
    ~File() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
  const int fd = file.fd;
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= static_cast<off_t>(kMaxDumpBytes)) return;
  std::string all(static_cast<size_t>(st.st_size), '\0');
  if (::pread(fd, all.data(), all.size(), 0) != static_cast<ssize_t>(all.size())) return;
  // The newest dumps that fit; at least the last one.
  size_t keep = all.find("\r\n*->  ", all.size() - kMaxDumpBytes);
  if (keep == std::string::npos) keep = all.rfind("\r\n*->  ");
  if (keep == std::string::npos || keep == 0) return;
  const size_t n = all.size() - keep;
  if (::pwrite(fd, all.data() + keep, n, 0) == static_cast<ssize_t>(n))
    (void)!::ftruncate(fd, static_cast<off_t>(n));
}

bool AppendToFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // Programs sharing the folder append one at a time.
  (void)!::flock(fd, LOCK_EX);
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  if (ok) DropOldestDumps(path);
  return ::close(fd) == 0 && ok;
}

}  // namespace

DumpTime DumpTime::Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
}

void DebugStack::Record(DriverOwner owner, int32_t severity, int32_t step, int32_t reference,
                        uint16_t index, int32_t number, BlockFileTag file) {
  TErrorEntry e;
  e.severity = severity != 0 ? severity : ErrorClassOf(number);
  e.number = number;
  e.index = index;
  e.reference = reference;
  e.mainOperation = mainOperation_;
  e.subOperation = subOperation_;
  e.step = step;
  e.osError = static_cast<uint16_t>(EngineFirstOsError);
  e.osFunction = EngineFirstIoFunction;
  e.owner = owner;
  e.file = std::move(file);
  if (count_ < kMaxEntries) ++count_;
  entries_[count_ - 1] = e;
  if (e.severity > errorLevel) errorLevel = e.severity;
}

void DebugStack::Clear() {
  count_ = 0;
  errorLevel = 0;
  firstBlock_ = nullptr;
  firstFile_.reset();
  ClearStatus();
}

uint16_t DebugStack::SetSubOperation(uint16_t code) {
  const uint16_t previous = subOperation_;
  subOperation_ = code;
  return previous;
}

void DebugStack::SetFirstBlock(DriverOwner owner, BlockFileTag file) {
  if (firstBlock_ != nullptr) return;
  firstBlock_ = owner;
  firstFile_ = std::move(file);
}

const TErrorEntry* DebugStack::Worst() const {
  const TErrorEntry* worst = nullptr;
  for (int i = 0; i < count_; ++i)
    if (worst == nullptr || entries_[i].severity > worst->severity) worst = &entries_[i];
  return worst;
}

std::string DebugStack::DumpText(const DumpTime& when) const {
  const TToStrings& s = ToStrings;
  const std::string nl = "\r\n";
  std::string out = nl;
  out += "*->  " + s.IntToStrWidth(when.year, 4) + ":" + s.IntToStrWidth(when.month, 2) + ":" +
         s.IntToStrWidth(when.day, 2) + "  " + s.IntToStrWidth(when.hour, 2) + ":" +
         s.IntToStrWidth(when.minute, 2) + nl;
  bool otherBlock = false;
  for (int i = 0; i < count_; ++i)
    if (entries_[i].owner != firstBlock_) otherBlock = true;
  if (const auto file = firstFile_.lock(); otherBlock && file)
    out += "     InitialFileblock  " + *file + nl;
  for (int i = 0; i < count_; ++i) {
    const TErrorEntry& e = entries_[i];
    if (const auto file = e.file.lock()) out += "     Fileblock  " + *file + nl;
    out += "     - Err: " + s.IntToStr(Shown(e.number)) + " (" + s.IntToStr(e.severity) + ")" +
           "  MP: " + s.IntToStr(e.marker) + "/" + s.IntToStr(e.mainOperation & 0xFFF) +
           "  [SP: " + s.IntToStr(e.subOperation) + "  SN: " + s.IntToStr(e.step) + "]" +
           "  KN: " + s.IntToStr(e.index) + "  RN: " + s.IntToStr(e.reference) + nl;
    out += "     - DF: $" + Hex2(e.osFunction >> 8) + "  DS: $" + Hex2(e.osFunction) +
           "  DE: " + s.IntToStr(e.osError) + nl;
  }
  out += "     - AA: $" + nl;
  return out;
}

void DebugStack::WriteDump(const DumpTime& when) const {
  if (errorLevel > 2) {
    const std::string text = DumpText(when);
    AppendToFile(dumpFileName_, text);
    if (isatty(STDOUT_FILENO)) std::fwrite(text.data(), 1, text.size(), stdout);
  }
  if (deleteKey_) AppendToFile(dumpFileName_, "PosErrorDeleteKey\r\n");
}

DebugStack& CurrentDebugStack() {
  return *current;
}

void SetCurrentDebugStack(DebugStack* stack) {
  current = stack != nullptr ? stack : &defaultStack;
}

int32_t ErrorLevel() {
  return errorLevel;
}

EDBError::EDBError(int32_t level, int32_t number, const std::string& blockName)
    : std::runtime_error("Datenbankfehler " + ToStrings.IntToStr(level) + "(" +
                         ToStrings.IntToStr(Shown(number)) + ") " + ToStrings.UpperCase(blockName)),
      severity_(level),
      number_(number),
      blockName_(blockName) {}

}  // namespace qorvex
