// SPDX-License-Identifier: GPL-3.0-or-later
// Morse and tone playback through the recording output: which files play in
// which order, the pauses, lookup of the files, and errors ending a word.
#include "app/core/morse.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "tests/app/recording_output.h"
#include "tests/isam/testutil.h"

namespace qorvex::testing {
namespace {

using Log = std::vector<std::string>;

// Runs in a scratch folder as the current directory; at 1000 Hz a file of n
// samples lasts n milliseconds.
class MorseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const std::pair<const char*, int> files[] = {
        {"S.WAV", 480}, {"O.WAV", 840}, {"C.WAV", 720},      {"Q.WAV", 780},     {"D.WAV", 420},
        {"L.WAV", 540}, {"A.WAV", 360}, {"STRICH.WAV", 660}, {"FRAGEZ.WAV", 720}};
    for (const auto& [name, ms] : files) Wav(name, ms);
  }
  void TearDown() override { std::filesystem::current_path(old_); }

  static void Wav(const std::string& path, int ms) {
    std::string why;
    ASSERT_TRUE(WriteWav16Mono(path, 1000, std::vector<int16_t>(ms, 0), why)) << why;
  }

  TempDir dir_;
  std::filesystem::path old_;
};

TEST_F(MorseTest, WordsPlayTheirRecordingsWithThePauseAfterEach) {
  // The text, the fast mode or not, what plays.
  // clang-format off
  const std::tuple<std::string, bool, Log> cases[] = {
      {"SOS ", true, {"play S.WAV 480", "pause 10", "play O.WAV 840", "pause 10", "play S.WAV 480",
                      "pause 10", "pause 10"}},
      {"CQ/DL?", false, {"play C.WAV 720", "pause 100", "play Q.WAV 780", "pause 100",
                         "play STRICH.WAV 660", "pause 100", "play D.WAV 420", "pause 100",
                         "play L.WAV 540", "pause 100", "play FRAGEZ.WAV 720", "pause 100"}},
      // Outside the set: no sound, no pause. "b" has no recording: only its pause.
      // A lower-case letter finds the upper-case recording.
      {"-a:\xE4\xC4~b\t", true, {"play A.WAV 360", "pause 10", "pause 10"}},
      {"", true, {}},
  };
  // clang-format on
  for (const auto& [text, fast, log] : cases) {
    RecordingOutput out;
    PlayMorseText(text, fast, out);
    EXPECT_EQ(out.log(), log) << text;
    EXPECT_EQ(CharPause, fast ? 10 : 100);
    EXPECT_FALSE(out.isOpen());
  }
}

TEST_F(MorseTest, AFileThatIsNoWavEndsTheWord) {
  isam::testing::WriteAll("X.WAV", {'n', 'o', ' ', 'w', 'a', 'v', 'e'});
  RecordingOutput out;
  try {
    PlayMorseText("AXS", true, out);
    FAIL() << "no error";
  } catch (const EMediaError& e) {
    EXPECT_EQ(e.file(), "X.WAV");
    EXPECT_EQ(std::string(e.what()),
              "Tondatei konnte nicht ge\366ffnet werden: X.WAV: keine WAV-Datei");
  }
  EXPECT_EQ(out.log(), (Log{"play A.WAV 360", "pause 10"})) << "no pause after X, no S";
  EXPECT_FALSE(out.isOpen());
}

TEST_F(MorseTest, ToneFilesAreFoundWhereTheirNamePoints) {
  TempDir other;
  std::filesystem::create_directory("sub");
  Wav("sub/TON.WAV", 1000);
  Wav("Ruf.wav", 1500);
  Wav(other / "TON1000.WAV", 1000);
  Wav(other / "ONLYTHERE.WAV", 1000);
  using Case = std::pair<std::string, Log>;  // a name, what plays
  const Case cases[] = {
      {"Ruf.wav", {"play Ruf.wav 1500"}},
      {"RUF.WAV", {"play Ruf.wav 1500"}},  // the file system of the lexicon's authors ignores case
      {"sub/ton.wav", {"play sub/TON.WAV 1000"}},
      {other / "TON1000.WAV", {"play " + other / "TON1000.WAV" + " 1000"}},
      {other / "ton1000.wav", {"play " + other / "TON1000.WAV" + " 1000"}},
      {"ONLYTHERE.WAV", {}},  // relative names look only in the current directory
      {"NICHTDA.WAV", {}},    // missing: nothing, no message
      {"sub", {}},            // a folder is no sound
      {other.path() + "/", {}},
      {"", {}},
  };
  for (const auto& [name, log] : cases) {
    RecordingOutput out;
    PlayWaveFile(name, out);
    EXPECT_EQ(out.log(), log) << name;
  }
  // A tone word's name as stored: Windows-1252, maybe a Windows path; it
  // reaches the output as the file's name on disk.
  std::filesystem::create_directory("Klang");
  Wav("Klang/Ton1.wav", 700);
  Wav("T\xC3\xB6n.wav", 600);  // "Tön.wav" named in UTF-8
  const Case tones[] = {
      {"T\xF6n.wav", {"play T\xC3\xB6n.wav 600"}},
      {"t\xF6n.WAV", {"play T\xC3\xB6n.wav 600"}},
      {"klang\\ton1.wav", {"play Klang/Ton1.wav 700"}},
      {"sub\\TON.WAV", {"play sub/TON.WAV 1000"}},
      {"klang\\", {}},
  };
  for (const auto& [name, log] : tones) {
    RecordingOutput out;
    PlayToneFile(name, out);
    EXPECT_EQ(out.log(), log) << name;
  }
}

}  // namespace
}  // namespace qorvex::testing
