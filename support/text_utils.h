// SPDX-License-Identifier: GPL-3.0-or-later
// Text operations of the whole program (support layer): trimming, key
// upper-casing, fixed widths, pieces around a separator, number pictures and
// the 204-byte key buffers of the storage layer. Text is Windows-1252 bytes.
//
// "Short" operations take and give short strings: at most kShortMax bytes;
// longer arguments are cut to kShortMax first, as are their results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qorvex {

inline constexpr size_t kShortMax = 255;

// text without the blanks (code 32 only) that pad it on the right, as terms
// and captions are stored.
inline std::string_view WithoutTrailingBlanks(std::string_view text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);  // npos + 1 is 0
}
inline constexpr size_t kKeyBufferChars = 200;

// Key buffer, 204 bytes: 00-03 length (int32, little-endian), 04-203 up to
// 200 characters; bytes past the characters are zero after ToKeyBuffer.
struct TKeyBuffer {
  std::array<uint8_t, 4 + kKeyBufferChars> bytes{};
};
static_assert(sizeof(TKeyBuffer) == 204);

class TToStrings {
 public:
  // Leading and trailing characters of codes 0..32 removed.
  std::string Trim(std::string_view text) const;
  std::string UpperCase(std::string_view text) const;
  std::string IntToStr(int32_t value) const;
  // Width 0: IntToStr; 1..255: right-aligned in width places, blank-filled.
  std::string IntToStrWidth(int32_t value, int width) const;
  // Width 0: IntToStr; 1..255: right-aligned in width places, zero-filled.
  std::string IntToStrZero(int32_t value, int width) const;
  // Formats a whole number into a picture of "#@*$-+,." characters.
  std::string FormatPicture(std::string_view picture, int32_t value) const;
  // Every '/', '\' and ':' becomes '_'.
  std::string SafeFileName(std::string_view text) const;

  // Short: trailing blanks (32) removed, then leading blanks and code 0.
  std::string TrimShort(std::string_view text) const;
  // Short: filled with fill up to n when shorter, else unchanged.
  std::string PadChar(std::string_view text, char fill, int n) const;
  // Short: exactly n characters, blank-filled or cut.
  std::string PadCut(std::string_view text, int n) const;
  // Short: PadCut to n, then UpperCase. Builds the storage layer's text keys.
  std::string UpPad(std::string_view text, int n) const;

  int Len(std::string_view text) const { return static_cast<int>(text.size()); }
  // Cut to or extended to n characters; extension bytes are zero.
  std::string SetLen(std::string_view text, int n) const;
  // 1-based position of the first occurrence of part, 0 when absent or empty.
  int PosOf(std::string_view part, std::string_view text) const;
  // count characters from 1-based index (below 1 counts as 1).
  std::string Mid(std::string_view text, int index, int count) const;
  std::string From(std::string_view text, int index) const;
  std::string Left(std::string_view text, int n) const;
  // Absent part: After gives From(text, Len(part)) (inclusive: the whole
  // text), Before gives the empty text (inclusive: Left(text, Len(part)-1)).
  std::string After(std::string_view text, std::string_view part, bool inclusive) const;
  std::string Before(std::string_view text, std::string_view part, bool inclusive) const;

  // Zero-fills the buffer, writes the length and at most 200 characters.
  void ToKeyBuffer(std::string_view text, TKeyBuffer& buffer) const;
  TKeyBuffer ToKeyBuffer(std::string_view text) const;
  // Reads the stored length, clamped to 0..200, and that many characters.
  std::string FromKeyBuffer(const TKeyBuffer& buffer) const;
};

// The one instance of the program.
inline const TToStrings ToStrings;

}  // namespace qorvex
