// SPDX-License-Identifier: GPL-3.0-or-later
// The storage session of a program folder; see lexicon_session.h.
#include "app/core/lexicon_session.h"

#include "app/core/window_placement.h"
#include "diag/storage_startup.h"
#include "isam/status.h"
#include "support/file_lookup.h"

namespace qorvex {

template <typename Step>
bool LexiconSession::Run(Step&& step) {
  try {
    step();
    return true;
  } catch (const EDBError& error) {
    if (report_) report_(error);
    return false;
  }
}

LexiconSession::LexiconSession(const std::string& folder, SessionOptions options,
                               SessionReport report)
    : report_(std::move(report)) {
  SetProgramFolder(folder.ends_with('/') ? folder : folder + "/");
  if (!Run([&] { driverStarted_ = InitFileManager(); }) || !driverStarted_) {
    driverStarted_ = false;
    return;
  }
  state_ = State::kOpen;
  if (options.settings) Run([&] { settingsReady_ = EnsureSettingsRecord(); });
  if (!options.lexicon) return;
  lexiconAttached_ = Run([] { DatLex.Open(SlotBit(0)); });
  if (!Run([&] { lex_ = std::make_unique<TdbLex>(0); }) || !lex_) {
    state_ = State::kLexiconFailed;
    return;
  }
  // The first access opens the block unshared: refused (in use) while
  // another program holds it, before anything could be written. Without
  // its files nobody holds it; the first operation that needs them makes
  // them.
  if (!FileBaseSS.FileExists(ProgramFolder() + kLexBlockName + ".DAT") &&
      !FileBaseSS.FileExists(ProgramFolder() + kLexBlockName + ".SAV"))
    return;
  try {
    lex_->First(2);
  } catch (const EDBError& error) {
    const TErrorEntry* worst = CurrentDebugStack().Worst();
    if (worst != nullptr && worst->number == kErrFile) {
      CurrentDebugStack().Clear();  // a state, not a failure: no dump for it
      CloseLexicon();
      state_ = State::kLexiconHeld;
      return;
    }
    if (report_) report_(error);  // the lexicon stays open: the caller goes on
  }
}

void LexiconSession::CloseLexicon() {
  Run([&] { lex_.reset(); });
  if (lexiconAttached_) Run([] { DatLex.Close(SlotBit(0), true); });
  lexiconAttached_ = false;
}

LexiconSession::~LexiconSession() {
  CloseLexicon();
  if (driverStarted_) Run([] { DoneFileManager(); });
}

}  // namespace qorvex
