// SPDX-License-Identifier: GPL-3.0-or-later
// What the commands of qorvex-db share: causes in words, arguments, and the
// JSON writer with its separators in nested documents and escapes.
#include "tools/cli.h"

#include <gtest/gtest.h>

#include "tools/json.h"

namespace qorvex::cli {
namespace {

TEST(Cli, CausesAreWordsWithTheirNumber) {
  const std::pair<int32_t, const char*> cases[] = {
      {kErrWriteIncomplete, "the disk is full (10075)"},
      {kErrFile, "the file is used by another program or cannot be accessed (10140)"},
      {kErrKeyNotFound, "not found (10200)"},                            // by the engine's class
      {kNetErrWriteLock, "busy, or locked by another program (10330)"},  // class 2
      {kErrDialogMissing, "the engine failed (10440)"},                  // class 4
      {kDriverNextNoCurrent, "the storage driver failed (28715)"},       // severity 5
      {kDriverNoSuchBlock, "not found (12364)"},                         // severity 1
      {0, "no error (0)"},
  };
  for (const auto& [number, words] : cases) EXPECT_EQ(Cause(number), words);
}

TEST(Cli, ArgumentsAreTakenAsWindows1252) {
  EXPECT_EQ(ArgToCp1252("\xC3\x96l \xE2\x82\xAC"), "\xD6l \x80");
  EXPECT_EQ(ArgToCp1252("\xE4\xB8\xAD"), std::nullopt) << "not in the code page";
  EXPECT_EQ(Utf8("\xD6l"), "\xC3\x96l");
  std::vector<std::string> args = {"--json", "a", "--json"};
  EXPECT_TRUE(TakeFlag(args, "--json"));
  EXPECT_EQ(args, std::vector<std::string>{"a"});
  EXPECT_FALSE(TakeFlag(args, "--json"));
}

TEST(JsonWriter, SeparatesMembersAndEscapesStrings) {
  JsonWriter w;
  w.BeginArray();
  w.BeginObject().Key("a").Int(-1).Key("b").Null().Key("c").BeginArray().EndArray().EndObject();
  w.BeginObject().EndObject().String("q\"\\\n\t\x01\xC3\xA4").Bool(false);
  w.EndArray();
  EXPECT_EQ(w.str(),
            "[{\"a\":-1,\"b\":null,\"c\":[]},{},\"q\\\"\\\\\\n\\t\\u0001\xC3\xA4\",false]\n");
  JsonWriter open;
  open.BeginObject().Key("x");
  EXPECT_EQ(open.str(), "{\"x\":");  // no line end before the document is complete
}

}  // namespace
}  // namespace qorvex::cli
