// SPDX-License-Identifier: GPL-3.0-or-later
// TScreenSS, the font service (window layer): the font in which the program
// shows its title, chosen once from the installed fonts. Also the font
// substitutions that make the designed font names available on Linux.
#pragma once

#include <string>

#include "support/file_lookup.h"

namespace qorvex {

inline constexpr const char* kPreferredFont = "Univers LT Pro 55";
inline constexpr const char* kDefaultFont = "Arial";

class TScreenSS : public Tssobject {
 public:
  // REQUIRES: a QGuiApplication exists (the font list comes from it).
  TScreenSS();
  // "Univers LT Pro 55" when that font is installed, otherwise "Arial".
  std::string FontName;
};

// The program's one instance, made on first use.
// REQUIRES: a QGuiApplication exists.
const TScreenSS& ScreenSS();

// Maps "Arial" and "MS Sans Serif" to Liberation Sans, whose glyphs have
// Arial's metrics, so every designed pixel size holds. Call once after the
// QApplication is made, before the first window.
void InstallFontSubstitutions();

}  // namespace qorvex
