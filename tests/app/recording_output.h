// SPDX-License-Identifier: GPL-3.0-or-later
// A sound output for tests (test double of the core's AudioOutput): plays
// nothing. Open reads the WAV header (a file that is no WAV raises
// EMediaError, as a player would), PlayAndWait logs "play <file> <ms>" with
// the sound's length, Pause logs "pause <ms>" and returns at once.
#pragma once

#include <string>
#include <vector>

#include "app/core/audio_output.h"
#include "app/core/wavfile.h"

namespace qorvex {

class RecordingOutput : public AudioOutput {
 public:
  void Close() override { open_ = false; }
  void SetFileName(const std::string& path) override { path_ = path; }
  void Open() override {
    open_ = false;
    std::string why;
    if (!ReadWavInfo(path_, info_, why)) throw EMediaError(EMediaError::Step::kOpen, path_, why);
    open_ = true;
  }
  void PlayAndWait() override {
    if (!open_) throw EMediaError(EMediaError::Step::kPlay, path_, "nicht ge\366ffnet");
    log_.push_back("play " + path_ + " " + std::to_string(info_.DurationMs()));
  }
  void Pause(int ms) override { log_.push_back("pause " + std::to_string(ms)); }

  const std::vector<std::string>& log() const { return log_; }
  bool isOpen() const { return open_; }

 private:
  std::string path_;
  bool open_ = false;
  WavInfo info_;
  std::vector<std::string> log_;
};

}  // namespace qorvex
