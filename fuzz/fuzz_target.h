// SPDX-License-Identifier: GPL-3.0-or-later
// What every fuzz target of ours provides: the fuzzing engine's entry point,
// and seed inputs for its corpus (replay_main.cpp runs both without the
// fuzzing engine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qorvex::fuzz {

// Writes the target's seed inputs into dir; returns how many.
int MakeCorpus(const std::string& dir);

}  // namespace qorvex::fuzz
