// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex: the viewer, a glossary of amateur-radio terms with a German user
// interface. Takes no arguments but --help, --version and Qt's own; its
// program folder is the current directory, where it keeps its lexicon and
// settings files and finds the delivery file ZEL_LEX.CSV and the WAV
// recordings.
//
// The composition root: the application, then the storage session of the
// folder and the sound output, handed to the window; they end in reverse.
#include "app/audio/pulse_output.h"
#include "app/core/lexicon_session.h"
#include "app/ui/viewerapp.h"

int main(int argc, char** argv) {
  if (const std::optional<int> code = qorvex::ReadCommandLine(argc, argv)) return *code;
  qorvex::ViewerApplication app(argc, argv);
  qorvex::LexiconSession session(qorvex::ViewerFolder(), {}, qorvex::ShowSessionError);
  qorvex::PulseOutput audio;
  return app.Run(session, audio);
}
