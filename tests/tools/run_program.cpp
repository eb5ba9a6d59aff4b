// Child processes for the tools' tests; see run_program.h.
#include "tests/tools/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace qorvex::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// In the child: never returns.
[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args, int out,
                       int err, const RunOptions& options) {
  if (options.fileLimit != 0) {
    const rlimit limit{options.fileLimit, options.fileLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
  }
  dup2(open("/dev/null", O_RDONLY), 0);
  dup2(out, 1);
  dup2(err, 2);
  if (options.terminal) {
    setenv("TERM", "xterm", 1);
    unsetenv("NO_COLOR");
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& out, const std::string& err, const RunOptions& options) {
  const pid_t pid = fork();
  if (pid == 0)
    Exec(program, args, open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
         open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), options);
  return pid;
}

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& scratch, const RunOptions& options) {
  const std::string out = scratch + "/.out", err = scratch + "/.err";
  Outcome r;
  pid_t pid = -1;
  if (options.terminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
    const std::string slave = ptsname(master);
    pid = fork();
    if (pid == 0)
      Exec(program, args, open(slave.c_str(), O_WRONLY),
           open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), options);
    // Read until the child's side is gone, so that it never blocks.
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) r.out.append(buffer, n);
    close(master);
  } else {
    pid = StartProgram(program, args, out, err, options);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!options.terminal) r.out = Slurp(out);
  r.err = Slurp(err);
  return r;
}

}  // namespace qorvex::testing
