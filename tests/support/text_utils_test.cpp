// SPDX-License-Identifier: GPL-3.0-or-later
// Text operations: trimming, widths, number pictures, pieces, key buffers.
#include "support/text_utils.h"

#include <gtest/gtest.h>

#include <tuple>

namespace qorvex {
namespace {

const TToStrings& S = ToStrings;

TEST(Strings, TrimAndTrimShort) {
  EXPECT_EQ(S.Trim("  \t\r\n "), "");
  EXPECT_EQ(S.Trim(std::string("\0 a b \x1F", 7)), "a b");
  EXPECT_EQ(S.Trim("\xA0x\xA0"), "\xA0x\xA0");  // no-break space is not a blank
  EXPECT_EQ(S.TrimShort(std::string("\0\0 ab  ", 7)), "ab");
  EXPECT_EQ(S.TrimShort(std::string("ab\0", 3)), std::string("ab\0", 3));  // trailing 0 stays
  EXPECT_EQ(S.TrimShort(std::string("ab\t ", 4)), "ab\t");
  EXPECT_EQ(S.TrimShort(std::string(300, 'x') + "  ").size(), 255u);
}

TEST(Strings, PaddingAndCutting) {
  EXPECT_EQ(S.PadCut("abc", 5), "abc  ");
  EXPECT_EQ(S.PadCut("abcdef", 3), "abc");
  EXPECT_EQ(S.PadCut("abc", 3), "abc");
  EXPECT_EQ(S.PadCut("abc", 0), "");
  EXPECT_EQ(S.PadCut("abc", -4), "");
  EXPECT_EQ(S.PadCut("abc", 999).size(), 255u);
  EXPECT_EQ(S.PadChar("7", '0', 3), "700");
  EXPECT_EQ(S.PadChar("abcd", '.', 2), "abcd");
  EXPECT_EQ(S.UpPad("\xC4ther", 10), "\xC4THER     ");
  EXPECT_EQ(S.UpPad("gr\xFC\337e", 3), "GR\xDC");
  EXPECT_EQ(S.SetLen("abc", 1), "a");
  EXPECT_EQ(S.SetLen("abc", 5).size(), 5u);
  EXPECT_EQ(S.SafeFileName("a/b\\c:d"), "a_b_c_d");
}

TEST(Strings, NumberPictures) {
  constexpr int32_t kMin = -2147483647 - 1;
  EXPECT_EQ(S.IntToStr(kMin), "-2147483648");
  // Zero-filled fields (the fill drops the sign) and blank-filled ones;
  // stars where the number does not fit.
  using Field = std::tuple<int32_t, int, const char*>;
  const Field zero[] = {{7, 6, "000007"},      {12, 6, "000012"}, {1234567, 6, "******"},
                        {123456, 6, "123456"}, {-5, 3, "005"},    {-42, 0, "-42"}};
  for (auto [n, width, want] : zero) EXPECT_EQ(S.IntToStrZero(n, width), want) << n;
  const Field blank[] = {{-12, 6, "   -12"},    {-12345, 6, "-12345"}, {-123456, 6, "******"},
                         {123456, 6, "123456"}, {0, 3, "  0"},         {5, 1, "5"},
                         {-5, 1, "*"},          {99, 0, "99"}};
  for (auto [n, width, want] : blank) EXPECT_EQ(S.IntToStrWidth(n, width), want) << n;
  EXPECT_EQ(S.IntToStrWidth(kMin, 11), "-2147483648");
  EXPECT_EQ(S.IntToStrWidth(kMin, 10), "**********");
  EXPECT_EQ(S.IntToStrWidth(99, 1000).size(), 255u);
  // The other picture characters; "." opens the field.
  const std::tuple<const char*, int32_t, const char*> pictures[] = {
      {"****", 42, "**42"},          {"$$$$", 42, " $42"},
      {"$$$$$", -42, " -$42"},       {"###+", -42, " 42-"},
      {"###+", 42, " 42+"},          {"##-", 42, "42 "},
      {"#,###", 1234, "1,234"},      {"#,###", 12, "   12"},
      {"#,###", -123, " -123"},      {"Nr. ###", 7, "Nr. ###"},
      {"Summe ###", 7, "Summe   7"}, {"@@@@@@", 1234567, "******"},
      {"##+", 1234, "**+"},          {"", 5, ""}};
  for (auto [picture, n, want] : pictures) EXPECT_EQ(S.FormatPicture(picture, n), want) << picture;
}

TEST(Strings, PiecesAroundAPart) {
  EXPECT_EQ(S.PosOf("b", "abcb"), 2);
  EXPECT_EQ(S.PosOf("x", "abc"), 0);
  EXPECT_EQ(S.PosOf("", "abc"), 0);
  EXPECT_EQ(S.Mid("abcdef", 2, 3), "bcd");
  EXPECT_EQ(S.Mid("abcdef", -3, 2), "ab");
  EXPECT_EQ(S.Mid("abcdef", 7, 2), "");
  EXPECT_EQ(S.Mid("abcdef", 5, 100), "ef");
  EXPECT_EQ(S.Mid("abcdef", 2, -1), "");
  EXPECT_EQ(S.From("abcdef", 4), "def");
  EXPECT_EQ(S.Left("abcdef", 2), "ab");
  EXPECT_EQ(S.Left("abcdef", 0), "");
  EXPECT_EQ(S.After("topic>text>more", ">", false), "text>more");
  EXPECT_EQ(S.After("topic>text", ">", true), ">text");
  EXPECT_EQ(S.Before("topic>text>more", ">", false), "topic");
  EXPECT_EQ(S.Before("topic>text", ">", true), "topic>");
  // An absent part: After gives the text from Len(part) on, Before nothing.
  EXPECT_EQ(S.After("abc", "x", false), "abc");
  EXPECT_EQ(S.After("abcdef", "xyz", false), "cdef");
  EXPECT_EQ(S.After("abc", "x", true), "abc");
  EXPECT_EQ(S.Before("abc", "x", false), "");
  EXPECT_EQ(S.Before("abc", "xy", true), "a");
}

TEST(Strings, KeyBufferRoundTripForEveryLengthAndNoOverflow) {
  for (size_t n = 0; n <= 200; ++n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>((i * 37 + n) % 256);
    const TKeyBuffer b = S.ToKeyBuffer(s);
    ASSERT_EQ(S.FromKeyBuffer(b), s) << n;
    ASSERT_EQ(b.bytes[0], n);
    ASSERT_EQ(b.bytes[1] | b.bytes[2] | b.bytes[3], 0);
    for (size_t i = 4 + n; i < b.bytes.size(); ++i) ASSERT_EQ(b.bytes[i], 0) << n << " " << i;
  }
  // Longer input is cut at 200 characters; a dirty buffer is zeroed first.
  TKeyBuffer b;
  b.bytes.fill(0xEE);
  S.ToKeyBuffer(std::string(5000, 'k'), b);
  EXPECT_EQ(S.FromKeyBuffer(b), std::string(200, 'k'));
  S.ToKeyBuffer("ab", b);
  EXPECT_EQ(b.bytes[0], 2);
  EXPECT_EQ(b.bytes[6], 0);
  EXPECT_EQ(b.bytes[203], 0);
  // A stored length out of range never reads past the buffer.
  b.bytes = {0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(S.FromKeyBuffer(b).size(), 200u);
  b.bytes = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(S.FromKeyBuffer(b), "");
}

}  // namespace
}  // namespace qorvex
