// SPDX-License-Identifier: GPL-3.0-or-later
// audio_exit_probe: ends the process while the real sound output has just
// given up on a server that never answers, as the viewer does when its
// window system goes away under an open error dialog.
//
//   usage: audio_exit_probe exit|return SOCKET RECORDINGS
//
// SOCKET is made a listening socket that never answers; RECORDINGS holds
// E.WAV. "exit" calls exit() with the output still alive (never destroyed,
// like a window that exit() skips); "return" returns from main with the
// output a static object. The last thing the process does is check that it
// runs on its one thread: a thread left inside the sound library while
// the libraries tear down is what crashes a program at exit. Exit code 0
// when all went so; 3 when threads were left; 2 when the play did not fail
// as expected; 1 on bad usage.
#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/audio/pulse_output.h"
#include "app/core/morse.h"

namespace {

int Threads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// Constructed before main, so destroyed after everything main registers
// for the process's end.
struct LastAtExit {
  ~LastAtExit() {
    const int n = Threads();
    if (n == 1) return;
    std::fprintf(stderr, "%d threads still running at exit\n", n);
    _exit(3);
  }
} last;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  const std::string mode = argv[1];
  const int silent = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", argv[2]);
  if (bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(silent, 4) != 0)
    return 1;
  setenv("PULSE_SERVER", (std::string("unix:") + argv[2]).c_str(), 1);
  if (chdir(argv[3]) != 0) return 1;

  qorvex::PulseOutput* out;
  if (mode == "exit") {
    out = new qorvex::PulseOutput;  // never freed
  } else {
    static qorvex::PulseOutput owned;
    out = &owned;
  }
  try {
    qorvex::PlayWaveFile("E.WAV", *out);
    return 2;
  } catch (const qorvex::EMediaError& e) {
    if (std::strstr(e.what(), "antwortet nicht") == nullptr) return 2;
  }
  if (mode == "exit") std::exit(0);
  return 0;
}
