// The media error and the recording output; see audio_output.h.
#include "app/core/audio_output.h"

namespace qorvex {
namespace {

std::string MediaMessage(EMediaError::Step step, const std::string& file,
                         const std::string& reason) {
  const char* what = step == EMediaError::Step::kOpen ? "Tondatei konnte nicht ge\xF6"
                                                        "ffnet werden: "
                                                      : "Tondatei konnte nicht abgespielt werden: ";
  return what + file + ": " + reason;
}

}  // namespace

EMediaError::EMediaError(Step step, const std::string& file, const std::string& reason)
    : std::runtime_error(MediaMessage(step, file, reason)), file_(file) {}

void RecordingOutput::Open() {
  open_ = false;
  std::string why;
  if (!ReadWavInfo(path_, info_, why)) throw EMediaError(EMediaError::Step::kOpen, path_, why);
  open_ = true;
}

void RecordingOutput::PlayAndWait() {
  if (!open_)
    throw EMediaError(EMediaError::Step::kPlay, path_,
                      "nicht ge\xF6"
                      "ffnet");
  log_.push_back("play " + path_ + " " + std::to_string(info_.DurationMs()));
}

void RecordingOutput::Pause(int ms) {
  log_.push_back("pause " + std::to_string(ms));
}

}  // namespace qorvex
