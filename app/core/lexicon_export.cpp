// SPDX-License-Identifier: GPL-3.0-or-later
// The export; see lexicon_export.h.
#include "app/core/lexicon_export.h"

#include "support/cp1252.h"

namespace qorvex {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kFiller = 'x';

// The written form of one value; forbidden: the characters that would end
// the value's piece of the line early.
std::string Value(std::string_view name, std::string_view v, size_t limit,
                  std::string_view forbidden, std::vector<std::string>& problems) {
  auto problem = [&](std::string_view what) {
    problems.push_back(std::string(name) + ": " + std::string(what));
  };
  if (v.find_first_of("\r\n") != std::string_view::npos) problem("holds a line end");
  for (char c : forbidden)
    if (v.find(c) != std::string_view::npos)
      problem(std::string("holds \"") + c + "\", which would end it early");
  if (v.find("\"\"") != std::string_view::npos) problem("holds two quotes in a row");
  if (v.starts_with('"')) problem("begins with a quote");
  std::string out(v);
  if (v.ends_with('"')) {
    if (v.size() < limit) problem("ends in a quote below its limit");
    out += kFiller;
  }
  return out;
}

}  // namespace

std::string FormatCsvLine(const CsvEntry& e, bool firstLine, std::vector<std::string>& problems) {
  std::string line = Value("term", e.term, 50, ";", problems);
  if (firstLine && line.starts_with(kByteOrderMark)) line.insert(0, 1, '"');
  line += ";<";
  line += Value("topic", e.topic, 30, ";>", problems);
  line += '>';
  line += Value("text", e.text, static_cast<size_t>(kLexMaxText), ";", problems);
  line += ';';
  line += Value("see also", e.seeAlso, 255, "", problems);
  return line;
}

std::vector<ExportNote> ExportLexicon(TdbLex& lex, bool utf8,
                                      const std::function<void(std::string_view)>& write) {
  std::vector<ExportNote> notes;
  if (utf8) write(kByteOrderMark);
  std::vector<std::string> problems;
  bool first = true;
  for (bool ok = lex.First(3); ok; ok = lex.Next(false, true)) {
    problems.clear();
    std::string line = FormatCsvLine(
        {lex.GetTerm(), lex.GetTopic(), lex.GetText(), lex.GetSeeAlso()}, first && !utf8, problems);
    first = false;
    for (std::string& p : problems) notes.push_back({lex.Rec.Id, std::move(p)});
    line += "\r\n";
    write(utf8 ? Cp1252ToUtf8(line) : line);
  }
  return notes;
}

}  // namespace qorvex
