// SPDX-License-Identifier: GPL-3.0-or-later
// Child processes for the tests that run programs; see run_program.h.
#include "tests/tools/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string_view>

namespace qorvex::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The arguments and variables of a child, made before fork: the child of a
// threaded process may only call what is safe after fork.
struct Command {
  Command(const std::string& program, const std::vector<std::string>& args,
          const RunOptions& options)
      : strings(args), vars(options.env) {
    strings.insert(strings.begin(), program);
    if (options.terminal) vars.insert(vars.begin(), "TERM=xterm");
    for (char** e = environ; *e != nullptr; ++e)
      if (!options.terminal || !std::string_view(*e).starts_with("NO_COLOR=")) vars.push_back(*e);
    for (std::string& a : strings) argv.push_back(a.data());
    for (std::string& v : vars) envp.push_back(v.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
  }
  std::vector<std::string> strings, vars;
  std::vector<char*> argv, envp;
};

// In the child: never returns.
[[noreturn]] void Exec(const Command& c, int out, int err, const RunOptions& options) {
  if (options.fileLimit != 0) {
    const rlimit limit{options.fileLimit, options.fileLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
  }
  dup2(open(options.in.c_str(), O_RDONLY), 0);
  dup2(out, 1);
  dup2(err, 2);
  execvpe(c.argv[0], c.argv.data(), c.envp.data());
  _exit(127);
}

}  // namespace

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& out, const std::string& err, const RunOptions& options) {
  const Command command(program, args, options);
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Exec(command, o, err == out ? o : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
         options);
  }
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
    const Command command(program, args, options);
    pid = fork();
    if (pid == 0)
      Exec(command, open(slave.c_str(), O_WRONLY),
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

Outcome FolderTool::operator()(std::vector<std::string> args, const RunOptions& options) const {
  args.insert(args.begin(), {"--dir", dir_});
  return RunProgram(program_, args, scratch_, options);
}

int FolderTool::Import(const std::string& bytes) const {
  const std::string file = scratch_ + "/import.csv";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  return (*this)({"import", file}).code;
}

}  // namespace qorvex::testing
