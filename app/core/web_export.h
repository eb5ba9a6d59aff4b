// SPDX-License-Identifier: GPL-3.0-or-later
// The lexicon written as a static web site (core layer, no Qt): the pages
// of web_pages.h in a folder, with the stylesheet, the script, the index
// data and the tone files the entries name (looked up as the viewer looks
// them up, from the current directory).
//
// Layout of the folder:
//   index.html, index-data.js, qorvex.js, style.css
//   e/<EntryFileName>   one page per entry
//   ton/<name>          the tone files found (names made safe, unique
//                       ignoring case)
#pragma once

#include <cstddef>
#include <string>

#include "storage/dblex.h"

namespace qorvex::web {

struct ExportResult {
  bool ok = false;
  std::string error;  // when not ok: what failed, with the path
  size_t entries = 0;
  size_t tones = 0;  // tone files copied
};

// Writes the site of lex into folder, which must be missing, empty or an
// earlier export (index.html and qorvex.js in it): then its entry pages and
// tone files are removed first, and nothing else of it.
ExportResult ExportSite(TdbLex& lex, const std::string& folder);

}  // namespace qorvex::web
