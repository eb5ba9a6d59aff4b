// SPDX-License-Identifier: GPL-3.0-or-later
// One open of a program folder's storage (core layer): starts the storage
// driver as the programs do, makes the settings record when it is missing,
// opens the lexicon; closes everything in reverse order. The one open path
// of the viewer, qorvex-db, the benchmarks and the tests.
//
// 1. Nothing throws out of it: a database error of a step goes to the
//    report given (the viewer shows it, the tool prints it), and the state
//    says how far the open came.
// 2. A lexicon that another program holds is the state kLexiconHeld, with
//    nothing written and the lexicon closed again.
// 3. The destructor closes what the constructor opened, in reverse order,
//    each step even when one before it failed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "storage/dblex.h"

namespace qorvex {

struct SessionOptions {
  bool settings = true;  // make the settings record when it is missing (the viewer)
  bool lexicon = true;   // open the lexicon
};

// Where a session's database errors go.
using SessionReport = std::function<void(const EDBError& error)>;

class LexiconSession {
 public:
  enum class State {
    kOpen,           // the driver runs, the lexicon (when asked for) is open
    kDriverFailed,   // the driver did not start: nothing is open
    kLexiconHeld,    // another program holds the lexicon: the driver runs
    kLexiconFailed,  // the lexicon object could not be made: the driver runs
  };

  // folder: the program folder (its files resolve against it).
  explicit LexiconSession(const std::string& folder, SessionOptions options = {},
                          SessionReport report = {});
  ~LexiconSession();
  LexiconSession(const LexiconSession&) = delete;
  LexiconSession& operator=(const LexiconSession&) = delete;

  State state() const { return state_; }
  // The settings record exists (after an open that asked for it).
  bool settingsReady() const { return settingsReady_; }
  // The lexicon, or nullptr when it is not open.
  TdbLex* lexicon() { return lex_.get(); }
  // Closes the lexicon before the driver stops (the viewer writes its
  // placement in between). Idempotent.
  void CloseLexicon();

 private:
  // Runs one step; a database error goes to the report. True when it ran through.
  template <typename Step>
  bool Run(Step&& step);

  SessionReport report_;
  State state_ = State::kDriverFailed;
  bool driverStarted_ = false;
  bool lexiconAttached_ = false;
  bool settingsReady_ = false;
  std::unique_ptr<TdbLex> lex_;
};

}  // namespace qorvex
