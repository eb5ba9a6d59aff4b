// The lexicon import; see lexicon_import.h.
#include "app/core/lexicon_import.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      ::close(fd);
      return false;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
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

ImportResult ImportLexicon(const std::string& path, TdbLex& lex) {
  ImportResult result;
  std::string bytes;
  if (!ReadWholeFile(path, bytes, result.error)) {
    result.error = "Lexikondatei konnte nicht gelesen werden: " + path + ": " + result.error;
    return result;
  }
  result.read = true;
  if (bytes.starts_with(kByteOrderMark)) bytes = Utf8ToCp1252(bytes.substr(kByteOrderMark.size()));
  const std::vector<std::string> lines = SplitCsvLines(bytes);
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
  return result;
}

}  // namespace qorvex
