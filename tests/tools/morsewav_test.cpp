// SPDX-License-Identifier: GPL-3.0-or-later
// The generated recordings, read back: the Morse code and rhythm of every
// character, the pitch, and that no sound starts or ends with a click.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>
#include <vector>

#include "app/core/morse.h"
#include "app/core/wavfile.h"
#include "tests/audio/signal.h"
#include "tests/isam/testutil.h"
#include "tests/tools/run_program.h"

namespace qorvex::testing {
namespace {

constexpr double kRate = 44100;
constexpr double kPeak = 0.5 * 32767;  // every single tone's level

int Generate(const std::vector<std::string>& args) {
  TempDir scratch;
  return RunProgram(QORVEX_MORSEWAV, args, scratch.path()).code;
}

// Amplitude of the component at hz (in units of full scale).
double Amplitude(const std::vector<int16_t>& s, double hz) {
  std::complex<double> sum;
  for (size_t i = 0; i < s.size(); ++i)
    sum += double(s[i]) * std::polar(1.0, -2 * std::numbers::pi * hz * i / kRate);
  return 2 * std::abs(sum) / s.size() / 32767;
}

// A click: a sound that does not rise or fall over its 5 ms ramp. After 1 ms
// the raised cosine is below 10 % of the level.
void ExpectRamped(const std::vector<int16_t>& s, Span r, const std::string& what) {
  const size_t ms = 44;
  int head = 0, tail = 0;
  for (size_t i = 0; i < ms && i < r.end - r.begin; ++i) {
    head = std::max(head, std::abs(int(s[r.begin + i])));
    tail = std::max(tail, std::abs(int(s[r.end - 1 - i])));
  }
  EXPECT_LT(head, 0.15 * kPeak) << what << " starts with a click";
  EXPECT_LT(tail, 0.15 * kPeak) << what << " ends with a click";
}

class MorseWavTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ASSERT_EQ(Generate({dir_->path()}), 0);
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::vector<int16_t> Read(const std::string& name) {
    const std::vector<int16_t> s = ReadWav(*dir_ / name);
    if (!s.empty()) {
      EXPECT_LE(std::abs(s.front()), 1) << name;
      EXPECT_LE(std::abs(s.back()), 1) << name;
    }
    return s;
  }

  static inline TempDir* dir_ = nullptr;
};

TEST_F(MorseWavTest, EveryCharacterSpellsItsCodeAtTwentyWordsPerMinute) {
  const std::pair<char, std::string> codes[] = {
      {'A', ".-"},    {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},    {'E', "."},
      {'F', "..-."},  {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},
      {'K', "-.-"},   {'L', ".-.."},   {'M', "--"},     {'N', "-."},     {'O', "---"},
      {'P', ".--."},  {'Q', "--.-"},   {'R', ".-."},    {'S', "..."},    {'T', "-"},
      {'U', "..-"},   {'V', "...-"},   {'W', ".--"},    {'X', "-..-"},   {'Y', "-.--"},
      {'Z', "--.."},  {'0', "-----"},  {'1', ".----"},  {'2', "..---"},  {'3', "...--"},
      {'4', "....-"}, {'5', "....."},  {'6', "-...."},  {'7', "--..."},  {'8', "---.."},
      {'9', "----."}, {'+', ".-.-."},  {',', "--..--"}, {'.', ".-.-.-"}, {'/', "-..-."},
      {'=', "-...-"}, {'?', "..--.."},
  };
  EXPECT_EQ(std::size(codes) + 1, kMorseChars.size()) << "every character but the blank";
  for (const auto& [c, code] : codes) {
    const std::string name = *MorseFileName(c);
    const std::vector<int16_t> s = Read(name);
    const std::vector<Span> runs = Sounding(s, 2);
    double expectMs = 180;  // the gap after the character
    std::string heard;
    for (size_t k = 0; k < runs.size(); ++k) {
      const double tone = Ms(runs[k].end - runs[k].begin);
      heard += std::abs(tone - 60) < 1 ? '.' : std::abs(tone - 180) < 1 ? '-' : '?';
      if (k > 0) {
        EXPECT_NEAR(Ms(runs[k].begin - runs[k - 1].end), 60, 1) << name;
      }
      ExpectRamped(s, runs[k], name);
    }
    for (char e : code) expectMs += (e == '-' ? 180 : 60) + 60;
    expectMs -= 60;
    EXPECT_EQ(heard, code) << name;
    EXPECT_EQ(Ms(s.size()), expectMs) << name;
    ASSERT_FALSE(runs.empty());
    EXPECT_NEAR(Ms(runs.front().begin), 0, 0.1) << name;
    EXPECT_NEAR(Ms(s.size() - runs.back().end), 180, 0.1) << name;
    EXPECT_NEAR(Pitch(s, runs, kRate), 600, 12) << name;
  }
  EXPECT_EQ(Ms(Read("E.WAV").size()), 60 + 180);
  EXPECT_EQ(Ms(Read("T.WAV").size()), 180 + 180);
}

TEST_F(MorseWavTest, ToneFilesHaveTheirPitchAndLength) {
  for (auto [name, ms, hz] : {std::tuple<std::string, double, double>{"TON1000.WAV", 1000, 1000},
                              {"1750HZ.WAV", 1000, 1750},
                              {"TON600.WAV", 2000, 600}}) {
    const std::vector<int16_t> s = Read(name);
    EXPECT_EQ(Ms(s.size()), ms) << name;
    const std::vector<Span> runs = Sounding(s, 2);
    ASSERT_EQ(runs.size(), 1u) << name;
    EXPECT_NEAR(Pitch(s, runs, kRate), hz, hz * 0.02) << name;
    EXPECT_NEAR(Amplitude(s, hz), 0.5, 0.01) << name;
    ExpectRamped(s, runs[0], name);
  }

  const std::vector<int16_t> two = Read("ZWEITON.WAV");
  EXPECT_EQ(Ms(two.size()), 2000);
  EXPECT_NEAR(Amplitude(two, 700), 0.45, 0.01);
  EXPECT_NEAR(Amplitude(two, 1900), 0.45, 0.01);
  EXPECT_LT(Amplitude(two, 1300), 0.01);
  ExpectRamped(two, {0, two.size()}, "ZWEITON.WAV");

  // RTTY: 0.2 s of mark, then mark and space alternate at 45.45 baud.
  const std::vector<int16_t> rtty = Read("RTTY.WAV");
  EXPECT_EQ(Ms(rtty.size()), 2000);
  EXPECT_NEAR(Pitch(rtty, {{441, 8379}}, kRate), 2125, 2125 * 0.02) << "the mark lead-in";
  const std::vector<int16_t> space(rtty.begin() + 8820, rtty.begin() + 8820 + 970);
  EXPECT_NEAR(Pitch(space, {{0, space.size()}}, kRate), 2295, 2295 * 0.02) << "the first start bit";
  ExpectRamped(rtty, {0, rtty.size()}, "RTTY.WAV");
}

TEST(MorseWavUsageTest, WrongArgumentsAreAUsageError) {
  EXPECT_EQ(Generate({}), 2);
  EXPECT_EQ(Generate({"a", "b"}), 2);
  EXPECT_EQ(Generate({"/proc/no/such/folder"}), 1);
}

}  // namespace
}  // namespace qorvex::testing
