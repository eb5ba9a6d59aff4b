// SPDX-License-Identifier: GPL-3.0-or-later
// qorvex-morsewav: writes the recordings the viewer plays, one WAV per Morse
// character (the blank has none) and the tone files the sample lexicon names;
// the build runs it into its data folder.
//
//   usage: qorvex-morsewav FOLDER
//
// Every file is 16-bit mono PCM at 44100 Hz; every tone starts and ends with
// a 5 ms raised-cosine ramp, so no file clicks. Morse: 600 Hz at 20 words per
// minute (dot 60 ms, dash 180 ms, 60 ms between the elements of a character),
// each file ending with the 180 ms gap between characters.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "app/core/morse.h"
#include "app/core/wavfile.h"

namespace qorvex {
namespace {

constexpr uint32_t kRate = 44100;
constexpr double kFullScale = 32767;
constexpr double kLevel = 0.5;  // of full scale, for every single tone
constexpr double kRampMs = 5;

constexpr double kMorsePitch = 600;
constexpr double kDotMs = 60, kDashMs = 180, kElementGapMs = 60, kCharGapMs = 180;

struct MorseCode {
  char c;
  const char* elements;
};
// The international code of every character of the player's set but the blank.
constexpr MorseCode kCodes[] = {
    {'+', ".-.-."},  {',', "--..--"}, {'.', ".-.-.-"}, {'/', "-..-."}, {'0', "-----"},
    {'1', ".----"},  {'2', "..---"},  {'3', "...--"},  {'4', "....-"}, {'5', "....."},
    {'6', "-...."},  {'7', "--..."},  {'8', "---.."},  {'9', "----."}, {'=', "-...-"},
    {'?', "..--.."}, {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},  {'D', "-.."},
    {'E', "."},      {'F', "..-."},   {'G', "--."},    {'H', "...."},  {'I', ".."},
    {'J', ".---"},   {'K', "-.-"},    {'L', ".-.."},   {'M', "--"},    {'N', "-."},
    {'O', "---"},    {'P', ".--."},   {'Q', "--.-"},   {'R', ".-."},   {'S', "..."},
    {'T', "-"},      {'U', "..-"},    {'V', "...-"},   {'W', ".--"},   {'X', "-..-"},
    {'Y', "-.--"},   {'Z', "--.."},
};

size_t Samples(double ms) {
  return static_cast<size_t>(std::lround(ms * kRate / 1000));
}

// Signal values in units of full scale.
using Signal = std::vector<double>;

// Raised-cosine rise over the first and fall over the last kRampMs; the first
// and the last sample become 0.
void ApplyRamps(double* s, size_t n) {
  const size_t ramp = std::min(Samples(kRampMs), n / 2);
  for (size_t i = 0; i < ramp; ++i) {
    const double w = 0.5 * (1 - std::cos(std::numbers::pi * static_cast<double>(i) / ramp));
    s[i] *= w;
    s[n - 1 - i] *= w;
  }
}

// Appends ms of a signal whose value at sample i is wave(i), ramped.
void AppendTone(Signal& s, double ms, const std::function<double(size_t)>& wave) {
  const size_t start = s.size(), n = Samples(ms);
  for (size_t i = 0; i < n; ++i) s.push_back(wave(i));
  ApplyRamps(s.data() + start, n);
}

std::function<double(size_t)> Sine(double hz, double level = kLevel) {
  return [=](size_t i) { return level * std::sin(2 * std::numbers::pi * hz * i / kRate); };
}

void AppendSilence(Signal& s, double ms) {
  s.resize(s.size() + Samples(ms), 0.0);
}

Signal MorseSignal(const char* elements) {
  Signal s;
  for (const char* e = elements; *e != '\0'; ++e) {
    if (e != elements) AppendSilence(s, kElementGapMs);
    AppendTone(s, *e == '-' ? kDashMs : kDotMs, Sine(kMorsePitch));
  }
  AppendSilence(s, kCharGapMs);
  return s;
}

// RTTY test signal: 45.45 baud, mark 2125 Hz, space 2295 Hz, continuous
// phase; 0.2 s of mark, then "RYRYRYRY" in the 5-bit teleprinter code (a
// space start bit, the five data bits lowest first, 1.5 mark stop bits), then
// mark to 2 s. R is 01010 and Y 10101, lowest bit first (1 = mark).
Signal RttySignal() {
  constexpr double kBaud = 45.45, kMark = 2125, kSpace = 2295, kLeadMs = 200, kTotalMs = 2000;
  std::vector<bool> halves;  // mark or space per half bit
  auto send = [&](bool mark, int count) { halves.insert(halves.end(), count, mark); };
  for (int k = 0; k < 8; ++k) {
    send(false, 2);
    for (char bit : std::string(k % 2 == 0 ? "01010" : "10101")) send(bit == '1', 2);
    send(true, 3);
  }
  const size_t lead = Samples(kLeadMs), total = Samples(kTotalMs);
  double phase = 0;
  Signal s(total);
  for (size_t i = 0; i < total; ++i) {
    bool mark = true;
    if (i >= lead) {
      const auto half = static_cast<size_t>((i - lead) * 2 * kBaud / kRate);
      if (half < halves.size()) mark = halves[half];
    }
    s[i] = kLevel * std::sin(phase);
    phase = std::fmod(phase + 2 * std::numbers::pi * (mark ? kMark : kSpace) / kRate,
                      2 * std::numbers::pi);
  }
  ApplyRamps(s.data(), s.size());
  return s;
}

std::vector<int16_t> Pcm(const Signal& s) {
  std::vector<int16_t> pcm(s.size());
  for (size_t i = 0; i < s.size(); ++i)
    pcm[i] = static_cast<int16_t>(std::lround(std::clamp(s[i], -1.0, 1.0) * kFullScale));
  return pcm;
}

bool Write(const std::string& folder, const std::string& name, const Signal& s) {
  std::string why;
  if (WriteWav16Mono(folder + "/" + name, kRate, Pcm(s), why)) return true;
  std::fprintf(stderr, "qorvex-morsewav: %s/%s: %s\n", folder.c_str(), name.c_str(), why.c_str());
  return false;
}

int Run(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (char c : kMorseChars) {
    if (c == ' ') continue;
    const MorseCode* code = nullptr;
    for (const MorseCode& m : kCodes)
      if (m.c == c) code = &m;
    if (code == nullptr) {
      std::fprintf(stderr, "qorvex-morsewav: no code for '%c'\n", c);
      return 1;
    }
    if (!Write(folder, *MorseFileName(c), MorseSignal(code->elements))) return 1;
  }
  Signal s;
  AppendTone(s, 1000, Sine(1000));
  if (!Write(folder, "TON1000.WAV", s)) return 1;
  s.clear();
  AppendTone(s, 1000, Sine(1750));
  if (!Write(folder, "1750HZ.WAV", s)) return 1;
  s.clear();
  AppendTone(s, 2000, [two = std::pair{Sine(700, 0.45), Sine(1900, 0.45)}](size_t i) {
    return two.first(i) + two.second(i);
  });
  if (!Write(folder, "ZWEITON.WAV", s)) return 1;
  if (!Write(folder, "RTTY.WAV", RttySignal())) return 1;
  s.clear();
  AppendTone(s, 2000, Sine(kMorsePitch));
  if (!Write(folder, "TON600.WAV", s)) return 1;
  return 0;
}

}  // namespace
}  // namespace qorvex

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qorvex-morsewav FOLDER\n");
    return 2;
  }
  return qorvex::Run(argv[1]);
}
