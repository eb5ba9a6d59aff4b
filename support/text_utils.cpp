// SPDX-License-Identifier: GPL-3.0-or-later
// Text operations of the whole program; see text_utils.h.
#include "support/text_utils.h"

#include <algorithm>
#include <cstdlib>

#include "support/cp1252.h"

namespace qorvex {
namespace {

std::string_view Short(std::string_view text) {
  return text.substr(0, kShortMax);
}

int ClampWidth(int n) {
  return std::clamp(n, 0, static_cast<int>(kShortMax));
}

bool IsPictureChar(char c) {
  return c == '#' || c == '@' || c == '*' || c == '$' || c == '-' || c == '+' || c == ',' ||
         c == '.';
}
bool IsDigitPlace(char c) {
  return c == '#' || c == '@' || c == '*' || c == '$';
}

}  // namespace

std::string TToStrings::Trim(std::string_view text) const {
  auto blank = [](char c) { return static_cast<uint8_t>(c) <= 32; };
  size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string TToStrings::UpperCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(Cp1252Upper(static_cast<uint8_t>(c)));
  return out;
}

std::string TToStrings::IntToStr(int32_t value) const {
  return std::to_string(value);
}

std::string TToStrings::IntToStrWidth(int32_t value, int width) const {
  if (width <= 0) return IntToStr(value);
  return FormatPicture(std::string(ClampWidth(width), '#'), value);
}

std::string TToStrings::IntToStrZero(int32_t value, int width) const {
  if (width <= 0) return IntToStr(value);
  return FormatPicture(std::string(ClampWidth(width), '@'), value);
}

// Whole-number picture formatting. A "." is appended so that the field ends
// in its decimal position (no decimals), and removed from the result again.
// Within the field: '*' fills with '*', '@' fills with '0' (and cancels '$'),
// '$' floats a currency sign, '+'/'-' switch off the floating minus, and the
// last ',' or '.' is the decimal position. Digit places are "#@*$".
std::string TToStrings::FormatPicture(std::string_view picture, int32_t value) const {
  std::string pic(Short(picture));
  pic += '.';
  const size_t n = pic.size();
  size_t fieldBegin = 0;
  while (fieldBegin < n && !IsPictureChar(pic[fieldBegin])) ++fieldBegin;
  size_t fieldEnd = fieldBegin;
  while (fieldEnd < n && IsPictureChar(pic[fieldEnd])) ++fieldEnd;

  char fill = ' ';
  bool currency = false, floatMinus = true;
  size_t decimalPos = fieldEnd;  // none: every digit place is a whole place
  for (size_t i = fieldBegin; i < fieldEnd; ++i) {
    switch (pic[i]) {
      case '*':
        fill = '*';
        break;
      case '@':
        fill = '0', currency = false;
        break;
      case '$':
        currency = true;
        break;
      case '+':
      case '-':
        floatMinus = false;
        break;
      case ',':
      case '.':
        decimalPos = i;
        break;
    }
  }

  const bool negative = value < 0;
  const std::string digits = std::to_string(std::llabs(static_cast<long long>(value)));
  const bool showMinus = negative && floatMinus && fill != '0';
  int places = 0;
  for (size_t i = fieldBegin; i < decimalPos; ++i)
    if (IsDigitPlace(pic[i])) ++places;
  const int needed = static_cast<int>(digits.size()) + (showMinus ? 1 : 0) + (currency ? 1 : 0);

  std::string out = pic;
  auto signChar = [&](char c) {
    return c == '+' ? (negative ? '-' : '+') : (negative ? '-' : ' ');
  };
  if (needed > places) {
    for (size_t i = fieldBegin; i < fieldEnd; ++i) {
      if (IsDigitPlace(pic[i]))
        out[i] = '*';
      else if (pic[i] == '+' || pic[i] == '-')
        out[i] = signChar(pic[i]);
    }
  } else {
    // Decimal places of a whole number are zeros.
    for (size_t i = decimalPos + 1; i < fieldEnd; ++i) {
      if (IsDigitPlace(pic[i]))
        out[i] = '0';
      else if (pic[i] == '+' || pic[i] == '-')
        out[i] = signChar(pic[i]);
    }
    // Whole places from the right: digits, then the floating signs just
    // before the first digit ('$' nearest, then '-'), then the fill.
    size_t next = digits.size();  // digits still to place
    std::string pending;
    if (currency) pending += '$';
    if (showMinus) pending += '-';
    size_t pendingAt = 0;
    for (size_t i = decimalPos; i-- > fieldBegin;) {
      const char c = pic[i];
      if (c == '+' || c == '-') {
        out[i] = signChar(c);
      } else if (next > 0 && IsDigitPlace(c)) {
        out[i] = digits[--next];
      } else if (next > 0) {
        out[i] = c;  // a separator with digits on both sides
      } else if (pendingAt < pending.size()) {
        out[i] = pending[pendingAt++];
      } else {
        out[i] = fill;
      }
    }
  }
  out.pop_back();
  return out;
}

std::string TToStrings::SafeFileName(std::string_view text) const {
  std::string out(text);
  for (char& c : out)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  return out;
}

std::string TToStrings::TrimShort(std::string_view text) const {
  std::string_view s = Short(text);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  return std::string(s);
}

std::string TToStrings::PadChar(std::string_view text, char fill, int n) const {
  std::string out(Short(text));
  const size_t want = ClampWidth(n);
  if (out.size() < want) out.append(want - out.size(), fill);
  return out;
}

std::string TToStrings::PadCut(std::string_view text, int n) const {
  std::string out(Short(text));
  out.resize(ClampWidth(n), ' ');
  return out;
}

std::string TToStrings::UpPad(std::string_view text, int n) const {
  return UpperCase(PadCut(text, n));
}

std::string TToStrings::SetLen(std::string_view text, int n) const {
  std::string out(text);
  out.resize(std::max(n, 0), '\0');
  return out;
}

int TToStrings::PosOf(std::string_view part, std::string_view text) const {
  if (part.empty()) return 0;
  const size_t p = text.find(part);
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string TToStrings::Mid(std::string_view text, int index, int count) const {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<size_t>(index) > text.size()) return {};
  return std::string(text.substr(index - 1, count));
}

std::string TToStrings::From(std::string_view text, int index) const {
  return Mid(text, index, Len(text));
}

std::string TToStrings::Left(std::string_view text, int n) const {
  return Mid(text, 1, n);
}

std::string TToStrings::After(std::string_view text, std::string_view part, bool inclusive) const {
  const int p = PosOf(part, text);
  return inclusive ? From(text, p) : From(text, p + Len(part));
}

std::string TToStrings::Before(std::string_view text, std::string_view part, bool inclusive) const {
  const int p = PosOf(part, text);
  return inclusive ? Left(text, p - 1 + Len(part)) : Left(text, p - 1);
}

void TToStrings::ToKeyBuffer(std::string_view text, TKeyBuffer& buffer) const {
  buffer.bytes.fill(0);
  const std::string_view s = Short(text).substr(0, kKeyBufferChars);
  const uint32_t len = static_cast<uint32_t>(s.size());
  for (int i = 0; i < 4; ++i) buffer.bytes[i] = static_cast<uint8_t>(len >> (8 * i));
  std::copy(s.begin(), s.end(), buffer.bytes.begin() + 4);
}

TKeyBuffer TToStrings::ToKeyBuffer(std::string_view text) const {
  TKeyBuffer b;
  ToKeyBuffer(text, b);
  return b;
}

std::string TToStrings::FromKeyBuffer(const TKeyBuffer& buffer) const {
  uint32_t raw = 0;
  for (int i = 0; i < 4; ++i) raw |= static_cast<uint32_t>(buffer.bytes[i]) << (8 * i);
  const int32_t len = static_cast<int32_t>(raw);
  const size_t n = std::clamp<int32_t>(len, 0, kKeyBufferChars);
  return std::string(reinterpret_cast<const char*>(buffer.bytes.data()) + 4, n);
}

}  // namespace qorvex
