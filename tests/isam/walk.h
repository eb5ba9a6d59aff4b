// SPDX-License-Identifier: GPL-3.0-or-later
// Opens a file block on disk, reads it through every kind of operation and
// changes it a little: the exercise that damaged blocks must survive. Used by
// the corrupt-file tests and the fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qorvex::isam::testing {

struct WalkFault {
  std::string call;  // the operation after which the fault showed
  std::string what;
};

struct WalkResult {
  bool opened = false;
  std::vector<WalkFault> faults;  // status inconsistent, a step that never ends, ...
};

// name: the block's name (without extension). buffer: scratch space, grown
// as needed and reused across calls.
WalkResult WalkBlock(const std::string& name, bool variable, std::vector<uint8_t>& buffer);

}  // namespace qorvex::isam::testing
