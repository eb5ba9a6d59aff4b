// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252 text at the window's edge (window layer): the core's bytes
// to QString and back, through the code page's one table.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace qorvex {

// Every byte becomes its character (the five undefined bytes their C1
// controls), so a round trip through ToCp1252 gives the same bytes.
QString FromCp1252(std::string_view text);
// Characters the code page lacks become '?'.
std::string ToCp1252(const QString& text);

}  // namespace qorvex
