// Fuzz target over the entry layout: any bytes as an entry, laid out with
// the fixed text metrics; a broken invariant of the labels aborts. Input:
//   bytes 0-1  u16 LE: view width 100 + value % 1901 (100 to 2000)
//   byte 2     flags: bit 0 ShowTopic, bit 1 HintOnly
//   byte 3     term length (at most 50 count), byte 4 topic length (at most 30)
//   then       the term, the topic, and the rest as the text (cut at 64000)
// fuzz_layout_replay (replay_main.cpp over this target) runs fuzz/corpus-layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qorvex::fuzz {

// Writes the seed inputs (entries in the tag language, tricky ones too) into
// dir; returns how many.
int MakeCorpus(const std::string& dir);

}  // namespace qorvex::fuzz
