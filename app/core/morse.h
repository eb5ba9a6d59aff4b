// SPDX-License-Identifier: GPL-3.0-or-later
// Morse and tone playback (core layer, no Qt): a Morse word is spelled out
// one recording per character, a tone word plays the file its tag names; the
// sound goes through an AudioOutput.
//
// 1. A sound file is looked up where its name points (relative names in the
//    current directory): the exact name first, else case-insensitively, each
//    folder on the way too; a Morse text reads the folder at most once.
// 2. A missing file plays nothing and raises nothing.
// 3. An EMediaError of the output ends the text: no later character plays.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/core/audio_output.h"

namespace qorvex {

// The characters the Morse player knows; lower-case letters count as their
// upper-case forms. The blank has no recording, only its pause.
inline constexpr std::string_view kMorseChars = " +,./0123456789=?ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr int kCharPauseNormal = 100;  // ms after each character
inline constexpr int kCharPauseFast = 10;     // ms in fast mode (the viewer's)

// The pause after every played character, in milliseconds; PlayMorseText sets
// it. One value for the whole process, as the viewer has one player.
extern int CharPause;

bool IsMorseChar(char c);
// The recording of c: "STRICH.WAV" for "/", "FRAGEZ.WAV" for "?", else c as
// written followed by ".WAV" ("a.WAV" for "a"); nothing outside the set.
std::optional<std::string> MorseFileName(char c);
// Where the sound file name is: a name without "/" in the current directory,
// a name with "/" in its own folder; each part the exact name first, else the
// first case-insensitive match. Nothing when missing.
std::optional<std::string> FindSoundFile(const std::string& name);

// The file a tone word names as stored in the lexicon (Windows-1252, maybe
// a Windows path with "\\"): "\\" read as "/", every part found as sound
// files are; the name's bytes as they are first, else as UTF-8.
std::optional<std::string> FindToneFile(std::string_view stored);

// Plays one file to its end, or nothing when it does not exist.
// Throws EMediaError when it exists but cannot be opened or played.
void PlayWaveFile(const std::string& name, AudioOutput& out);
// The same for a tone word's file as stored (found by FindToneFile).
void PlayToneFile(std::string_view stored, AudioOutput& out);
// Plays one character and pauses pauseMs (by default the process-wide
// CharPause); outside the set: nothing at all.
void PlayMorseChar(char c, AudioOutput& out, int pauseMs = CharPause);
// CharPause := 100, or 10 when fast; then every character of text in order.
void PlayMorseText(std::string_view text, bool fast, AudioOutput& out);

}  // namespace qorvex
