// SPDX-License-Identifier: GPL-3.0-or-later
// The workload of the crash tests, shared by the child that runs it and the
// parent that checks what survived: operation i adds the records of key i to
// a fixed and a variable block, or deletes a live key's records. The same
// seed gives the same operations in both processes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "isam/engine.h"

namespace qorvex::isam::testing::crash {

inline constexpr int32_t kFixedLength = 64;
inline constexpr int32_t kSectionLength = 100;
inline constexpr uint8_t kKeyLength = 12;
inline const KeyDescriptor kKeys[] = {{kKeyLength, 0}};

inline std::string KeyOf(uint32_t i) {
  char k[16];
  std::snprintf(k, sizeof k, "K%08u", i);
  return k;
}

// The bytes of the records of key i: word 0, the key at 4, then a pattern
// that the key determines (the variable record is 20..1500 bytes long).
inline std::vector<uint8_t> FixedRecord(uint32_t i) {
  std::vector<uint8_t> r(kFixedLength, 0);
  const std::string k = KeyOf(i);
  std::copy(k.begin(), k.end(), r.begin() + 4);
  for (size_t b = 4 + kKeyLength; b < r.size(); ++b) r[b] = static_cast<uint8_t>(i * 31 + b);
  return r;
}
inline std::vector<uint8_t> VariableRecord(uint32_t i) {
  std::vector<uint8_t> r(20 + (i * 2654435761u) % 1481, 0);
  const std::string k = KeyOf(i);
  std::copy(k.begin(), k.end(), r.begin() + 4);
  for (size_t b = 4 + kKeyLength; b < r.size(); ++b) r[b] = static_cast<uint8_t>(i * 7 + b * 13);
  return r;
}

// The key a stored record has: bytes 4..15.
inline std::string BuildKey(std::span<const uint8_t> record, int) {
  if (record.size() < 4 + kKeyLength) return {};
  return std::string(record.begin() + 4, record.begin() + 4 + kKeyLength);
}

struct Op {
  bool add = true;
  uint32_t key = 0;  // key number i
};

// Operation i = 1, 2, ... of a seed: adds two times out of three.
class Workload {
 public:
  explicit Workload(uint32_t seed) : rng_(seed) {}
  Op Next() {
    ++i_;
    if (live_.empty() || rng_() % 3 != 0) {
      live_.push_back(i_);
      return {true, i_};
    }
    const size_t at = rng_() % live_.size();
    const uint32_t key = live_[at];
    live_[at] = live_.back();
    live_.pop_back();
    return {false, key};
  }
  const std::vector<uint32_t>& live() const { return live_; }
  uint32_t done() const { return i_; }

 private:
  std::mt19937 rng_;
  uint32_t i_ = 0;
  std::vector<uint32_t> live_;
};

}  // namespace qorvex::isam::testing::crash
