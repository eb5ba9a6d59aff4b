// Fuzz target over a whole file block. Input layout:
//   byte 0     flags: bit 0 = the data file holds variable records; bit 1 =
//              rebuild the block first (it must then pass the checker)
//   bytes 1-4  u32 LE: length of the data file's part (clamped)
//   then       the data file (.DAT), then the index file (.IX; none if empty)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qorvex::fuzz {

// Writes a handful of inputs made from valid blocks (and some damaged ones)
// into dir; returns how many.
int MakeCorpus(const std::string& dir);

}  // namespace qorvex::fuzz
