// SPDX-License-Identifier: GPL-3.0-or-later
// What the commands of qorvex-db share (tool layer): the command table,
// the one-line messages on standard error, and the conversions at the
// terminal's edge (the terminal speaks UTF-8, the lexicon Windows-1252).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/lexicon_session.h"

namespace qorvex::cli {

// The end of every usage error.
inline constexpr const char* kHint = " (qorvex-db --help shows the usage)";

// Writes "qorvex-db: " + message (UTF-8) and a line end to standard error;
// returns code.
int Fail(const std::string& message, int code = 2);

// The cause of an engine or driver error number in words, the number in
// parentheses.
std::string Cause(int32_t number);
// The same for the engine's status just set, after the name of the file it
// concerns when the engine knows it: "QDLex.IX: the file is empty ... (10070)".
std::string EngineCause(int32_t number);
// A block's name as its files are named ("QDLex"), from the upper-case key
// the driver keeps; other names as they are.
std::string SpelledBlockName(const std::string& key);

// The storage of the program folder opened for a command (the driver, and
// the lexicon when asked), as the viewer opens it; a database error on the
// way is printed as one line.
class ToolSession {
 public:
  ToolSession(const std::string& folder, bool lexicon);
  // 0 when the session is open; else the exit code, its line printed (for
  // a lexicon another program holds: "QDLex: <cause of 10140>").
  int Failure();
  LexiconSession::State state() const { return session_.state(); }
  TdbLex& lexicon() { return *session_.lexicon(); }

 private:
  bool reported_ = false;  // before session_: its report sets it
  LexiconSession session_;
};

// Windows-1252 text as UTF-8, for output.
std::string Utf8(std::string_view cp1252);

// A UTF-8 argument as Windows-1252; nothing when it is not valid UTF-8 or
// holds a character the code page lacks.
std::optional<std::string> ArgToCp1252(std::string_view utf8);

// Removes every occurrence of flag from args; true when there was one.
bool TakeFlag(std::vector<std::string>& args, std::string_view flag);

// A command's work, run with the program folder as the current directory
// and the storage driver started; gives the exit code.
using CommandWork = std::function<int(const std::string& folder)>;

struct Command {
  std::string name;
  // Its lines in the usage text, each "  " + synopsis + blanks + what it does.
  std::string usage;
  // Checks the arguments that follow the name, before the folder is entered
  // or the driver started: the work, or nothing with a usage error in error.
  std::function<std::optional<CommandWork>(std::vector<std::string> args, std::string& error)>
      parse;
};

// import, check, dump, rebuild.
std::vector<Command> BlockCommands();
// show: an entry laid out as the viewer shows it.
Command ShowCommand();
// lookup, search, related, tree, export.
std::vector<Command> QueryCommands();

}  // namespace qorvex::cli
