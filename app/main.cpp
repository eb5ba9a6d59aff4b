// qorvex: the viewer, a glossary of amateur-radio terms with a German user
// interface. Takes no arguments; its program folder is the current
// directory, where it keeps its lexicon and settings files and finds the
// delivery file ZEL_LEX.CSV and the WAV recordings.
#include "app/ui/viewerapp.h"

int main(int argc, char** argv) {
  return qorvex::RunViewer(argc, argv);
}
