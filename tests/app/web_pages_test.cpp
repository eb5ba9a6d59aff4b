// SPDX-License-Identifier: GPL-3.0-or-later
// The web site's pages: hostile text in every field stays text, the markup's
// tags as HTML, file names, the fold the script must match, and the export's
// folder.
#include "app/core/web_pages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/core/text_search.h"
#include "app/core/web_export.h"
#include "support/cp1252.h"
#include "tests/storage/lexicontest.h"

namespace qorvex::testing {
namespace {

using web::EntryTextHtml;
using web::Html;
using web::StyleUse;

// Every tag of a page, read as a browser reads tags: the element names and
// attributes found must be the generator's own, and no address may run
// script. Returns what is wrong, or "".
std::string ForeignMarkup(const std::string& html) {
  static const std::set<std::string> elements = {
      "!doctype", "html", "head",   "meta",    "title",   "link",    "script", "body",
      "div",      "nav",  "main",   "h1",      "h2",      "p",       "ul",     "li",
      "a",        "span", "button", "section", "details", "summary", "label",  "input"};
  static const std::set<std::string> attributes = {
      "lang",       "class",      "charset",      "name",       "content",
      "http-equiv", "rel",        "href",         "src",        "defer",
      "type",       "id",         "autocomplete", "spellcheck", "for",
      "role",       "hidden",     "aria-live",    "aria-label", "aria-labelledby",
      "data-group", "data-morse", "data-tone",    "title",      "html"};
  // The byte at i as isalnum and isspace take it, 0 past the end.
  const auto at = [&html](size_t i) -> int {
    return i < html.size() ? static_cast<unsigned char>(html[i]) : 0;
  };
  for (size_t lt = html.find('<'); lt != std::string::npos; lt = html.find('<', lt + 1)) {
    size_t p = lt + 1;
    if (at(p) == '/') ++p;
    size_t end = p;
    while (std::isalnum(at(end)) || at(end) == '!') ++end;
    std::string name = html.substr(p, end - p);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!elements.contains(name)) return "element <" + name + ">";
    // Attributes: name, then ="…", '…' or a bare value.
    for (p = end; p < html.size() && html[p] != '>';) {
      if (std::isspace(at(p)) || at(p) == '/') {
        ++p;
        continue;
      }
      size_t n = p;
      while (n < html.size() && !std::isspace(at(n)) && at(n) != '=' && at(n) != '>') ++n;
      const std::string attribute = html.substr(p, n - p);
      if (!attributes.contains(attribute)) return "attribute " + attribute + " in <" + name + ">";
      std::string value;
      if (at(n) == '=') {
        const char quote = html[n + 1];
        const size_t close = quote == '"' || quote == '\'' ? html.find(quote, n + 2)
                                                           : html.find_first_of(" >", n + 1);
        value = html.substr(n + 1, close - n - 1);
        n = quote == '"' || quote == '\'' ? close + 1 : close;
      }
      if ((attribute == "href" || attribute == "src" || attribute == "data-tone") &&
          value.find(':') != std::string::npos && !value.starts_with("\"http://") &&
          !value.starts_with("\"https://") && !value.starts_with("\"mailto:"))
        return "address " + value;
      p = n;
    }
  }
  return "";
}

// What a page shows of escaped text: the five references read back, "&amp;"
// last so that no reference is read twice.
std::string Unescaped(std::string s) {
  for (const auto& [ref, c] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}})
    for (size_t at = 0; (at = s.find(ref, at)) != std::string::npos; ++at)
      s.replace(at, strlen(ref), c);
  return s;
}

TEST(WebPagesTest, HostileTextInEveryFieldStaysText) {
  const std::string hostile[] = {
      "<script>alert(1)</script>",
      "\" onmouseover=\"alert(1)",
      "' onfocus='alert(1)' autofocus '",
      "javascript:alert(1)",
      "</style><style>*{}</style>",
      "]]><svg onload=alert(1)>",
      "<!-- <img src=x onerror=alert(1)>",
      "data:text/html,<script>alert(1)</script>",
      "&lt;script&gt; &amp;",
      std::string("\x01\x7F\x81\x9D nul\0end", 12),
  };
  for (const std::string& bad : hostile) {
    const LexEntry entry{7, bad, bad, bad, "a " + bad + " b"};
    StyleUse use;
    // In the text also as a link, a tone file, a Morse word and tag values.
    const std::string text = "x " + bad + "<br>http://x/" + bad + " <Ton=" + bad +
                             ">t</Ton> <Morse>" + bad + "</Morse> <fontcolor=" + bad +
                             "><fontsize=" + bad + ">y";
    const std::string html = web::EntryPageHtml(
        entry,
        EntryTextHtml(
            text, [](std::string_view) { return "../ton/a.wav"; }, use),
        {{bad, "f.html"}}, web::PageLink{bad, "p.html"}, web::PageLink{bad, "n.html"});
    EXPECT_EQ(ForeignMarkup(html), "") << bad;
    // Shown as it is: the title bar holds the term, character for character.
    const std::string shown = Cp1252ToUtf8(bad);
    const std::string title = html.substr(html.find("<h1 class=\"title\">") + 18);
    if (bad.find('\x01') == std::string::npos) {
      EXPECT_EQ(Unescaped(title.substr(0, title.find("</h1>"))), shown);
    }
    const web::IndexEntry e{bad, bad, bad, "f-1.html", bad};
    EXPECT_EQ(ForeignMarkup(web::IndexPageHtml({e}, {{0}, {{bad, {0}}}})), "") << bad;
  }
  // Controls HTML forbids become U+FFFD; the text around them stays.
  EXPECT_EQ(Html(std::string("a\x01\x7F\x81\tb\n", 7)),
            "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\tb\n");
  std::string json;
  web::AppendJsonString(json, "\"\\</script>\x01\xE4");
  EXPECT_EQ(json, "\"\\\"\\\\\\u003c/script>\\u0001\xC3\xA4\"");
}

TEST(WebPagesTest, EveryTagAsHtml) {
  const std::pair<const char*, const char*> cases[] = {
      // markup, HTML
      {"a<b>b</b>c", "<div class=\"l\">a<span class=\"b\">b</span>c</div>\n"},
      {"<u>u</u>  two", "<div class=\"l\"><span class=\"u\">u</span>  two</div>\n"},
      {"a<br><br>b",
       "<div class=\"l\">a</div>\n<div class=\"l\"></div>\n<div class=\"l\">b</div>\n"},
      {"<fontcolor=red>r<fontbg=yellow>y</font>n<fontcolor=pink>p",
       "<div class=\"l\"><span class=\"f800000\">r</span><span class=\"f800000 "
       "gFFFF00\">y</span>np</div>\n"},
      {"<fontsize=12>a<fontsize=0>b<fontsize=-14>c<fontsize=99999>d",
       "<div class=\"l\"><span class=\"s12\">a</span>b<span class=\"s14\">c</span><span "
       "class=\"s400\">d</span></div>\n"},
      {"<Morse>CQ DE</Morse> x",
       "<div class=\"l\"><button type=\"button\" class=\"m\" data-morse=\"CQ \" "
       "aria-label=\"Morsezeichen CQ abspielen\">CQ</button> <button type=\"button\" class=\"m\" "
       "data-morse=\"DE\" aria-label=\"Morsezeichen DE abspielen\">DE</button> x</div>\n"},
      {"<Ton=T.WAV>a</Ton><ton=none>b</ton>",
       "<div class=\"l\"><button type=\"button\" class=\"t\" data-tone=\"../ton/T.WAV\">a</button>"
       "<button type=\"button\" class=\"t\" title=\"keine Tondatei\">b</button></div>\n"},
      {"<b>http://a.de/x?a=1&b=2 https://b.de",
       "<div class=\"l\"><a class=\"k b\" href=\"http://a.de/x?a=1&amp;b=2\" "
       "rel=\"noopener noreferrer\">http://a.de/x?a=1&amp;b=2</a> <span "
       "class=\"b\">https://b.de</span></div>\n"},
      {"HTTP://x http://dl1abc@darc.de",
       "<div class=\"l\">HTTP://x <a class=\"k\" href=\"mailto:http://dl1abc@darc.de\" "
       "rel=\"noopener noreferrer\">http://dl1abc@darc.de</a></div>\n"},
      {"<pos=0><b>RX</b> <pos=18>Empf\xE4nger</pos> x",
       "<div class=\"l cols\"><span class=\"col c18\"><span class=\"b\">RX</span> </span><span "
       "class=\"col\">Empf\xC3\xA4nger x</span></div>\n"},
      {"<pos=10>a <pos=25>b <pos=20>c <pos=-3>d",
       "<div class=\"l cols\"><span class=\"col c10\"></span><span class=\"col c15\">a "
       "</span><span "
       "class=\"col\">b c d</span></div>\n"},
      {"<pos=2147483647>z",
       "<div class=\"l cols\"><span class=\"col c1000\"></span><span "
       "class=\"col\">z</span></div>\n"},
      {"a<blockquote><br>q</blockquote><br>c</blockquote></blockquote><br>d",
       "<div class=\"l\">a</div>\n<div class=\"l i1\">q</div>\n<div class=\"l\">c</div>\n<div "
       "class=\"l\">d</div>\n"},
      {"<i>x<unknown=1>y", "<div class=\"l\">xy</div>\n"},
      {"a<b", "<div class=\"l\">a&lt;b</div>\n"},
  };
  StyleUse use;
  const web::ToneAddress tone = [](std::string_view stored) {
    return stored == "T.WAV" ? "../ton/T.WAV" : "";
  };
  for (const auto& [markup, html] : cases)
    EXPECT_EQ(EntryTextHtml(markup, tone, use), html) << markup;
  EXPECT_EQ(use.sizes, (std::set<int32_t>{12, 14, 400}));
  EXPECT_EQ(use.columns, (std::set<int32_t>{10, 15, 18, 1000}));
  EXPECT_EQ(use.indents, (std::set<int32_t>{1}));
  const std::string css = web::StyleSheet(use);
  for (const char* rule : {".s12{font-size:12pt}", ".s400{font-size:min(400pt,12vw)}",
                           ".c18{min-width:min(8.10ch,100%)}", ".i1{padding-left:min(1.50em,50%)}",
                           ".f800000{color:#800000}", ".gFFFF00{background:#FFFF00}"})
    EXPECT_NE(css.find(rule), std::string::npos) << rule;
}

TEST(WebPagesTest, FileNames) {
  const std::tuple<std::string, int32_t, std::string> cases[] = {
      // term, Id, name
      {"Antenne", 3, "antenne-3.html"},
      {"RX und TX", 12, "rx-und-tx-12.html"},
      {"\334berreichweite", 5, "ueberreichweite-5.html"},
      {"Stra\337e \xC6\xE9\xF1\x8A", 1, "strasse-aeens-1.html"},
      {"../../etc/passwd", 9, "etc-passwd-9.html"},
      {"a/b\\c:d*e?f\"g<h>i|j", 2, "a-b-c-d-e-f-g-h-i-j-2.html"},
      {"...", 4, "eintrag-4.html"},
      {"CON", 6, "con-6.html"},
      {"  x  ", 8, "x-8.html"},
      // 40 letters at most, no "-" left at the cut; "ä" is two letters.
      {std::string(50, 'W'), 10, std::string(40, 'w') + "-10.html"},
      {std::string(39, 'a') + "-b", 11, std::string(39, 'a') + "-11.html"},
      {std::string(39, 'a') + "\xE4", 13, std::string(40, 'a') + "-13.html"},
  };
  for (const auto& [term, id, name] : cases) EXPECT_EQ(web::EntryFileName(term, id), name) << term;
}

// The script folds as FoldText; both are held to one table that the
// browser test reads too.
TEST(WebPagesTest, FoldTableOfTheScript) {
  const std::string table = ReadText(QORVEX_FOLD_TABLE);
  // Lines ["in","out"]: JSON strings with \" \\ and \u00XX escapes only.
  const auto string = [&table](size_t& p) {
    std::string s;
    for (++p; table[p] != '"'; ++p) {
      if (table[p] != '\\') {
        s += table[p];
      } else if (table[++p] == 'u') {
        s += static_cast<char>(std::stoi(table.substr(p + 1, 4), nullptr, 16));
        p += 4;
      } else {
        s += table[p];
      }
    }
    ++p;
    return s;
  };
  int rows = 0;
  for (size_t p = table.find("[\""); p != std::string::npos; p = table.find("[\"", p)) {
    ++p;
    const std::string input = string(p);
    p = table.find('"', p);
    const std::string folded = string(p);
    const std::optional<std::string> cp1252 = Utf8ToCp1252Strict(input);
    ASSERT_TRUE(cp1252) << input;
    EXPECT_EQ(Cp1252ToUtf8(FoldText(*cp1252)), folded) << input;
    ++rows;
  }
  EXPECT_GE(rows, 250);
}

TEST_F(LexiconTest, ExportSiteFolderPagesAndTones) {
  namespace fs = std::filesystem;
  const std::string tone = Path("ev\"il<x.WAV");
  std::ofstream(tone) << "RIFF";
  Add("T", "Dipol", "", "<Ton=" + tone + ">a</Ton>");
  Add("T", "Dipol", "", "zwei");
  Add("U", "\334ber", "Dipol");
  const std::string out = Path("site");
  web::ExportResult r = web::ExportSite(*lex_, out);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.entries, 3u);
  EXPECT_EQ(r.tones, 1u);
  std::set<std::string> pages;
  for (const auto& f : fs::directory_iterator(out + "/e")) pages.insert(f.path().filename());
  EXPECT_EQ(pages, (std::set<std::string>{"dipol-1.html", "dipol-2.html", "ueber-3.html"}));
  EXPECT_TRUE(fs::exists(out + "/ton/ev_il_x.WAV"));
  for (const char* f : {"index.html", "index-data.js", "qorvex.js", "style.css"})
    EXPECT_TRUE(fs::exists(out + "/" + f)) << f;

  // Again over the earlier export: a page of an entry gone goes too.
  std::ofstream(out + "/e/stale-9.html") << "x";
  std::ofstream(out + "/mine.txt") << "kept";
  ASSERT_TRUE(web::ExportSite(*lex_, out).ok);
  EXPECT_FALSE(fs::exists(out + "/e/stale-9.html"));
  EXPECT_TRUE(fs::exists(out + "/mine.txt"));

  // A folder of other files is refused, untouched.
  fs::create_directory(Path("other"));
  std::ofstream(Path("other/notes.txt")) << "x";
  r = web::ExportSite(*lex_, Path("other"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not empty"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(Path("other/index.html")));
}

}  // namespace
}  // namespace qorvex::testing
