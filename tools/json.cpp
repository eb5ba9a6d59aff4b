// SPDX-License-Identifier: GPL-3.0-or-later
// JSON output of qorvex-db: separators and string escapes.
#include "tools/json.h"

#include <cstdio>

namespace qorvex::cli {

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!nesting_.empty()) {
    if (nesting_.back()) out_ += ',';
    nesting_.back() = true;
  }
}

void JsonWriter::Quoted(std::string_view utf8) {
  out_ += '"';
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += ch;
    } else if (c < 0x20) {
      // The control characters must be escaped; the common ones read better.
      switch (c) {
        case '\n':
          out_ += "\\n";
          break;
        case '\r':
          out_ += "\\r";
          break;
        case '\t':
          out_ += "\\t";
          break;
        default: {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out_ += buffer;
        }
      }
    } else {
      out_ += ch;
    }
  }
  out_ += '"';
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  nesting_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  out_ += bracket;
  if (!nesting_.empty()) nesting_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view utf8) {
  BeforeValue();
  Quoted(utf8);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8) {
  BeforeValue();
  Quoted(utf8);
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

}  // namespace qorvex::cli
