// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252 tables: upper-casing and the mapping to Unicode.
#include "support/cp1252.h"

#include <array>
#include <optional>

namespace qorvex {
namespace {

// Code points of 0x80..0x9F; the undefined bytes keep their own value.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr std::array<uint8_t, 256> MakeUpperTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  for (int i = 'a'; i <= 'z'; ++i) t[i] = static_cast<uint8_t>(i - 0x20);
  for (int i = 0xE0; i <= 0xFE; ++i)
    if (i != 0xF7) t[i] = static_cast<uint8_t>(i - 0x20);
  t[0x9A] = 0x8A;
  t[0x9C] = 0x8C;
  t[0x9E] = 0x8E;
  t[0xFF] = 0x9F;
  return t;
}
constexpr std::array<uint8_t, 256> kUpper = MakeUpperTable();

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char FromUnicode(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

uint8_t Cp1252Upper(uint8_t c) {
  return kUpper[c];
}

void Cp1252UpperInto(std::string_view text, std::string& out) {
  out.assign(text);
  for (char& c : out) c = static_cast<char>(kUpper[static_cast<uint8_t>(c)]);
}

char32_t Cp1252ToUnicode(uint8_t c) {
  return (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : c;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) AppendUtf8(out, Cp1252ToUnicode(static_cast<uint8_t>(ch)));
  return out;
}

namespace {

// Converts UTF-8 to Windows-1252 into out. A character the code page lacks
// becomes '?'; so does each maximal subpart of an ill-formed sequence (the
// longest start of a well-formed sequence, or else one byte), as the
// Unicode standard recommends: ED A0 80 is three. When strict, either ends
// the conversion with false.
bool ConvertUtf8(std::string_view text, std::string& out, bool strict) {
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  while (i < n) {
    const uint8_t b = byte(i);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    // The well-formed sequences: the length by the lead byte, and the range
    // of the second byte (which excludes overlongs, surrogates and code
    // points above U+10FFFF); further bytes are 80..BF.
    size_t len = 0;
    uint8_t lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t k = 1;
    for (; len != 0 && k < len && i + k < n; ++k) {
      const uint8_t c = byte(i + k);
      if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (len == 0 || k < len) {
      if (strict) return false;
      out += '?';
      i += k;  // the maximal subpart: the lead byte and the bytes that fit
      continue;
    }
    const char c = FromUnicode(cp);
    if (strict && c == '?') return false;
    out += c;
    i += len;
  }
  return true;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  ConvertUtf8(text, out, false);
  return out;
}

std::optional<std::string> Utf8ToCp1252Strict(std::string_view text) {
  std::string out;
  if (!ConvertUtf8(text, out, true)) return std::nullopt;
  return out;
}

}  // namespace qorvex
