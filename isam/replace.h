// SPDX-License-Identifier: GPL-3.0-or-later
// replace.cpp's step shared by the engine's units: clearing what an
// interrupted replacement left (isam layer).
#pragma once

#include <string_view>

namespace qorvex::isam {

// FinishReplacement without the operation's entry and exit steps.
bool FinishReplacementFiles(std::string_view name);

}  // namespace qorvex::isam
