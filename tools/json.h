// SPDX-License-Identifier: GPL-3.0-or-later
// A small writer of one JSON document (tool layer), for the --json output of
// qorvex-db. Strings go in as UTF-8 and come out escaped as JSON requires.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex::cli {

// Usage: JsonWriter w; w.BeginObject().Key("term").String(t).EndObject();
// Commas between members are the writer's business. Invariant: a Key is
// followed by exactly one value; values in an object come after a Key.
class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(std::string_view utf8);
  JsonWriter& String(std::string_view utf8);
  JsonWriter& Int(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // The document so far, with a line end once it is complete.
  std::string str() const { return nesting_.empty() && !out_.empty() ? out_ + "\n" : out_; }

 private:
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();
  void Quoted(std::string_view utf8);

  std::string out_;
  // Per open bracket: whether it holds a member or element yet.
  std::vector<bool> nesting_;
  bool afterKey_ = false;
};

}  // namespace qorvex::cli
