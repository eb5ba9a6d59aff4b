// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output the viewer plays through (core layer, no Qt, no sound
// library): the operations of a media player that plays one file at a time
// and returns when it has finished, and the one error they raise. (Tests
// play through tests/app/recording_output.h.)
#pragma once

#include <stdexcept>
#include <string>

namespace qorvex {

// A file that exists but cannot be opened or played, or no sound server. The
// message (Windows-1252) names the file and the cause; the window shows it
// through its error dialog.
class EMediaError : public std::runtime_error {
 public:
  enum class Step { kOpen, kPlay };
  EMediaError(Step step, const std::string& file, const std::string& reason);
  const std::string& file() const { return file_; }

 private:
  std::string file_;
};

// One sound at a time: Close, SetFileName, Open, PlayAndWait, Close.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Closes whatever is open; harmless when nothing is. Never throws.
  virtual void Close() = 0;
  virtual void SetFileName(const std::string& path) = 0;
  // Opens the file set last. Throws EMediaError.
  virtual void Open() = 0;
  // Plays the open file to its end and only then returns. Throws EMediaError.
  virtual void PlayAndWait() = 0;
  // Waits ms milliseconds (the pause after a Morse character).
  virtual void Pause(int ms) = 0;
};

}  // namespace qorvex
