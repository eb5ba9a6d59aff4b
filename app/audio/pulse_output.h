// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's real sound output (audio layer, beside the window; only the
// viewer links it): decodes a file with libsndfile and plays it through the
// sound server, returning when the sound has ended.
//
// 1. One connection and one stream, made in the background when the output
//    is made and kept (corked between sounds) for its life: a sink that
//    idles at a long latency takes up the stream's small one once, not at
//    every character, so a Morse word keeps the rhythm of its recordings.
// 2. PlayAndWait never blocks longer than the connection timeout plus the
//    watchdog's deadline (the sound's length plus the latency the server
//    reports plus kWatchdogGrace, moved on only while the server plays on).
//    No server, a lost one or one that stops answering is an EMediaError.
// 3. No thread of the output is ever left blocked in a server call, and
//    none runs once the process has begun to end (see pulse_output.cpp).
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

  // Starts connecting to the sound server; never waits for it.
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
  struct Sound;  // an open file
  class Server;  // the server's thread, the connection and the stream

  std::string path_;
  std::unique_ptr<Sound> open_;
  std::unique_ptr<Server> server_;
};

}  // namespace qorvex
