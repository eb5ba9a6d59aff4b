// SPDX-License-Identifier: GPL-3.0-or-later
// The order of the entry tree's captions (core layer, no Qt): one function,
// so that the viewer and qorvex-db sort alike, whatever the locale.
//
// Two Windows-1252 captions compare by, in turn:
//  1. a primary key: every letter becomes its upper-case base letter (accents
//     dropped; ß -> SS, æ/Æ -> AE, œ/Œ -> OE), every other byte stays; byte
//     by byte, a shorter key before its extensions. So "- " comes before
//     digits, digits before letters;
//  2. the captions upper-cased (Cp1252Upper), byte by byte: a base letter
//     before its accented forms;
//  3. at the first byte where they differ, the lower-case letter first;
//  4. the raw bytes.
#pragma once

#include <string>
#include <string_view>

namespace qorvex {

// < 0, 0 or > 0 as a sorts before, with or after b. 0 only for equal bytes.
int CompareCaptions(std::string_view a, std::string_view b);

inline bool CaptionLess(std::string_view a, std::string_view b) {
  return CompareCaptions(a, b) < 0;
}

// The first level alone, as bytes, for sorting many captions: where two
// keys differ, their byte order (a key before its extensions) is the
// captions' order; where they are equal, CompareCaptions decides.
std::string PrimaryKey(std::string_view caption);

}  // namespace qorvex
