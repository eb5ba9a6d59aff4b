// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a program as a user would, for the tests of the tools and of the
// sound output: a child process with arguments, standard input from
// /dev/null unless told, and its exit code, output and errors.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace qorvex::testing {

struct Outcome {
  int code = -1;  // -1 when it did not exit normally
  std::string out, err;
};

struct RunOptions {
  // Standard output is a pseudo terminal (the program styles its output)
  // instead of a file.
  bool terminal = false;
  // The largest file the program may write (a full disk); 0 for no limit.
  rlim_t fileLimit = 0;
  std::string in = "/dev/null";
  // Variables that come before (and so win over) the inherited ones.
  std::vector<std::string> env{};
};

// Starts program (looked up on the PATH unless a path) with args, output
// and errors going to the files named (which may be one).
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& out, const std::string& err, const RunOptions& options = {});

// Runs program to its end; scratch holds the files of its output.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& scratch, const RunOptions& options = {});

// A tool on one lexicon folder ("--dir" and the folder before its
// arguments), its output files in a scratch folder.
class FolderTool {
 public:
  FolderTool(std::string program, std::string dir, std::string scratch)
      : program_(std::move(program)), dir_(std::move(dir)), scratch_(std::move(scratch)) {}
  Outcome operator()(std::vector<std::string> args, const RunOptions& options = {}) const;
  // Imports a delivery file of these bytes; the exit code.
  int Import(const std::string& bytes) const;

 private:
  std::string program_, dir_, scratch_;
};

}  // namespace qorvex::testing
