// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-db: the command-line companion of the viewer. Imports the delivery
// file into the lexicon, and checks, dumps and rebuilds the file blocks of a
// program folder, starting and stopping the storage driver as the viewer
// does; answers the viewer's queries and exports the lexicon. Output is UTF-8; exit 0 on success, 1
// when a check finds damage, 2 on bad usage or an error (with a one-line message on standard
// error).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "diag/storage_startup.h"
#include "qorvex_version.h"
#include "storage/ifdriver.h"
#include "tools/cli.h"

namespace qorvex::cli {
namespace {

std::vector<Command> Commands() {
  std::vector<Command> commands = BlockCommands();
  for (Command& c : QueryCommands()) commands.push_back(std::move(c));
  commands.push_back(ShowCommand());
  return commands;
}

std::string Usage(const std::vector<Command>& commands) {
  std::string text =
      "usage: qorvex-db [--dir DIR] COMMAND [ARGS]\n"
      "       qorvex-db --help | --version\n";
  for (const Command& c : commands) text += c.usage;
  return text + "blocks: QDLex, QDSETUP, QDSETUP2, ZELPSETP, QKSETUP\n";
}

// Retry questions go to the terminal when there is one, else "no".
bool AskOnTerminal(const std::string&, const std::string&, const std::string& text) {
  if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;
  std::fprintf(stderr, "%s[y/n] ", Utf8(text).c_str());
  std::string answer;
  return std::getline(std::cin, answer) && !answer.empty() &&
         (answer[0] == 'j' || answer[0] == 'J' || answer[0] == 'y' || answer[0] == 'Y');
}

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir = ".";
  if (!args.empty() && args[0] == "--dir") {
    if (args.size() < 2) return Fail(std::string("--dir needs a folder") + kHint);
    dir = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  const std::vector<Command> commands = Commands();
  if (args.empty()) return Fail(std::string("no command") + kHint);
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(Usage(commands).c_str(), stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("qorvex-db %s\n", kVersion);
    return 0;
  }
  const std::string name = args[0];
  args.erase(args.begin());
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& c) { return c.name == name; });
  if (command == commands.end()) return Fail("unknown command: " + name + kHint);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return Fail("no such folder: " + dir);
  const std::string folder = std::filesystem::absolute(dir).lexically_normal().string();
  std::string error;
  const std::optional<CommandWork> work = command->parse(args, error);
  if (!work) return Fail(error);

  // The folder is the program folder, as the viewer's current directory.
  if (::chdir(folder.c_str()) != 0) return Fail("cannot enter " + folder);
  SetLanguage(kEnglish);
  SetQuestionHandler(AskOnTerminal);
  SetErrorMessageHandler([](const std::string& text) { Fail(Utf8(text)); });
  return (*work)(folder);  // each command opens the folder's storage itself
}

}  // namespace
}  // namespace qorvex::cli

int main(int argc, char** argv) {
  try {
    return qorvex::cli::Run(argc, argv);
  } catch (const qorvex::EDBError& e) {
    return qorvex::cli::Fail(qorvex::cli::Utf8(qorvex::cli::SpelledBlockName(e.blockName())) +
                             ": " + qorvex::cli::Cause(e.number()));
  }
}
