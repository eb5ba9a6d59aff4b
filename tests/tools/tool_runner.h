// Runs qorvex-db as a user runs it: a child process with arguments, its exit
// code, standard output and standard error. REQUIRES: QORVEX_DB names it.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/isam/testutil.h"

namespace qorvex::testing {

struct Outcome {
  int code = -1;
  std::string out, err;
};

// stdin is /dev/null (no terminal to ask); scratch takes the two outputs.
inline Outcome Tool(const std::vector<std::string>& args, const std::string& scratch) {
  const std::string out = scratch + "/.out", err = scratch + "/.err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv{const_cast<char*>(QORVEX_DB)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QORVEX_DB, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const isam::testing::Bytes o = isam::testing::ReadAll(out), e = isam::testing::ReadAll(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

}  // namespace qorvex::testing
