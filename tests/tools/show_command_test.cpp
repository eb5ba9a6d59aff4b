// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-db show as a user runs it: the grid of plain text, the styled
// terminal output, JSON, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/isam/testutil.h"
#include "tests/tools/run_program.h"

namespace qorvex::testing {
namespace {

class ShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Windows-1252, as delivered: Ø is 0xD8; one text holds an escape byte.
    const std::string csv =
        "Dipol;<Antennen>Ein <b>Dipol</b> strahlt.<br>abcdef<pos=2>XY<br>"
        "<Ton=a.wav>pfeif</Ton> <fontcolor=blue>blau</font> (http://x.de/\xD8) "
        "<Morse>SOS</Morse><br></blockquote></blockquote><br>neg\x1b[31m;Antenne\r\n"
        "Lang;<X>aaaa bbbb cccc dddd eeee;\r\n";
    ASSERT_EQ(Db.Import(csv), 0);
  }
  TempDir scratch_, lex_;
  // Its standard output is a file, or a terminal when asked for.
  FolderTool Db{QORVEX_DB, lex_.path(), scratch_.path()};
};

TEST_F(ShowTest, PlainTextIsTheGridOfTheLabels) {
  Outcome r = Db({"show", "dipol"});
  ASSERT_EQ(r.code, 0) << r.err;
  // Row top / 22, column left / 8: "XY" (column 2) overwrites "bc"; the
  // line at −30 starts in column 0; the escape byte shows as U+FFFD.
  EXPECT_EQ(r.out,
            " Dipol\n"
            " [Thema: Antennen]\n"
            " Ein Dipol strahlt.\n"
            " aXYdef\n"
            " pfeif blau (http://x.de/\xC3\x98) SOS\n"
            "\n"
            "neg\xEF\xBF\xBD[31m\n");
  EXPECT_EQ(Db({"show", "Lang", "--width", "200"}).out,
            " Lang\n [Thema: X]\n aaaa bbbb cccc dddd\n eeee\n");
  EXPECT_EQ(Db({"show", "Lang"}).out, " Lang\n [Thema: X]\n aaaa bbbb cccc dddd eeee\n");
}

TEST_F(ShowTest, JsonHoldsEveryLabel) {
  const Outcome r = Db({"show", "Dipol", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("{\"term\":\"Dipol\",\"topic\":\"Antennen\",\"labels\":[", 0), 0u);
  const char* labels[] = {
      R"j({"text":"Dipol","left":10,"top":10,"width":620,"height":22,"size":9,"bold":true,)j"
      R"j("underline":false,"color":"#FFFFFF","background":"#FF0000","kind":"title",)j"
      R"j("file":null,"url":null})j",
      R"j({"text":"pfeif","left":10,"top":98,"width":40,"height":16,"size":10,"bold":true,)j"
      R"j("underline":true,"color":"#008000","background":null,"kind":"tone","file":"a.wav",)j"
      R"j("url":null})j",
      R"j({"text":"blau","left":58,"top":98,"width":32,"height":16,"size":10,"bold":false,)j"
      R"j("underline":false,"color":"#00FFFF","background":null,"kind":"text","file":null,)j"
      R"j("url":null})j",
      R"j({"text":"(http://x.de/Ø) ","left":98,"top":98,"width":128,"height":16,"size":10,)j"
      R"j("bold":false,"underline":true,"color":"#0000FF","background":null,"kind":"link",)j"
      R"j("file":null,"url":"http://x.de/0)"})j",
      R"j({"text":"SOS","left":226,"top":98,"width":24,"height":16,"size":10,"bold":true,)j"
      R"j("underline":true,"color":"#008000","background":null,"kind":"morse","file":null,)j"
      R"j("url":null})j",
      R"j({"text":"neg\u001b[31m","left":-30,"top":142,)j",
  };
  for (const char* l : labels) EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
}

TEST_F(ShowTest, ATerminalGetsStylesAndLinksButNoRawControlBytes) {
  const Outcome r = Db({"show", "Dipol", "--width", "320"}, {.terminal = true});
  ASSERT_EQ(r.code, 0) << r.err;
  // The title: bold white on red; Morse in green, bold, italic, underlined.
  EXPECT_NE(r.out.find("\x1b[0;1;38;5;231;48;5;196mDipol"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\x1b[0;1;3;4;38;5;28;48;5;230mSOS"), std::string::npos);
  EXPECT_NE(r.out.find("\x1b]8;;http://x.de/0)\x1b\\"), std::string::npos) << "a hyperlink";
  EXPECT_EQ(r.out.find("\x1b[31m"), std::string::npos) << "the entry's escape byte went through";
  EXPECT_NE(r.out.find("neg\xEF\xBF\xBD[31m"), std::string::npos);
}

TEST_F(ShowTest, RefusalsAndMisses) {
  Outcome r = Db({"show", "Nix", "--json"});
  EXPECT_EQ(std::tie(r.code, r.out, r.err), std::make_tuple(1, "", "qorvex-db: no entry Nix\n"));
  // Ω is not in Windows-1252.
  // clang-format off
  const std::vector<std::string> usage[] = {
      {"show"}, {"show", "a", "b"}, {"show", "Dipol", "--width"}, {"show", "\xCE\xA9"},
      {"show", "Dipol", "--width", "99"}, {"show", "Dipol", "--width", "100001"},
      {"show", "Dipol", "--width", "3x"}};
  // clang-format on
  for (const auto& args : usage) {
    r = Db(args);
    EXPECT_EQ(r.code, 2) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("(qorvex-db --help shows the usage)\n"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Db({"show", "Dipol", "--width", "100"}).code, 0);
  EXPECT_EQ(Db({"show", "Dipol", "--width", "100000"}).code, 0);
  r = FolderTool(QORVEX_DB, scratch_.path(), scratch_.path())({"show", "Dipol"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "qorvex-db: QDLex: no data file in the folder\n");
}

}  // namespace
}  // namespace qorvex::testing
