// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: the generated lexicons and entries they time,
// so that every figure is taken on the same kind of data, and the median.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorvex::bench {

// The word one entry in a hundred names in its term or its see-also list,
// so that a search for it hits about 1% of the entries.
inline constexpr const char* kMarker = "Zirkulator";

// A delivery file of n entries: 12 topics, texts of 100 to 1,100 bytes (600
// on average), see-also lists of 0 to 6 words naming other entries.
std::string MakeDeliveryFile(int n);

// An entry text of length bytes (about one word piece in six characters),
// with bold words, line breaks, links and Morse words.
std::string MakeEntryText(size_t length);

double Median(std::vector<double> values);

}  // namespace qorvex::bench
