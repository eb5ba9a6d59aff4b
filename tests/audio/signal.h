// SPDX-License-Identifier: GPL-3.0-or-later
// Reading sounds back in tests: the samples of a recording, where a signal
// sounds, and its pitch.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/core/wavfile.h"

namespace qorvex::testing {

// Milliseconds of samples at 44100 Hz.
inline double Ms(double samples) {
  return samples * 1000 / 44100;
}

// A recording's samples; it must be 16-bit mono at 44100 Hz.
inline std::vector<int16_t> ReadWav(const std::string& path) {
  WavInfo info;
  std::vector<int16_t> s;
  std::string why;
  EXPECT_TRUE(ReadWav16Mono(path, info, s, why)) << path << ": " << why;
  EXPECT_EQ(info.sampleRate, 44100u) << path;
  return s;
}

// [begin, end) of samples; end follows the last audible sample.
struct Span {
  size_t begin, end;
};

// Stretches where |s| >= loud, split by at least gap quieter samples.
inline std::vector<Span> Sounding(const std::vector<int16_t>& s, int loud, size_t gap = 88) {
  std::vector<Span> spans;
  size_t quiet = gap;
  for (size_t i = 0; i < s.size(); ++i) {
    if (std::abs(s[i]) < loud) {
      ++quiet;
      continue;
    }
    if (quiet >= gap) spans.push_back({i, i + 1});
    spans.back().end = i + 1;
    quiet = 0;
  }
  return spans;
}

// Frequency in Hz from the rising zero crossings inside the spans,
// interpolated between samples; 0 when there are too few.
inline double Pitch(const std::vector<int16_t>& s, const std::vector<Span>& spans, double rate) {
  double periods = 0, samples = 0;
  for (const Span& r : spans) {
    double first = -1, last = 0;
    int n = 0;
    for (size_t i = r.begin + 1; i < r.end; ++i) {
      if (s[i - 1] >= 0 || s[i] < 0) continue;
      last = double(i - 1) + double(-s[i - 1]) / (s[i] - s[i - 1]);
      if (first < 0) first = last;
      ++n;
    }
    if (n > 1) periods += n - 1, samples += last - first;
  }
  return samples > 0 ? periods * rate / samples : 0;
}

}  // namespace qorvex::testing
