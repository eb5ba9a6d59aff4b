// The sound output the viewer plays through (core layer, no Qt, no sound
// library): the operations of a media player that plays one file at a time
// and returns when it has finished, the one error they raise, and a
// recording output for tests that logs instead of sounding.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/wavfile.h"

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

// Plays nothing: Open reads the WAV header (a file that is no WAV raises
// EMediaError, as a player would), PlayAndWait logs "play <file> <ms>" with
// the sound's length, Pause logs "pause <ms>" and returns at once.
class RecordingOutput : public AudioOutput {
 public:
  void Close() override { open_ = false; }
  void SetFileName(const std::string& path) override { path_ = path; }
  void Open() override;
  void PlayAndWait() override;
  void Pause(int ms) override;

  const std::vector<std::string>& log() const { return log_; }
  bool isOpen() const { return open_; }

 private:
  std::string path_;
  bool open_ = false;
  WavInfo info_;
  std::vector<std::string> log_;
};

}  // namespace qorvex
