// SPDX-License-Identifier: GPL-3.0-or-later
// The entry layout with fixed metrics (8 pixels a character, 16 a label, so
// lines are 22 apart): tags, words, wrapping, columns, indents, links.
#include "app/core/entry_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace qorvex::testing {
namespace {

std::string Hex(int32_t c) {
  char b[12];
  std::snprintf(b, sizeof b, "%06X", static_cast<unsigned>(c));
  return b;
}

// 'caption'left,top and what differs from a plain text label.
std::string Describe(const EntryLabel& l) {
  std::string s = "'" + l.caption + "'" + std::to_string(l.left) + "," + std::to_string(l.top);
  if (l.font.base) s += " base";
  if (l.font.bold) s += " b";
  if (l.font.underline) s += " u";
  if (!l.font.base && l.font.points != kDefaultFontPoints)
    s += " pt" + std::to_string(l.font.points);
  if (l.fontColor != 0) s += " fg" + Hex(l.fontColor);
  if (l.backColor != kNoColor) s += " bg" + Hex(l.backColor);
  if (l.kind == LabelKind::Link) s += " link=" + l.url;
  if (l.kind == LabelKind::Morse) s += " morse";
  if (l.kind == LabelKind::Tone) s += " tone=" + l.toneFile;
  return s;
}

// The text's labels (title and topic left out), shown with the topic.
std::vector<std::string> Text(const std::string& text, int32_t width = 640) {
  const std::vector<EntryLabel> labels =
      RenderEntry("T", "S", text, true, false, width, FixedTextMetrics());
  std::vector<std::string> out;
  for (size_t i = 2; i < labels.size(); ++i) out.push_back(Describe(labels[i]));
  return out;
}

using V = std::vector<std::string>;

TEST(EntryLayoutTest, TagsWordsAndLines) {
  const std::string wide(30, 'w');  // 240 pixels
  // What, the text, the width, the labels.
  // clang-format off
  const std::tuple<const char*, std::string, int32_t, V> cases[] = {
      {"glued tags", "a<b>b</b>c", 640, {"'a'10,54", "'b'18,54 b", "'c'26,54"}},
      {"blanks stay with words", "a <b>b</b> c", 640,
       {"'a '10,54", "'b'26,54 b", "' '34,54", "'c'42,54"}},
      {"leading blanks are a word", "  a", 640, {"'  '10,54", "'a'26,54"}},
      {"no closing >", "x<y", 640, {"'x'10,54", "'<y'18,54"}},
      {"unknown tags drop", "<i>text<B>x<morse>y", 640, {"'text'10,54", "'x'42,54", "'y'50,54"}},
      {"underline", "<u>a</u>b", 640, {"'a'10,54 u", "'b'18,54"}},
      {"Morse", "<Morse>SOS</Morse> ok", 640,
       {"'SOS'10,54 b u fg008000 morse", "' '34,54", "'ok'42,54"}},
      {"both tone spellings", "<Ton=a.wav>P</Ton>q<ton=b.wav>R</ton>", 640,
       {"'P'10,54 b u fg008000 tone=a.wav", "'q'18,54", "'R'26,54 b u fg008000 tone=b.wav"}},
      {"tone tag without >", "<Ton=a.wav", 640, {"'<Ton=a.wav'10,54 b u fg008000 tone=a.wav"}},
      {"colours", "<fontcolor=blue>x<fontbg=yellow>y<fontcolor=pink>z</font>w", 640,
       {"'x'10,54 fgFFFF00", "'y'18,54 fgFFFF00 bg00FFFF", "'z'26,54 fgFFFF00 bg00FFFF",
        "'w'34,54"}},
      {"line breaks", "a<br><br>b", 640, {"'a'10,54", "'b'10,98"}},
      // Limit 200 − 30: reaching it exactly still fits.
      {"wrap", "aaaa bbbb cccc dddd eeee", 200,
       {"'aaaa '10,54", "'bbbb '50,54", "'cccc '90,54", "'dddd '130,54", "'eeee'10,76"}},
      {"too wide first on its line", wide + " x<br>y", 200,
       {"'" + wide + " '10,76", "'x'10,98", "'y'10,120"}},
      {"pos: column of blanks, no wrap after", "<pos=10>aaaa bbbb</pos>c", 100,
       {"'aaaa '80,54", "'bbbb'120,54", "'c'10,76"}},
      {"pos=0: no wrap to the line's end", "aaaa bbbb <pos=0>cccc dddd<br>eeee ffff", 100,
       {"'aaaa '10,54", "'bbbb '10,76", "'cccc '50,76", "'dddd'90,76", "'eeee '10,98",
        "'ffff'10,120"}},
      {"pos= is 0", "<pos=>x", 640, {"'x'10,54"}},
      {"pos=-1 is none", "aaaa <pos=-1>bbbbbbbbbbbbb", 100,
       {"'aaaa '10,54", "'bbbbbbbbbbbbb'10,76"}},
      {"blockquote mid-line", "aaaa <blockquote>bbbb cccc dddd eeee<br>ffff", 200,
       {"'aaaa '10,54", "'bbbb '50,54", "'cccc '90,54", "'dddd '130,54", "'eeee'30,76",
        "'ffff'30,98"}},
      {"blockquote below zero", "</blockquote></blockquote><br>x", 640, {"'x'-30,76"}},
      {"font size keeps line spacing", "<fontsize=24>big<br>next</font>n", 640,
       {"'big'10,54 pt24", "'next'10,76 pt24", "'n'42,76"}},
      {"link with glued parenthesis", "(http://x) ", 640,
       {"'(http://x) '10,54 u fgFF0000 link=http://x)"}},
      {"bold link", "<b>http://a.de", 640, {"'http://a.de'10,54 b u fgFF0000 link=http://a.de"}},
      {"upper-case address is text", "HTTP://X", 640, {"'HTTP://X'10,54"}},
      {"Morse wins over link", "<Morse>http://x", 640, {"'http://x'10,54 b u fg008000 morse"}},
      {"empty text", "", 640, {}},
  };
  // clang-format on
  for (const auto& [what, text, width, labels] : cases)
    EXPECT_EQ(Text(text, width), labels) << what;
}

TEST(EntryLayoutTest, TitleTopicAndHint) {
  const FixedTextMetrics m;
  std::vector<EntryLabel> l = RenderEntry("Dipol", "Antennen", "x", true, false, 640, m);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(Describe(l[0]), "'Dipol'10,10 base b fgFFFFFF bg0000FF");
  EXPECT_EQ(l[0].kind, LabelKind::Title);
  EXPECT_EQ(l[0].width, 620);
  EXPECT_EQ(l[0].height, 22);
  EXPECT_EQ(Describe(l[1]), "'[Thema: Antennen]'10,32 pt8 fg808080");
  EXPECT_EQ(l[1].width, 620);
  EXPECT_EQ(l[1].height, 16);
  EXPECT_EQ(l[2].top, 54);

  l = RenderEntry("Dipol", "Antennen", "x", false, false, 640, m);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(Describe(l[1]), "'x'10,32");

  l = RenderEntry("Dipol", "Antennen", "x", false, true, 640, m);
  ASSERT_EQ(l.size(), 1u) << "the hint shows no text";
  EXPECT_EQ(Describe(l[0]), "'" + std::string(kSearchHint) + "'10,10 base b");
}

// A measurer whose blank, title and text differ: the blank is measured in
// the regular base font, the line height is the bold title's × 1.4.
class UnevenMetrics : public TextMeasurer {
 public:
  LabelSize Measure(std::string_view caption, const LabelFont& f) const override {
    if (f.base && !f.bold) return {caption == " " ? 3 : 99, 99};
    return {static_cast<int32_t>(caption.size()) * 7, f.base ? 15 : f.points * 2};
  }
};

TEST(EntryLayoutTest, SpaceWidthAndLineHeightComeFromTheBaseFont) {
  const std::vector<EntryLabel> l =
      RenderEntry("T", "", "<pos=10>a<br><fontsize=30>b", false, false, 640, UnevenMetrics());
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0].height, 21) << "15 × 1.4";
  EXPECT_EQ(l[1].left, 30);
  EXPECT_EQ(l[1].top, 31);
  EXPECT_EQ(l[2].top, 52);
  EXPECT_EQ(l[2].height, 60);
}

TEST(EntryLayoutTest, TagNumbers) {
  const std::pair<const char*, int32_t> cases[] = {
      // clang-format off
      {"", 0}, {"10", 10}, {"  12", 12}, {"-5", -5}, {"+7", 7}, {"$1F", 31}, {"0x1f", 31},
      {"-$10", -16}, {"12abc", 12}, {"12 ", 12}, {"abc", 0}, {" - 5", 0}, {"0x", 0}, {"$", 0},
      {"\t5", 0}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN},
      {"-99999999999", INT_MIN}, {"$FFFFFFFFFF", INT_MAX},
      // clang-format on
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(ParseTagNumber(text), value) << "'" << text << "'";
}

TEST(EntryLayoutTest, LinkAddresses) {
  // A caption, the address opened (none: not opened).
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"http://x)  ", "http://x)"},
      {"siehe:http://a.de", "http://a.de"},
      {"http://a.de/\xD8\xD8", "http://a.de/00"},
      {"http://dl1abc@darc.de", "mailto:http://dl1abc@darc.de"},
      {"http://x/MailTo@y", "http://x/MailTo@y"},
      {"HTTP://x", std::nullopt},
      {"https://x", std::nullopt},
  };
  for (const auto& [caption, address] : cases) EXPECT_EQ(LinkAddress(caption), address) << caption;
}

}  // namespace
}  // namespace qorvex::testing
