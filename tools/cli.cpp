// SPDX-License-Identifier: GPL-3.0-or-later
// Messages and conversions shared by the commands of qorvex-db.
#include <algorithm>
#include <cstdio>

#include "isam/status.h"
#include "storage/dbsetup.h"
#include "storage/errortexts.h"
#include "support/cp1252.h"
#include "tools/cli.h"

namespace qorvex::cli {

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "qorvex-db: %s\n", message.c_str());
  return code;
}

std::string Cause(int32_t number) {
  return ErrorCause(number) + " (" + std::to_string(number) + ")";
}

std::string SpelledBlockName(const std::string& key) {
  if (BlockNameKey(key) == BlockNameKey(kLexBlockName)) return kLexBlockName;
  for (const char* name : kSetupBlockName)
    if (BlockNameKey(key) == BlockNameKey(name)) return name;
  return key;
}

ToolSession::ToolSession(const std::string& folder, bool lexicon)
    : session_(folder, {.settings = false, .lexicon = lexicon}, [this](const EDBError& e) {
        reported_ = true;
        Fail(SpelledBlockName(e.blockName()) + ": " + Cause(e.number()));
      }) {}

int ToolSession::Failure() {
  switch (session_.state()) {
    case LexiconSession::State::kOpen:
      return reported_ ? 2 : 0;
    case LexiconSession::State::kLexiconHeld:
      return Fail("QDLex: " + Cause(kErrFile));
    default:
      return 2;  // said by the report or the driver's start
  }
}

std::string EngineCause(int32_t number) {
  const std::string file = EngineFailedFile();
  if (file.empty()) return Cause(number);
  return Utf8(file.substr(file.rfind('/') + 1)) + ": " + Cause(number);
}

std::string Utf8(std::string_view cp1252) {
  return Cp1252ToUtf8(cp1252);
}

std::optional<std::string> ArgToCp1252(std::string_view utf8) {
  return Utf8ToCp1252Strict(utf8);
}

bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
  const auto end = std::remove(args.begin(), args.end(), flag);
  const bool found = end != args.end();
  args.erase(end, args.end());
  return found;
}

}  // namespace qorvex::cli
