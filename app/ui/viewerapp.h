// The viewer's program start (window layer), shared by the qorvex program
// and the tests that run a second viewer as a process of its own.
#pragma once

#include <functional>

namespace qorvex {

// The environment variable that makes the viewer print
// "first-expose-ns=<CLOCK_MONOTONIC in nanoseconds>" on standard output when
// its main window is first exposed, and then close the window and end as a
// user's close would (for measuring the start-up).
inline constexpr const char* kExitOnExposeVariable = "QORVEX_EXIT_ON_EXPOSE";

// Starts the viewer in the current directory, its program folder: the
// application titled "Qorvex", the message dialogs installed, then the
// main window, then the message loop until the window closes. beforeWindow
// runs once the application exists, just before the window is made.
// Returns the exit code: 0, or 1 when the start failed (the storage driver
// could not start, no settings record, the lexicon held by another program).
int RunViewer(int argc, char** argv, const std::function<void()>& beforeWindow = {});

}  // namespace qorvex
