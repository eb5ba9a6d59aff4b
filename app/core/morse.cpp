// SPDX-License-Identifier: GPL-3.0-or-later
// Morse and tone playback; see morse.h.
#include "app/core/morse.h"

#include <algorithm>

#include "support/cp1252.h"
#include "support/file_lookup.h"

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
  return FindDeliveredPath(name);
}

std::optional<std::string> FindToneFile(std::string_view stored) {
  std::string path(stored);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (std::optional<std::string> found = FindSoundFile(path)) return found;
  const std::string utf8 = Cp1252ToUtf8(path);
  return utf8 == path ? std::nullopt : FindSoundFile(utf8);
}

namespace {

// Plays the file found at path (nothing when none was found).
void PlayFound(const std::optional<std::string>& path, const std::string& name, AudioOutput& out) {
  out.Close();
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

void PlayMorseChar(char c, AudioOutput& out, FolderListing& folder, int pauseMs) {
  const std::optional<std::string> file = MorseFileName(c);
  if (!file) return;
  PlayFound(folder.Find(*file), *file, out);
  out.Pause(pauseMs);
}

}  // namespace

void PlayWaveFile(const std::string& name, AudioOutput& out) {
  PlayFound(FindSoundFile(name), name, out);
}

void PlayToneFile(std::string_view stored, AudioOutput& out) {
  PlayFound(FindToneFile(stored), std::string(stored), out);
}

void PlayMorseChar(char c, AudioOutput& out, int pauseMs) {
  FolderListing folder("");
  PlayMorseChar(c, out, folder, pauseMs);
}

void PlayMorseText(std::string_view text, bool fast, AudioOutput& out) {
  CharPause = fast ? kCharPauseFast : kCharPauseNormal;
  FolderListing folder("");  // read once for the whole text
  for (char c : text) PlayMorseChar(c, out, folder, CharPause);
}

}  // namespace qorvex
