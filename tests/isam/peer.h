// SPDX-License-Identifier: GPL-3.0-or-later
// The parent's side of a peer station (peer.cpp): a child process started
// with fork and exec, driven one command line at a time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>

#ifndef QORVEX_PEER
#error "QORVEX_PEER names the peer program"
#endif

namespace qorvex::isam::testing {

struct Answer {
  int32_t error = -1;  // -1: no answer (the peer died or timed out)
  int64_t value = 0;
  int64_t ms = 0;
};

class Peer {
 public:
  // arg: an argument to start the peer program with.
  explicit Peer(const std::string& arg = {}) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      // An empty arg ends the argument list at once.
      execl(QORVEX_PEER, QORVEX_PEER, arg.empty() ? nullptr : arg.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
  }
  ~Peer() {
    Kill();
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  void Send(const std::string& command) {
    const std::string line = command + "\n";
    (void)!write(in_, line.data(), line.size());
  }
  // The next line the peer writes, or "" after timeoutMs or at its end.
  std::string ReadLine(int timeoutMs = 30000) {
    for (;;) {
      const size_t nl = buffered_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffered_.substr(0, nl);
        buffered_.erase(0, nl + 1);
        return line;
      }
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return {};
      char chunk[4096];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffered_.append(chunk, static_cast<size_t>(n));
    }
  }
  Answer Ask(const std::string& command, int timeoutMs = 60000) {
    Send(command);
    return Reply(timeoutMs);
  }
  // The answer to a command sent before.
  Answer Reply(int timeoutMs = 60000) {
    Answer a;
    std::istringstream(ReadLine(timeoutMs)) >> a.error >> a.value >> a.ms;
    return a;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // Waits for the peer to end by itself; its exit status.
  int Wait() {
    int status = 0;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buffered_;
};

}  // namespace qorvex::isam::testing
