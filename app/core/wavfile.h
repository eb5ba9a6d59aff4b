// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files (RIFF, little-endian): 16-bit mono PCM written by our recording
// generator and read back by tests, and the header facts (length, format) of
// any WAV that the recording output needs (core layer, no sound library).
//
// Layout of a file we write (44-byte header, then the samples):
//   00-03 "RIFF"   04-07 file size - 8   08-11 "WAVE"
//   12-15 "fmt "   16-19 16 (fmt payload size)
//   20-21 format tag 1 (PCM)   22-23 channels 1   24-27 sample rate
//   28-31 bytes per second (rate * 2)   32-33 block align 2   34-35 bits 16
//   36-39 "data"   40-43 sample bytes   44-... samples, signed 16-bit
// Files we read may hold further chunks; each chunk is a 4-byte id, a 32-bit
// payload size and the payload padded to an even length.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorvex {

struct WavInfo {
  uint16_t formatTag = 0;  // 1 = PCM, 3 = float, 0xFFFE = extensible
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t blockAlign = 0;  // bytes per frame
  uint16_t bitsPerSample = 0;
  uint64_t dataOffset = 0;  // where the "data" payload starts in the file
  uint64_t dataBytes = 0;   // its size, cut to what the file holds

  uint64_t Frames() const { return blockAlign == 0 ? 0 : dataBytes / blockAlign; }
  // Length of the sound in milliseconds, rounded.
  int64_t DurationMs() const;
};

std::string EncodeWav16Mono(uint32_t sampleRate, std::span<const int16_t> samples);
bool WriteWav16Mono(const std::string& path, uint32_t sampleRate, std::span<const int16_t> samples,
                    std::string& why);

// Reads the header of any WAV file. False with the reason in why when the file
// cannot be read or is no WAV (no RIFF/WAVE, no usable "fmt " or "data").
bool ReadWavInfo(const std::string& path, WavInfo& info, std::string& why);
// Reads a 16-bit mono PCM file (as we write them).
bool ReadWav16Mono(const std::string& path, WavInfo& info, std::vector<int16_t>& samples,
                   std::string& why);

}  // namespace qorvex
