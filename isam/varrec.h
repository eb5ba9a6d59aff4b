// SPDX-License-Identifier: GPL-3.0-or-later
// varrec.cpp's section layout shared with the rebuild (isam layer).
#pragma once

#include <cstdint>

namespace qorvex::isam {

// Sections of a variable record of n bytes in sections of L bytes.
uint32_t VariableSectionCount(uint32_t L, uint32_t n);
// Section i (0 = first) of a record of n bytes laid out in appended slots
// base + 1 (the tail) .. base + sections (the first), with its link.
void BuildVariableSection(uint32_t L, const uint8_t* bytes, uint32_t n, uint32_t sections,
                          uint32_t i, uint32_t base, uint8_t* out);

}  // namespace qorvex::isam
