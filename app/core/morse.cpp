// Morse and tone playback; see morse.h.
#include "app/core/morse.h"

#include "support/filebaseoop.h"

namespace qorvex {

int CharPause = kCharPauseNormal;

bool IsMorseChar(char c) {
  const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return kMorseChars.find(upper) != std::string_view::npos;
}

std::optional<std::string> MorseFileName(char c) {
  if (!IsMorseChar(c)) return std::nullopt;
  if (c == '/') return "STRICH.WAV";
  if (c == '?') return "FRAGEZ.WAV";
  return std::string(1, c) + ".WAV";
}

std::optional<std::string> FindSoundFile(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return FindDeliveredFile("", name);
  // "/x.WAV" lies in the root folder, not in the current one.
  const std::string folder = name.substr(0, slash == 0 ? 1 : slash);
  return FindDeliveredFile(folder, std::string_view(name).substr(slash + 1));
}

void PlayWaveFile(const std::string& name, AudioOutput& out) {
  out.Close();
  const std::optional<std::string> path = FindSoundFile(name);
  out.SetFileName(path.value_or(name));
  if (!path) return;
  try {
    out.Open();
    out.PlayAndWait();
  } catch (...) {
    out.Close();
    throw;
  }
  out.Close();
}

void PlayMorseChar(char c, AudioOutput& out) {
  const std::optional<std::string> file = MorseFileName(c);
  if (!file) return;
  PlayWaveFile(*file, out);
  out.Pause(CharPause);
}

void PlayMorseText(std::string_view text, bool fast, AudioOutput& out) {
  CharPause = fast ? kCharPauseFast : kCharPauseNormal;
  for (char c : text) PlayMorseChar(c, out);
}

}  // namespace qorvex
