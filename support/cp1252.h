// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252, the code page of all stored text: upper-casing for keys and
// the one conversion to and from UTF-8 used at the UI and command-line edges.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorvex {

// Upper case of one Windows-1252 byte: a-z and 0xE0-0xFE except 0xF7 minus
// 0x20; 0x9A->0x8A, 0x9C->0x8C, 0x9E->0x8E, 0xFF->0x9F; all else (ß, µ) stays.
uint8_t Cp1252Upper(uint8_t c);
// text upper-cased so, into out (replaced; its room is reused).
void Cp1252UpperInto(std::string_view text, std::string& out);

// Unicode code point of a Windows-1252 byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of
// the same value, so every byte string survives a round trip through UTF-8.
char32_t Cp1252ToUnicode(uint8_t c);

// Windows-1252 text to UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 text to Windows-1252. Characters the code page lacks and malformed
// UTF-8 sequences become '?'.
std::string Utf8ToCp1252(std::string_view text);

// UTF-8 text to Windows-1252; nothing when the text is malformed or holds a
// character the code page lacks (for input that must not change silently).
std::optional<std::string> Utf8ToCp1252Strict(std::string_view text);

}  // namespace qorvex
