// Runs one of our programs as a user would, for the tests of the tools: a
// child process with arguments, standard input from /dev/null, and its exit
// code, output and errors.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
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
};

// Starts program with args, output and errors going to the files named.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& out, const std::string& err, const RunOptions& options = {});

// Runs program to its end; scratch holds the files of its output.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& scratch, const RunOptions& options = {});

}  // namespace qorvex::testing
