// SPDX-License-Identifier: GPL-3.0-or-later
// The web site's pages as text; see web_pages.h.
#include "app/core/web_pages.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <utility>

#include "app/core/collation.h"
#include "app/core/entry_layout.h"
#include "app/core/entry_tree.h"
#include "app/core/morse.h"
#include "app/core/web_assets.h"
#include "support/cp1252.h"
#include "support/text_utils.h"

namespace qorvex::web {
namespace {

constexpr size_t kMaxNameLetters = 40;
constexpr int32_t kMaxPoints = 400;
constexpr int32_t kMaxColumnStep = 1000;  // blanks; wider columns are clipped to the line anyway
constexpr int32_t kMaxIndent = 20;

// Every byte's HTML text.
const std::array<std::string, 256>& HtmlTable() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int b = 0; b < 256; ++b) {
      const char32_t u = Cp1252ToUnicode(static_cast<uint8_t>(b));
      if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || (u >= 0x7F && u < 0xA0))
        t[b] = "\xEF\xBF\xBD";  // U+FFFD
      else
        t[b] = Cp1252ToUtf8(std::string(1, static_cast<char>(b)));
    }
    t['&'] = "&amp;";
    t['<'] = "&lt;";
    t['>'] = "&gt;";
    t['"'] = "&quot;";
    t['\''] = "&#39;";
    return t;
  }();
  return table;
}

// Each byte's letters in a file name: lower-case ASCII, or nothing.
const std::array<std::string, 256>& NameTable() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int c = '0'; c <= '9'; ++c) t[c] = std::string(1, static_cast<char>(c));
    for (int c = 'a'; c <= 'z'; ++c) t[c] = t[c - 32] = std::string(1, static_cast<char>(c));
    // 0xC0..0xFF: upper and lower case alike (0xD7 and 0xF7 are signs).
    const char* latin[32] = {"a",  "a", "a", "a", "ae", "a", "ae", "c", "e",  "e", "e",
                             "e",  "i", "i", "i", "i",  "d", "n",  "o", "o",  "o", "o",
                             "oe", "",  "o", "u", "u",  "u", "ue", "y", "th", "ss"};
    for (int i = 0; i < 32; ++i) {
      t[0xC0 + i] = latin[i];
      t[0xE0 + i] = latin[i];
    }
    t[0xF7] = "";
    t[0xFF] = "y";
    t[0x8A] = t[0x9A] = "s";
    t[0x8E] = t[0x9E] = "z";
    t[0x8C] = t[0x9C] = "oe";
    t[0x9F] = "y";
    return t;
  }();
  return table;
}

std::string Hex6(int32_t bgr) {
  // 0x00BBGGRR to RRGGBB.
  char s[8];
  std::snprintf(s, sizeof s, "%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
  return s;
}

// The caption without the blanks that end it, and those blanks.
std::pair<std::string_view, std::string_view> SplitTrailingBlanks(std::string_view caption) {
  const size_t end = caption.find_last_not_of(' ') + 1;  // 0 when all blanks
  return {caption.substr(0, end), caption.substr(end)};
}

// Reads the markup as the layout does and writes its lines.
class TextHtmlWriter final : public MarkupSink {
 public:
  TextHtmlWriter(std::string& out, const ToneAddress& tone, StyleUse& use)
      : out_(out), tone_(tone), use_(use) {}

  void Piece(std::string_view piece) override {
    if (state.posColumn != -1 && state.posColumn != 0) {
      // An explicit column: the line so far is the column before it.
      const int64_t step = int64_t{state.posColumn} - stop_;
      if (step > 0) {
        CloseRun();
        const int32_t width = static_cast<int32_t>(std::min<int64_t>(step, kMaxColumnStep));
        use_.columns.insert(width);
        columns_.push_back({std::move(segment_), width});
        segment_.clear();
        stop_ = state.posColumn;
      }
      state.posColumn = 0;
    }
    const EntryLabel l = StyledLabel(piece, state);
    std::string style = StyleClasses(l);
    if (l.kind == LabelKind::Text || (l.kind == LabelKind::Link && l.url.empty())) {
      if (l.kind == LabelKind::Link) style = style.empty() ? "k" : "k " + style;
      AppendRun(style, l.caption);
      return;
    }
    CloseRun();
    const auto [word, blanks] = SplitTrailingBlanks(l.caption);
    std::string& s = segment_;
    const std::string_view kindClass = l.kind == LabelKind::Link    ? "k"
                                       : l.kind == LabelKind::Morse ? "m"
                                                                    : "t";
    const std::string classes = std::string(kindClass) + (style.empty() ? "" : " " + style);
    if (l.kind == LabelKind::Link) {
      s += "<a class=\"" + classes + "\" href=\"";
      AppendHtml(s, l.url);
      s += "\" rel=\"noopener noreferrer\">";
      AppendHtml(s, word);
      s += "</a>";
    } else if (l.kind == LabelKind::Morse) {
      s += "<button type=\"button\" class=\"" + classes + "\" data-morse=\"";
      // What plays: the characters of the Morse set, a-z as A-Z.
      for (const char c : l.caption)
        if (IsMorseChar(c)) s += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
      s += "\" aria-label=\"Morsezeichen ";
      AppendHtml(s, word);
      s += " abspielen\">";
      AppendHtml(s, word);
      s += "</button>";
    } else {
      s += "<button type=\"button\" class=\"" + classes + "\"";
      if (const std::string address = tone_ ? tone_(l.toneFile) : std::string(); !address.empty()) {
        s += " data-tone=\"";
        AppendHtml(s, address);
        s += "\"";
      } else {
        s += " title=\"keine Tondatei\"";
      }
      s += ">";
      AppendHtml(s, word);
      s += "</button>";
    }
    // The blanks after the word keep its background and size only.
    if (!blanks.empty()) AppendRun(BlankClasses(l), blanks);
  }

  void LineEnd() override {
    CloseRun();
    if (columns_.empty()) {
      out_ += "<div class=\"l" + IndentClass() + "\">" + segment_ + "</div>\n";
    } else {
      out_ += "<div class=\"l cols" + IndentClass() + "\">";
      for (const auto& [html, width] : columns_)
        out_ += "<span class=\"col c" + std::to_string(width) + "\">" + html + "</span>";
      out_ += "<span class=\"col\">" + segment_ + "</span></div>\n";
    }
    segment_.clear();
    columns_.clear();
    stop_ = 0;
    lineIndent_ = state.indent;  // where the next line starts
  }

  MarkupState state;

 private:
  // Size, bold, underline and colours of a label; the kind's own style
  // (link, Morse, tone) left to its class.
  std::string StyleClasses(const EntryLabel& l) {
    std::string c;
    const auto add = [&c](std::string_view name) {
      if (!c.empty()) c += ' ';
      c += name;
    };
    const bool text = l.kind == LabelKind::Text;
    if ((text || l.kind == LabelKind::Link) && l.font.bold) add("b");
    if (text && l.font.underline) add("u");
    if (text && l.fontColor != 0) add("f" + Hex6(l.fontColor));
    const std::string blank = BlankClasses(l);
    if (!blank.empty()) add(blank);
    return c;
  }

  std::string BlankClasses(const EntryLabel& l) {
    std::string c;
    if (l.backColor != kNoColor) c = "g" + Hex6(l.backColor);
    if (const int32_t points = ShownPoints(l.font.points); points != kDefaultFontPoints) {
      use_.sizes.insert(points);
      c += (c.empty() ? "s" : " s") + std::to_string(points);
    }
    return c;
  }

  std::string IndentClass() {
    if (lineIndent_ <= 0) return "";
    const int32_t level = std::min(lineIndent_, kMaxIndent);
    use_.indents.insert(level);
    return " i" + std::to_string(level);
  }

  void AppendRun(const std::string& style, std::string_view text) {
    if (!runOpen_ || style != runStyle_) {
      CloseRun();
      if (!style.empty()) segment_ += "<span class=\"" + style + "\">";
      runOpen_ = true;
      runStyle_ = style;
    }
    AppendHtml(segment_, text);
  }

  void CloseRun() {
    if (runOpen_ && !runStyle_.empty()) segment_ += "</span>";
    runOpen_ = false;
  }

  std::string& out_;
  const ToneAddress& tone_;
  StyleUse& use_;
  std::string segment_;                                   // the line's column being written
  std::vector<std::pair<std::string, int32_t>> columns_;  // the line's columns before it
  int32_t stop_ = 0;                                      // the last column's blanks
  int32_t lineIndent_ = 0;
  bool runOpen_ = false;
  std::string runStyle_;
};

void AppendHead(std::string& out, std::string_view title, std::string_view root, bool indexData) {
  out += "<!DOCTYPE html>\n<html lang=\"de\" class=\"nojs\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += kContentSecurityPolicy;
  out += "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n<title>";
  out += title;
  out += "</title>\n<link rel=\"stylesheet\" href=\"";
  out += root;
  out += kStyleFile;
  out += "\">\n";
  if (indexData) {
    out += "<script src=\"";
    out += kIndexDataFile;
    out += "\" defer></script>\n";
  }
  out += "<script src=\"";
  out += root;
  out += kScriptFile;
  out += "\" defer></script>\n</head>\n";
}

void AppendEntryLink(std::string& out, const PageLink& link, std::string_view prefix,
                     std::string_view rel = {}) {
  out += "<a href=\"";
  out += prefix;
  AppendHtml(out, link.file);
  out += "\"";
  if (!rel.empty()) {
    out += " rel=\"";
    out += rel;
    out += "\"";
  }
  out += ">";
  AppendHtml(out, WithoutTrailingBlanks(link.term));
  out += "</a>";
}

void AppendNeighbours(std::string& out, std::string_view navClass, std::string_view label,
                      const std::optional<PageLink>& previous,
                      const std::optional<PageLink>& next) {
  out += "<nav class=\"";
  out += navClass;
  out += "\" aria-label=\"";
  out += label;
  out += "\">";
  if (previous) {
    out += "<span class=\"prev\">\xE2\x80\xB9 ";
    AppendEntryLink(out, *previous, "", "prev");
    out += "</span>";
  }
  out +=
      "<a class=\"home\" href=\"../index.html\">\xC3\x9C"
      "bersicht</a>";
  if (next) {
    out += "<span class=\"next\">";
    AppendEntryLink(out, *next, "", "next");
    out += " \xE2\x80\xBA</span>";
  }
  out += "</nav>\n";
}

// The first letter of a caption's primary key, A-Z, or "#" for the others.
char Initial(std::string_view term) {
  const std::string key = PrimaryKey(term);
  return !key.empty() && key[0] >= 'A' && key[0] <= 'Z' ? key[0] : '#';
}

std::string FormatHundredths(int64_t hundredths) {
  char s[32];
  std::snprintf(s, sizeof s, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
  return s;
}

}  // namespace

void AppendHtml(std::string& out, std::string_view cp1252) {
  const std::array<std::string, 256>& table = HtmlTable();
  // Runs of bytes that stand for themselves are copied whole.
  const char* run = cp1252.data();
  const char* const end = run + cp1252.size();
  for (const char* p = run; p != end; ++p) {
    const std::string& html = table[static_cast<uint8_t>(*p)];
    if (html.size() == 1 && html[0] == *p) continue;
    out.append(run, p);
    out += html;
    run = p + 1;
  }
  out.append(run, end);
}

std::string Html(std::string_view cp1252) {
  std::string out;
  AppendHtml(out, cp1252);
  return out;
}

void AppendJsonString(std::string& out, std::string_view cp1252) {
  out += '"';
  size_t plain = 0;  // bytes of plain ASCII not yet copied
  const auto flush = [&](size_t i) {
    out.append(cp1252.data() + i - plain, plain);
    plain = 0;
  };
  for (size_t i = 0; i < cp1252.size(); ++i) {
    const auto b = static_cast<uint8_t>(cp1252[i]);
    if (b >= 0x20 && b < 0x80 && b != '"' && b != '\\' && b != '<') {
      ++plain;
      continue;
    }
    flush(i);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20 || b == '<') {
      char e[8];
      std::snprintf(e, sizeof e, "\\u%04x", b);
      out += e;
    } else {
      out += Cp1252ToUtf8(std::string_view(cp1252.data() + i, 1));
    }
  }
  flush(cp1252.size());
  out += '"';
}

std::string EntryFileName(std::string_view term, int32_t id) {
  const std::array<std::string, 256>& table = NameTable();
  std::string name;
  bool dash = false;
  for (const char c : term) {
    const std::string& letters = table[static_cast<uint8_t>(c)];
    if (letters.empty()) {
      dash = !name.empty();
      continue;
    }
    if (dash) name += '-';
    dash = false;
    name += letters;
    if (name.size() >= kMaxNameLetters) break;
  }
  if (name.size() > kMaxNameLetters) name.resize(kMaxNameLetters);
  while (!name.empty() && name.back() == '-') name.pop_back();
  if (name.empty()) name = "eintrag";
  return name + "-" + std::to_string(id) + ".html";
}

int32_t ShownPoints(int32_t points) {
  if (points == 0) return kDefaultFontPoints;
  const int64_t magnitude = points < 0 ? -int64_t{points} : points;
  return static_cast<int32_t>(std::min<int64_t>(magnitude, kMaxPoints));
}

std::string EntryTextHtml(std::string_view text, const ToneAddress& tone, StyleUse& use) {
  std::string out;
  out.reserve(text.size() * 3 / 2 + 64);
  TextHtmlWriter writer(out, tone, use);
  ReadMarkup(text, writer.state, writer);
  return out;
}

std::string EntryPageHtml(const LexEntry& entry, std::string_view textHtml,
                          const std::vector<PageLink>& related,
                          const std::optional<PageLink>& previous,
                          const std::optional<PageLink>& next) {
  const std::string term(WithoutTrailingBlanks(entry.term));
  std::string out;
  out.reserve(textHtml.size() + 2048);
  AppendHead(out, Html(term) + " \xE2\x80\x93 Qorvex", "../", false);
  out += "<body class=\"entry\">\n<div class=\"page\">\n";
  AppendNeighbours(out, "bar", "Bl\xC3\xA4ttern", previous, next);
  out += "<main>\n<h1 class=\"title\">";
  AppendHtml(out, term);
  out += "</h1>\n<p class=\"topic\">[Thema: ";
  AppendHtml(out, entry.topic);
  out += "]</p>\n<div class=\"text\">\n";
  out += textHtml;
  out += "</div>\n</main>\n";
  if (!related.empty()) {
    out += "<nav class=\"see\" aria-labelledby=\"see\">\n<h2 id=\"see\">siehe auch</h2>\n<ul>\n";
    for (const PageLink& link : related) {
      out += "<li>";
      AppendEntryLink(out, link, "");
      out += "</li>\n";
    }
    out += "</ul>\n</nav>\n";
  }
  AppendNeighbours(out, "bar pager", "Nachbarn im Baum", previous, next);
  out += "</div>\n</body>\n</html>\n";
  return out;
}

std::string IndexPageHtml(const std::vector<IndexEntry>& entries, const IndexTree& tree) {
  std::string out;
  AppendHead(out, "Qorvex \xE2\x80\x93 Amateurfunk-Lexikon", "", true);
  out += "<body class=\"index\">\n<div class=\"page\">\n<main>\n";
  out += "<h1 class=\"title\">Qorvex \xE2\x80\x93 Amateurfunk-Lexikon</h1>\n";
  out += "<div class=\"search needs-js\" role=\"search\">\n";
  out += "<label for=\"q\">Suchen:</label>\n";
  out += "<input type=\"search\" id=\"q\" autocomplete=\"off\" spellcheck=\"false\">\n";
  out += "<label><input type=\"checkbox\" id=\"full\"> auch im Text</label>\n</div>\n";
  out += "<section id=\"hits\" class=\"hits\" aria-live=\"polite\" hidden>\n";
  out += "<h2>- Suchergebnis</h2>\n<p class=\"hint\"></p>\n<ul></ul>\n</section>\n";
  out +=
      "<p class=\"note nojs-only\">Ohne JavaScript: die Themen f\xC3\xBChren zu ihrem ersten "
      "Eintrag, jede Seite zum vorigen und n\xC3\xA4"
      "chsten.</p>\n";
  out += "<nav class=\"tree\" aria-label=\"Eintr\xC3\xA4ge\">\n";

  // "- alle Einträge": the initials, each to its first entry.
  out += "<details data-group=\"all\"><summary>";
  AppendHtml(out, kAllEntriesCaption);
  out += " <span class=\"n\">(" + std::to_string(tree.all.size()) + ")</span></summary>\n";
  out += "<p class=\"letters nojs-only\">";
  char last = 0;
  for (const size_t i : tree.all) {
    const char initial = Initial(entries[i].term);
    if (initial == last) continue;
    last = initial;
    out += "<a href=\"";
    out += kEntryFolder;
    out += "/";
    AppendHtml(out, entries[i].file);
    out += "\">";
    out += initial;
    out += "</a> ";
  }
  out += "</p>\n<ul class=\"list\"></ul>\n</details>\n";

  for (size_t g = 0; g < tree.groups.size(); ++g) {
    const auto& [caption, members] = tree.groups[g];
    out += "<details data-group=\"" + std::to_string(g) + "\"><summary>";
    AppendHtml(out, caption);
    out += " <span class=\"n\">(" + std::to_string(members.size()) + ")</span></summary>\n";
    if (!members.empty()) {
      out += "<p class=\"nojs-only\">";
      AppendEntryLink(out, {entries[members[0]].term, entries[members[0]].file},
                      std::string(kEntryFolder) + "/");
      out += " \xE2\x80\xA6</p>\n";
    }
    out += "<ul class=\"list\"></ul>\n</details>\n";
  }
  out += "</nav>\n</main>\n<p class=\"count\">" + std::to_string(entries.size()) +
         (entries.size() == 1 ? " Eintrag" : " Eintr\xC3\xA4ge") + "</p>\n";
  out += "</div>\n</body>\n</html>\n";
  return out;
}

std::string IndexDataScript(const std::vector<IndexEntry>& entries, const IndexTree& tree) {
  std::vector<std::string_view> topics;
  std::map<std::string_view, size_t> topicNumbers;
  for (const IndexEntry& e : entries)
    if (topicNumbers.emplace(e.topic, topics.size()).second) topics.push_back(e.topic);

  std::string out = "window.QORVEX_INDEX = {\"topics\":[";
  for (size_t i = 0; i < topics.size(); ++i) {
    if (i) out += ',';
    AppendJsonString(out, topics[i]);
  }
  out += "],\n\"entries\":[\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& e = entries[i];
    if (i) out += ",\n";
    out += '[';
    AppendJsonString(out, std::string_view(e.file).substr(0, e.file.size() - 5));  // ".html"
    out += ',';
    AppendJsonString(out, e.term);
    out += ',' + std::to_string(topicNumbers[e.topic]) + ',';
    AppendJsonString(out, e.seeAlso);
    out += ',';
    AppendJsonString(out, e.foldedPlain);
    out += ']';
  }
  const auto numbers = [&out](const std::vector<size_t>& list) {
    out += '[';
    for (size_t i = 0; i < list.size(); ++i) {
      if (i) out += ',';
      out += std::to_string(list[i]);
    }
    out += ']';
  };
  out += "],\n\"tree\":{\"all\":";
  numbers(tree.all);
  out += ",\"groups\":[";
  for (size_t g = 0; g < tree.groups.size(); ++g) {
    if (g) out += ",\n";
    out += '[';
    AppendJsonString(out, tree.groups[g].first);
    out += ',';
    numbers(tree.groups[g].second);
    out += ']';
  }
  out += "]}};\n";
  return out;
}

std::string StyleSheet(const StyleUse& use) {
  std::string css(kStyleCss);
  css += "\n/* The tag colours. */\n";
  for (const char* name : {"black", "white", "red", "blue", "green", "lightred", "lightblue",
                           "lightgreen", "silver", "yellow"}) {
    const std::string hex = Hex6(*TagColor(name));
    css += ".f" + hex + "{color:#" + hex + "}.g" + hex + "{background:#" + hex + "}\n";
  }
  css +=
      "/* Sizes in points, columns in blanks (0.45ch, the viewer's blank against its text), "
      "block-quote levels. */\n";
  for (const int32_t points : use.sizes) {
    const std::string n = std::to_string(points);
    // Large type gives way on narrow screens.
    css += ".s" + n + "{font-size:" + (points > 20 ? "min(" + n + "pt,12vw)" : n + "pt") + "}\n";
  }
  for (const int32_t blanks : use.columns)
    css += ".c" + std::to_string(blanks) + "{min-width:min(" +
           FormatHundredths(int64_t{blanks} * 45) + "ch,100%)}\n";
  for (const int32_t level : use.indents)
    css += ".i" + std::to_string(level) + "{padding-left:min(" +
           FormatHundredths(int64_t{level} * 150) + "em,50%)}\n";
  return css;
}

std::string_view SiteScript() {
  return kQorvexJs;
}

}  // namespace qorvex::web
