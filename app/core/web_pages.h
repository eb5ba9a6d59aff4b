// SPDX-License-Identifier: GPL-3.0-or-later
// The static web site's pages as text (core layer, no Qt, no files): an
// entry's markup as flowing HTML, the entry and index pages, the stylesheet
// with the rules the texts need, the index data, the pages' file names.
// Input is Windows-1252 as stored; output is UTF-8 in which every byte of
// the lexicon is escaped.
//
// Pages carry a Content-Security-Policy that admits the site's own script
// and stylesheet only: no inline script, no style attribute. Per-entry
// sizes, columns and indents are classes whose rules the stylesheet holds
// (StyleUse collects the ones in use).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_entry.h"

namespace qorvex::web {

inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "media-src 'self'; base-uri 'none'; form-action 'none'";
inline constexpr std::string_view kEntryFolder = "e";   // the entry pages
inline constexpr std::string_view kToneFolder = "ton";  // the copied tone files
inline constexpr std::string_view kScriptFile = "qorvex.js";
inline constexpr std::string_view kStyleFile = "style.css";
inline constexpr std::string_view kIndexDataFile = "index-data.js";

// Text for element content or a quoted attribute value: UTF-8, with & < >
// " ' as character references, and the controls HTML does not allow (C0
// but tab, line feed and carriage return; DEL; C1) as U+FFFD.
void AppendHtml(std::string& out, std::string_view cp1252);
std::string Html(std::string_view cp1252);

// A JSON string, quotes included: UTF-8, with '"', '\\', the controls below
// 32 and "<" escaped.
void AppendJsonString(std::string& out, std::string_view cp1252);

// An entry page's name: the term in lower-case ASCII letters and digits
// (ä ö ü as ae oe ue, ß as ss, accents dropped), every other run of
// characters one "-", at most 40 characters, then "-", the Id and
// ".html"; "eintrag" for a term without letters or digits.
std::string EntryFileName(std::string_view term, int32_t id);

// The font size the viewer draws for "<fontsize=": 0 is 10, below 0 its
// magnitude, at most 400 points.
int32_t ShownPoints(int32_t points);

// The generated rules the entry texts use: font sizes in points (classes
// "sN"), column steps in blanks ("cN"), block-quote levels ("iN").
struct StyleUse {
  std::set<int32_t> sizes, columns, indents;
};

// A tone file as stored in a "<Ton=" tag: its address from an entry page,
// empty when there is no recording.
using ToneAddress = std::function<std::string(std::string_view stored)>;

// The entry text as HTML: a div per line (class "l", "iN" for its indent
// at the start of the line); within it, the runs of one style as spans
// (b, u, colour "fRRGGBB" / "gRRGGBB", size); links the core opens as <a>
// with rel="noopener noreferrer" (class "k"), other links as spans of
// that class; Morse words as buttons (class "m", data-morse: the word's
// characters of the Morse set, upper-cased: all that plays);
// tone words as buttons (class "t", data-tone: the address when there is
// one). A line with "<pos=n>" columns is a flex row of spans (class "col",
// "cN" for the blanks to the next column). Blanks that end a link or a
// playable word follow it as text.
std::string EntryTextHtml(std::string_view text, const ToneAddress& tone, StyleUse& use);

struct PageLink {
  std::string term;  // Windows-1252
  std::string file;  // EntryFileName
};

// An entry's page (in the entry folder): title bar, topic line, the text
// (EntryTextHtml), "siehe auch" with the related entries as links, the
// previous and next entries of the tree and the index.
std::string EntryPageHtml(const LexEntry& entry, std::string_view textHtml,
                          const std::vector<PageLink>& related,
                          const std::optional<PageLink>& previous,
                          const std::optional<PageLink>& next);

// What the index shows of an entry, and searches.
struct IndexEntry {
  std::string term, topic, seeAlso;  // Windows-1252 as stored
  std::string file;                  // EntryFileName
  std::string foldedPlain;           // FoldText(the plain text)
};

// The entry tree as entry numbers: "- alle Einträge" and the topic groups
// (caption, members), each in the viewer's order.
struct IndexTree {
  std::vector<size_t> all;
  std::vector<std::pair<std::string, std::vector<size_t>>> groups;
};

// The index page: the search, the tree's roots (their entry lists come
// from the index data), and without the script the first entry of every
// topic and of every initial.
std::string IndexPageHtml(const std::vector<IndexEntry>& entries, const IndexTree& tree);

// The index data as a script: one JSON document assigned to
// window.QORVEX_INDEX: {"topics": [...], "entries": [[file without
// ".html", term, topic number, see-also, folded plain text], ...],
// "tree": {"all": [...], "groups": [[caption, [...]], ...]}}.
std::string IndexDataScript(const std::vector<IndexEntry>& entries, const IndexTree& tree);

// The stylesheet: the fixed rules, the ten tag colours, the rules in use.
std::string StyleSheet(const StyleUse& use);
// The script.
std::string_view SiteScript();

}  // namespace qorvex::web
