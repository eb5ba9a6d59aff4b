// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's program start (window layer), shared by the qorvex program
// (app/main.cpp, which builds the session and the sound output) and the
// tests that run a second viewer as a process of its own.
#pragma once

#include <QApplication>
#include <optional>
#include <string>

#include "app/core/audio_output.h"
#include "app/core/lexicon_session.h"

namespace qorvex {

// The environment variable that makes the viewer print
// "first-expose-ns=<CLOCK_MONOTONIC in nanoseconds>" on standard output when
// its main window is first exposed, and then close the window and end as a
// user's close would (for measuring the start-up).
inline constexpr const char* kExitOnExposeVariable = "QORVEX_EXIT_ON_EXPOSE";

// The viewer's command line, read before the application exists, so that
// --help and --version need no display: nothing when the viewer is to
// start, else the exit code after the usage (0), the version (0) or a
// one-line error on standard error (2) has been printed. The viewer takes no
// arguments of its own besides these; Qt's (-platform NAME, -style NAME,
// -reverse, -display DISPLAY, ...) pass on to the application.
std::optional<int> ReadCommandLine(int argc, char** argv);

// The viewer's application: titled "Qorvex", its icon, the font
// substitutions and the message dialogs installed. Make it first: the
// session's messages need it.
class ViewerApplication {
 public:
  ViewerApplication(int& argc, char** argv);
  // Makes the main window on the session and the sound output, shows it and
  // runs the message loop until it closes. The exit code: 0, or 1 when the
  // start failed (the storage driver could not start, no settings record,
  // the lexicon held by another program).
  int Run(LexiconSession& session, AudioOutput& audio);

 private:
  QApplication app_;
};

// The viewer's program folder: the current directory.
std::string ViewerFolder();

// Shows a database error of the session (the window's error dialog).
void ShowSessionError(const EDBError& error);

}  // namespace qorvex
