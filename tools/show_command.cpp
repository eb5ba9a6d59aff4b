// SPDX-License-Identifier: GPL-3.0-or-later
// The show command of qorvex-db (tool layer): an entry laid out by the
// viewer's own layout with the fixed text metrics, printed as a grid of
// characters (styled on a terminal) or as JSON.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/core/entry_layout.h"
#include "storage/dblex.h"
#include "support/cp1252.h"
#include "tools/cli.h"
#include "tools/json.h"

namespace qorvex::cli {
namespace {

constexpr int32_t kDefaultWidth = 640, kMinWidth = 100, kMaxWidth = 100000;
// One grid cell per fixed character; one row per line of the title's height.
constexpr int32_t kColumnWidth = FixedTextMetrics::kCharWidth;
constexpr int32_t kRowHeight = 22;
// Labels that a column tag puts further right than this are cut there.
constexpr size_t kMaxColumns = 65536;
constexpr int32_t kViewColor = 0xE0FFFF;  // the view's light yellow

struct Entry {
  std::string term, topic, text;
};

// 0x00BBGGRR as "#RRGGBB".
std::string HexColor(int32_t c) {
  char b[16];
  std::snprintf(b, sizeof b, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return b;
}

const char* KindName(LabelKind k) {
  switch (k) {
    case LabelKind::Title:
      return "title";
    case LabelKind::Topic:
      return "topic";
    case LabelKind::Text:
      return "text";
    case LabelKind::Link:
      return "link";
    case LabelKind::Morse:
      return "morse";
    case LabelKind::Tone:
      return "tone";
  }
  return "text";
}

std::string Json(const Entry& e, const std::vector<EntryLabel>& labels) {
  JsonWriter w;
  w.BeginObject().Key("term").String(Utf8(e.term)).Key("topic").String(Utf8(e.topic));
  w.Key("labels").BeginArray();
  for (const EntryLabel& l : labels) {
    w.BeginObject().Key("text").String(Utf8(l.caption));
    w.Key("left").Int(l.left).Key("top").Int(l.top);
    w.Key("width").Int(l.width).Key("height").Int(l.height);
    w.Key("size").Int(l.font.base ? kBaseFontPoints : l.font.points);
    w.Key("bold").Bool(l.font.bold).Key("underline").Bool(l.font.underline);
    w.Key("color").String(HexColor(l.fontColor)).Key("background");
    if (l.backColor == kNoColor)
      w.Null();
    else
      w.String(HexColor(l.backColor));
    w.Key("kind").String(KindName(l.kind)).Key("file");
    if (l.kind == LabelKind::Tone)
      w.String(Utf8(l.toneFile));
    else
      w.Null();
    w.Key("url");
    if (l.url.empty())
      w.Null();
    else
      w.String(Utf8(l.url));
    w.EndObject();
  }
  w.EndArray().EndObject();
  return w.str();
}

// The labels on a character grid: row top / 22, column left / 8 (negative
// as 0); a label covers its caption and, when wider, blanks up to its
// width; a later label overwrites an earlier one.
struct Cell {
  char ch = ' ';
  int32_t label = -1;  // index into the labels, -1 for the view
};
using Grid = std::vector<std::vector<Cell>>;

Grid Place(const std::vector<EntryLabel>& labels) {
  Grid grid;
  for (size_t i = 0; i < labels.size(); ++i) {
    const EntryLabel& l = labels[i];
    const size_t row = static_cast<size_t>(std::max(0, l.top) / kRowHeight);
    const size_t column = static_cast<size_t>(std::max(0, l.left) / kColumnWidth);
    const size_t span =
        std::max(l.caption.size(), static_cast<size_t>(std::max(0, l.width) / kColumnWidth));
    const size_t end = std::min(column + span, kMaxColumns);
    if (column >= end) continue;
    if (grid.size() <= row) grid.resize(row + 1);
    std::vector<Cell>& cells = grid[row];
    if (cells.size() < end) cells.resize(end);
    for (size_t c = column; c < end; ++c)
      cells[c] = {c - column < l.caption.size() ? l.caption[c - column] : ' ',
                  static_cast<int32_t>(i)};
  }
  return grid;
}

// A character as UTF-8; control characters (which could steer a terminal)
// become U+FFFD.
std::string Glyph(char c) {
  const char32_t u = Cp1252ToUnicode(static_cast<uint8_t>(c));
  if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return "\xEF\xBF\xBD";
  return Cp1252ToUtf8(std::string_view(&c, 1));
}

std::string PlainText(const Grid& grid) {
  std::string out;
  for (const std::vector<Cell>& row : grid) {
    std::string line;
    for (const Cell& cell : row) line += Glyph(cell.ch);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

// The nearest colour of the terminal's 256: the 6×6×6 cube or the greys.
int Palette(int32_t color) {
  const int rgb[3] = {color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF};
  static constexpr int kLevels[6] = {0, 95, 135, 175, 215, 255};
  int cube = 16, cubeDistance = 0;
  for (int k = 0; k < 3; ++k) {
    int best = 0;
    for (int i = 1; i < 6; ++i)
      if (std::abs(kLevels[i] - rgb[k]) < std::abs(kLevels[best] - rgb[k])) best = i;
    cube += best * (k == 0 ? 36 : k == 1 ? 6 : 1);
    cubeDistance += (kLevels[best] - rgb[k]) * (kLevels[best] - rgb[k]);
  }
  const int grey = std::clamp(((rgb[0] + rgb[1] + rgb[2]) / 3 - 3) / 10, 0, 23);
  int greyDistance = 0;
  for (int k = 0; k < 3; ++k) greyDistance += (8 + 10 * grey - rgb[k]) * (8 + 10 * grey - rgb[k]);
  return greyDistance < cubeDistance ? 232 + grey : cube;
}

// A link's address for the terminal's hyperlink sequence: printable ASCII
// only, everything else percent-encoded.
std::string UriForTerminal(const std::string& cp1252) {
  std::string out;
  for (const char ch : Utf8(cp1252)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c > 0x20 && c < 0x7F) {
      out += ch;
    } else {
      char b[4];
      std::snprintf(b, sizeof b, "%%%02X", c);
      out += b;
    }
  }
  return out;
}

// The grid with each label's colours (on the view's light yellow), bold and
// underline; Morse and tone words also in italics; links as the terminal's
// hyperlinks to the address a click would open.
std::string StyledText(const Grid& grid, const std::vector<EntryLabel>& labels, int32_t width) {
  const size_t viewColumns = static_cast<size_t>(width / kColumnWidth);
  std::string out;
  for (const std::vector<Cell>& row : grid) {
    std::string style, link;
    for (size_t c = 0; c < std::max(row.size(), viewColumns); ++c) {
      const Cell cell = c < row.size() ? row[c] : Cell{};
      const EntryLabel* l = cell.label >= 0 ? &labels[static_cast<size_t>(cell.label)] : nullptr;
      std::string s = "\x1b[0";
      if (l && l->font.bold) s += ";1";
      if (l && (l->kind == LabelKind::Morse || l->kind == LabelKind::Tone)) s += ";3";
      if (l && l->font.underline) s += ";4";
      const int32_t back = l && l->backColor != kNoColor ? l->backColor : kViewColor;
      s += ";38;5;" + std::to_string(Palette(l ? l->fontColor : 0)) + ";48;5;" +
           std::to_string(Palette(back)) + "m";
      const std::string u = l && !l->url.empty() ? UriForTerminal(l->url) : "";
      if (u != link) {
        out += "\x1b]8;;" + u + "\x1b\\";
        link = u;
      }
      if (s != style) {
        out += s;
        style = s;
      }
      out += Glyph(cell.ch);
    }
    if (!link.empty()) out += "\x1b]8;;\x1b\\";
    out += "\x1b[0m\n";
  }
  return out;
}

bool StyledTerminal() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr &&
         !(term && std::strcmp(term, "dumb") == 0);
}

int Show(const std::string& folder, const std::string& term, const std::string& termArg,
         int32_t width, bool json) {
  if (!std::filesystem::exists(folder + "/QDLex.DAT"))
    return Fail("QDLex: no data file in the folder");
  std::optional<Entry> entry;
  int32_t level = 0;
  {
    ToolSession session(folder, true);
    if (const int failed = session.Failure()) return failed;
    TdbLex& lex = session.lexicon();
    if (lex.FindTerm(term))
      entry = Entry{lex.GetTerm(), lex.GetTopic(), lex.GetText()};
    else
      level = ErrorLevel();
  }
  if (!entry) {
    if (level >= 2) return Fail("QDLex: the lexicon is locked by another program; try again");
    return Fail("no entry " + termArg, 1);
  }
  const std::vector<EntryLabel> labels =
      RenderEntry(entry->term, entry->topic, entry->text, true, false, width, FixedTextMetrics());
  const std::string out = json               ? Json(*entry, labels)
                          : StyledTerminal() ? StyledText(Place(labels), labels, width)
                                             : PlainText(Place(labels));
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

std::optional<int32_t> ParseWidth(const std::string& text) {
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < kMinWidth || v > kMaxWidth)
    return std::nullopt;
  return v;
}

}  // namespace

Command ShowCommand() {
  return {"show",
          "  show TERM [--width PX] [--json]\n"
          "                   an entry laid out as the viewer shows it in a view PX wide\n",
          [](std::vector<std::string> args, std::string& error) -> std::optional<CommandWork> {
            const bool json = TakeFlag(args, "--json");
            int32_t width = kDefaultWidth;
            std::vector<std::string> terms;
            for (size_t i = 0; i < args.size(); ++i) {
              if (args[i] == "--width") {
                const std::optional<int32_t> w =
                    i + 1 < args.size() ? ParseWidth(args[++i]) : std::nullopt;
                if (!w) {
                  error = std::string("--width needs pixels from 100 to 100000") + kHint;
                  return std::nullopt;
                }
                width = *w;
              } else {
                terms.push_back(args[i]);
              }
            }
            if (terms.size() != 1) {
              error = std::string("show needs one TERM") + kHint;
              return std::nullopt;
            }
            const std::optional<std::string> term = ArgToCp1252(terms[0]);
            if (!term) {
              error = "TERM holds a character Windows-1252 lacks: " + terms[0] + kHint;
              return std::nullopt;
            }
            return [term = *term, arg = terms[0], width, json](const std::string& folder) {
              return Show(folder, term, arg, width, json);
            };
          }};
}

}  // namespace qorvex::cli
