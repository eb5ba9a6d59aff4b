// The JSON writer of qorvex-db: separators in nested documents and escapes.
#include "tools/json.h"

#include <gtest/gtest.h>

namespace qorvex::cli {
namespace {

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
