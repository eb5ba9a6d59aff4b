// The lexicon import; see lexicon_import.h.
#include "app/core/lexicon_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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

// Why a read failed, in the words of the program's messages (Windows-1252).
std::string ReadFailure(int error) {
  switch (error) {
    case ENOENT:
      return "Datei nicht gefunden";
    case EACCES:
    case EPERM:
      return "keine Leseberechtigung";
    case EISDIR:
      return "ein Ordner, keine Datei";
    case EIO:
      return "Lesefehler (Ein-/Ausgabefehler)";
    default:
      return std::string(std::strerror(error)) + " (Fehler " + std::to_string(error) + ")";
  }
}

}  // namespace

bool ReadDeliveryFile(const std::string& path, std::string& bytes, std::string& reason) {
  // Without a writer, opening a FIFO would wait forever: nothing blocks here.
  struct File {
    int fd;
    ~File() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
    reason = ReadFailure(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = S_ISDIR(st.st_mode) ? ReadFailure(EISDIR) : "keine gew\xF6hnliche Datei";
    return false;
  }
  // Read to the end, not to the size stat gives: some files report 0 and
  // still hold bytes (or fail to read). The cap holds for a file that grows
  // while it is read too.
  const auto tooLarge = [&](uint64_t size) {
    reason = std::to_string(size) + " Bytes, mehr als 1 GiB";
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
      reason = ReadFailure(errno);
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

ImportResult ImportLexicon(const std::string& path, TdbLex& lex, const DeliveryReader& read) {
  ImportResult result;
  std::vector<std::string> lines;
  try {
    std::string bytes;
    if (!read(path, bytes, result.error)) {
      result.error = "Lexikondatei konnte nicht gelesen werden: " + path + ": " + result.error;
      return result;
    }
    lines = DeliveryLines(bytes);
  } catch (const std::bad_alloc&) {
    result.error =
        "Lexikondatei konnte nicht gelesen werden: " + path + ": zu wenig Arbeitsspeicher";
    return result;
  }
  result.read = true;
  // Opening the block first refuses (EDBError) a lexicon that another
  // program holds open, instead of deleting its files under it.
  lex.First(1);
  DatLex.Clear(0);
  for (const std::string& line : lines) {
    const CsvEntry e = ParseCsvLine(line);
    lex.ClearRec();
    lex.SetTopic(e.topic);
    lex.SetTerm(e.term);
    lex.SetSeeAlso(e.seeAlso);
    lex.SetText(e.text);
    if (lex.Add()) ++result.added;
  }
  // The files exist afterwards, as the tree's walk leaves them, also when
  // the file had no lines.
  lex.First(2);
  return result;
}

}  // namespace qorvex
