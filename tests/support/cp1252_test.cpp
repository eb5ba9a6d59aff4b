// SPDX-License-Identifier: GPL-3.0-or-later
// Upper-casing table and UTF-8 conversion of Windows-1252 text.
#include "support/cp1252.h"

#include <gtest/gtest.h>

#include "support/text_utils.h"

namespace qorvex {
namespace {

TEST(Cp1252, UpperCaseOfEveryByteFollowsTheTable) {
  for (int c = 0; c < 256; ++c) {
    int want = c;
    if (c >= 'a' && c <= 'z') want = c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) want = c - 0x20;
    if (c == 0x9A) want = 0x8A;
    if (c == 0x9C) want = 0x8C;
    if (c == 0x9E) want = 0x8E;
    if (c == 0xFF) want = 0x9F;
    EXPECT_EQ(Cp1252Upper(static_cast<uint8_t>(c)), want) << "byte " << c;
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(static_cast<uint8_t>(ToStrings.UpperCase(one)[0]), want) << "byte " << c;
  }
  // ß, µ and ÷ keep their place; the German umlauts change.
  EXPECT_EQ(ToStrings.UpperCase("gr\xFC\337e \xB5 \xF7 \xE4\xF6"),
            "GR\xDC\337E \xB5 \xF7 \xC4\xD6");
}

TEST(Cp1252, EveryByteStringSurvivesTheRoundTripThroughUtf8) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80\xC4\xDF"), "\u20AC\u00C4\u00DF");
  EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\u0178");
}

// A character the code page lacks is one "?", and so is each maximal
// subpart of an ill-formed sequence.
TEST(Cp1252, Utf8WithoutACodePageCharacterOrMalformedBecomesQuestionMarks) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\u4E2Db", "a?b"},           // CJK: not in the code page
      {"\xF0\x9F\x93\xBB!", "?!"},   // 4-byte emoji
      {"\xE2\x82\xAC", "\x80"},      // euro sign
      {"x\xC3", "x?"},               // truncated at the end
      {"\xE2\x82", "?"},             // a truncated sequence is one subpart
      {"\xC3(\xFF", "?(?"},          // bad continuation, bad lead
      {"\xC0\xAF", "??"},            // overlong '/': C0 never leads
      {"\xE0\x80\xAF", "???"},       // overlong: E0 needs A0..BF next
      {"\xED\xA0\x80", "???"},       // surrogate: ED needs 80..9F next
      {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
      {"\xF0\x90\x80x", "?x"},       // a 4-byte start cut by an ASCII byte
      {"\x80\xBF", "??"},            // lone continuations
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(Utf8ToCp1252(in), want) << in;
  // The strict form refuses what the lenient one would replace.
  EXPECT_EQ(Utf8ToCp1252Strict("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC?"), "Gr\xFC\xDF \x80?");
  for (const char* bad : {"a\u4E2Db", "x\xC3", "\xC0\xAF", "\xED\xA0\x80"})
    EXPECT_EQ(Utf8ToCp1252Strict(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace qorvex
