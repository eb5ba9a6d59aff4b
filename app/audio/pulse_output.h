// The viewer's real sound output (audio layer, beside the window; only the
// viewer links it): decodes a file with libsndfile and plays it through the
// sound server's simple API, returning when the sound has ended.
//
// 1. PlayAndWait never blocks longer than the connection timeout plus the
//    file's length plus kWatchdogGrace: the server calls run on a worker
//    thread that the caller waits for with a deadline.
// 2. No server, a lost one or one that stops answering is an EMediaError.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "app/core/audio_output.h"

namespace qorvex {

class PulseOutput : public AudioOutput {
 public:
  static constexpr std::chrono::milliseconds kConnectTimeout{5000};
  static constexpr std::chrono::milliseconds kWatchdogGrace{2000};

  PulseOutput();
  ~PulseOutput() override;
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  void Close() override;
  void SetFileName(const std::string& path) override { path_ = path; }
  // Opens the file for decoding (any format libsndfile reads).
  void Open() override;
  void PlayAndWait() override;
  void Pause(int ms) override;

 private:
  struct Playback;  // the decoder and the outcome, shared with the worker

  std::string path_;
  std::shared_ptr<Playback> open_;
};

}  // namespace qorvex
