// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon import; see lexicon_import.h.
#include "app/core/lexicon_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>

#include "storage/errortexts.h"
#include "support/cp1252.h"

namespace qorvex {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// 1-based position of c in s, 0 when absent (the positions the pieces are
// cut by).
size_t Pos(char c, std::string_view s) {
  const size_t p = s.find(c);
  return p == std::string_view::npos ? 0 : p + 1;
}

}  // namespace

std::vector<std::string> SplitCsvLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return lines;
}

std::string StripCsvQuotes(std::string_view value) {
  // Collapsing pairs until none is left leaves every run as one quote.
  std::string s;
  s.reserve(value.size());
  for (char c : value)
    if (c != '"' || s.empty() || s.back() != '"') s += c;
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

CsvEntry ParseCsvLine(std::string_view line) {
  std::string_view term, rest = line, seeAlso;
  if (const size_t p = Pos(';', line)) {
    term = line.substr(0, p - 1);
    rest = line.substr(p);
  }
  if (const size_t q = Pos(';', rest)) {
    seeAlso = rest.substr(q);
    rest = rest.substr(0, q - 1);
  }
  const size_t a = Pos('<', rest), b = Pos('>', rest);
  std::string_view topic, text = rest;
  if (b > a + 1) topic = rest.substr(a, b - a - 1);
  if (b > 0) text = rest.substr(b);
  return {StripCsvQuotes(term), StripCsvQuotes(topic), StripCsvQuotes(text),
          StripCsvQuotes(seeAlso)};
}

namespace {

// Why the system refused a read, in both languages; no English text: the C
// library's own (which is English) with the number.
struct OsReason {
  int error;
  const char* german;
  const char* english;
};
constexpr OsReason kOsReasons[] = {
    {ENOENT, "Datei nicht gefunden", "no such file"},
    {EACCES, "keine Leseberechtigung", "permission denied"},
    {EPERM, "keine Leseberechtigung", "permission denied"},
    {EISDIR, "ein Ordner, keine Datei", "a folder, not a file"},
    {EIO, "Lesefehler (Ein-/Ausgabefehler)", "read error (input/output error)"},
    {ELOOP, "zu viele Ebenen symbolischer Verkn\xFCpfungen", nullptr},
    {ENAMETOOLONG, "der Dateiname ist zu lang", nullptr},
    {ENOTDIR, "ein Teil des Pfades ist kein Ordner", nullptr},
};

std::string ReadProblemText(const ReadProblem& p, bool german) {
  switch (p.kind) {
    case ReadProblem::kNotRegular:
      return german ? "keine gew\xF6hnliche Datei" : "not a regular file";
    case ReadProblem::kTooLarge:
      return std::to_string(p.size) +
             (german ? " Bytes, mehr als 1 GiB" : " bytes, more than 1 GiB");
    case ReadProblem::kNoMemory:
      return german ? "zu wenig Arbeitsspeicher" : "not enough memory";
    case ReadProblem::kOs:
      break;
  }
  for (const OsReason& r : kOsReasons)
    if (r.error == p.error && (german || r.english != nullptr))
      return german ? r.german : r.english;
  if (german) return "Fehler " + std::to_string(p.error) + " des Betriebssystems";
  // The C library's own text is English; lower case it as ours are.
  std::string text = std::strerror(p.error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text + " (errno " + std::to_string(p.error) + ")";
}

}  // namespace

std::string ReadProblemGerman(const ReadProblem& p) {
  return ReadProblemText(p, true);
}

std::string ReadProblemEnglish(const ReadProblem& p) {
  return ReadProblemText(p, false);
}

bool ReadDeliveryFile(const std::string& path, std::string& bytes, ReadProblem& problem) {
  // Without a writer, opening a FIFO would wait forever: nothing blocks here.
  struct File {
    int fd;
    ~File() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
    problem = {ReadProblem::kOs, errno, 0};
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    problem = S_ISDIR(st.st_mode) ? ReadProblem{ReadProblem::kOs, EISDIR, 0}
                                  : ReadProblem{ReadProblem::kNotRegular, 0, 0};
    return false;
  }
  // Read to the end, not to the size stat gives: some files report 0 and
  // still hold bytes (or fail to read). The cap holds for a file that grows
  // while it is read too.
  const auto tooLarge = [&](uint64_t size) {
    problem = {ReadProblem::kTooLarge, 0, size};
    return false;
  };
  if (static_cast<uint64_t>(st.st_size) > kMaxDeliveryBytes) return tooLarge(st.st_size);
  bytes.resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got > kMaxDeliveryBytes) return tooLarge(got);
      bytes.resize(std::min<size_t>(2 * got + 4096, kMaxDeliveryBytes + 1));
    }
    const ssize_t n = ::read(file.fd, bytes.data() + got, bytes.size() - got);
    if (n == 0) break;
    if (n < 0 && errno != EINTR) {
      problem = {ReadProblem::kOs, errno, 0};
      return false;
    }
    if (n > 0) got += static_cast<size_t>(n);
  }
  if (got > kMaxDeliveryBytes) return tooLarge(got);
  bytes.resize(got);
  return true;
}

std::vector<std::string> DeliveryLines(std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark))
    return SplitCsvLines(Utf8ToCp1252(bytes.substr(kByteOrderMark.size())));
  return SplitCsvLines(bytes);
}

std::string ImportRefusedText(const std::string& path, int32_t storageError) {
  return "Lexikondatei konnte nicht eingelesen werden: " + path + ": " +
         ErrorCauseGerman(storageError) + " Das bisherige Lexikon ist unver\xE4ndert.";
}

ImportResult ImportLexicon(const std::string& path, TdbLex& lex, const DeliveryReader& readFile) {
  ImportResult result;
  std::vector<std::string> lines;
  bool read = false;
  try {
    std::string bytes;
    read = readFile(path, bytes, result.problem);
    if (read) lines = DeliveryLines(bytes);
  } catch (const std::bad_alloc&) {
    read = false;
    result.problem = {ReadProblem::kNoMemory, 0, 0};
  }
  if (!read) {
    result.error = "Lexikondatei konnte nicht gelesen werden: " + path + ": " +
                   ReadProblemGerman(result.problem);
    return result;
  }
  result.read = true;
  // The new lexicon is built beside the old one and put in its place
  // whole: whatever stops the import leaves the old lexicon or the new.
  ToDatLex staged(StagingName(lex.Owner.name()));
  const auto refuse = [&](int32_t number) {
    staged.Discard();
    result.added = 0;
    result.storageError = number;
    return result;
  };
  const auto worst = [] {
    const TErrorEntry* w = CurrentDebugStack().Worst();
    return w != nullptr ? w->number : kErrFile;
  };
  try {
    // Opening the block first refuses a lexicon that another program holds.
    if (!lex.First(1) && ErrorLevel() >= 2) return refuse(worst());
    {
      TdbLex entries(0, staged);
      staged.Clear(0);  // what an earlier, interrupted import left
      for (const std::string& line : lines) {
        const CsvEntry e = ParseCsvLine(line);
        entries.ClearRec();
        entries.SetTopic(e.topic);
        entries.SetTerm(e.term);
        entries.SetSeeAlso(e.seeAlso);
        entries.SetText(e.text);
        if (entries.Add()) ++result.added;
      }
      // The files exist afterwards, also when the file had no lines.
      entries.First(2);
    }  // closed: written back before it takes the lexicon's place
    if (!lex.Owner.Replace(lex.Slot)) return refuse(worst());
  } catch (const EDBError& e) {
    return refuse(e.number());
  }
  result.replaced = true;
  lex.First(2);
  return result;
}

}  // namespace qorvex
