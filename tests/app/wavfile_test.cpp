// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files: the exact bytes we write, and what the header reader makes of
// damaged or unusual files.
#include "app/core/wavfile.h"

#include <gtest/gtest.h>

#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

TEST(WavFileTest, EncodesA44ByteHeaderThenTheSamples) {
  const int16_t samples[] = {1, -2, 0x1234};
  const std::string expected(
      "RIFF\x2A\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0"
      "data\x06\0\0\0\x01\0\xFE\xFF\x34\x12",
      50);
  EXPECT_EQ(EncodeWav16Mono(44100, samples), expected);
}

// Little-endian chunk builders for the damaged files below.
std::string U32(uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string Chunk(const std::string& id, const std::string& body, uint32_t size) {
  return id + U32(size) + body;
}
std::string Fmt(uint16_t channels, uint32_t rate, uint16_t align) {
  std::string f{1, 0, char(channels), char(channels >> 8)};
  f += U32(rate) + U32(rate * align) + std::string{char(align), 0, 16, 0};
  return Chunk("fmt ", f, 16);
}

TEST(WavFileTest, ReadsTheHeaderOfWhatEverTheFileHolds) {
  TempDir dir;
  const std::string riff = "RIFF" + U32(0) + "WAVE";
  const std::string data8 = Chunk("data", std::string(8, '\0'), 8);
  // What, the bytes, read or not, the frames when read, else the problem.
  const std::tuple<const char*, std::string, bool, uint64_t, std::string> cases[] = {
      {"plain", riff + Fmt(1, 8000, 2) + data8, true, 4, ""},
      {"stereo frames", riff + Fmt(2, 8000, 4) + data8, true, 2, ""},
      {"odd chunk padded before fmt",
       riff + Chunk("LIST", std::string("abc\0", 4), 3) + Fmt(1, 8000, 2) + data8, true, 4, ""},
      {"data cut to the file",
       riff + Fmt(1, 8000, 2) + Chunk("data", std::string("\1\0\2\0", 4), 1000), true, 2, ""},
      {"empty file", "", false, 0, "keine WAV-Datei"},
      {"not RIFF", "RIFX" + U32(0) + "WAVE" + Fmt(1, 8000, 2) + data8, false, 0, "keine WAV-Datei"},
      {"no fmt", riff + data8, false, 0, "WAV-Datei ohne g\xFCltiges Format"},
      {"fmt too short", riff + Chunk("fmt ", "\1\0\1\0", 4) + data8, false, 0,
       "WAV-Datei ohne g\xFCltiges Format"},
      {"zero rate", riff + Fmt(1, 0, 2) + data8, false, 0, "WAV-Datei ohne g\xFCltiges Format"},
      {"zero block align", riff + Fmt(1, 8000, 0) + data8, false, 0,
       "WAV-Datei ohne g\xFCltiges Format"},
      {"no data", riff + Fmt(1, 8000, 2), false, 0, "WAV-Datei ohne Daten"},
      {"chunk size past the end", riff + Chunk("junk", "", 0xFFFFFFF0) + Fmt(1, 8000, 2) + data8,
       false, 0, "WAV-Datei ohne g\xFCltiges Format"},
  };
  for (const auto& [what, bytes, ok, frames, problem] : cases) {
    const std::string path = dir / "f.wav";
    WriteAll(path, Bytes(bytes.begin(), bytes.end()));
    WavInfo info;
    std::string why;
    EXPECT_EQ(ReadWavInfo(path, info, why), ok) << what;
    if (ok)
      EXPECT_EQ(info.Frames(), frames) << what;
    else
      EXPECT_EQ(why, problem) << what;
  }
  WavInfo info;
  std::string why;
  EXPECT_FALSE(ReadWavInfo(dir / "missing.wav", info, why));
  EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
}  // namespace qorvex::testing
