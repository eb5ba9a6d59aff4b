// SPDX-License-Identifier: GPL-3.0-or-later
// The captions' collation; see collation.h.
#include "app/core/collation.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "support/cp1252.h"

namespace qorvex {
namespace {

// Primary key of one byte: one or two characters (second 0 when one).
struct Primary {
  uint8_t first = 0, second = 0;
};

constexpr std::array<Primary, 256> MakePrimary() {
  std::array<Primary, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = {static_cast<uint8_t>(c), 0};
  for (int c = 'a'; c <= 'z'; ++c) t[c].first = static_cast<uint8_t>(c - 32);
  auto base = [&t](int from, int to, char letter) {
    for (int c = from; c <= to; ++c) {
      t[c] = {static_cast<uint8_t>(letter), 0};
      t[c + 0x20] = {static_cast<uint8_t>(letter), 0};  // the lower-case row
    }
  };
  base(0xC0, 0xC5, 'A');  // À-Å, à-å
  base(0xC7, 0xC7, 'C');
  base(0xC8, 0xCB, 'E');
  base(0xCC, 0xCF, 'I');
  base(0xD1, 0xD1, 'N');
  base(0xD2, 0xD6, 'O');
  base(0xD8, 0xD8, 'O');
  base(0xD9, 0xDC, 'U');
  base(0xDD, 0xDD, 'Y');
  t[0xC6] = t[0xE6] = {'A', 'E'};
  t[0xF0] = {0xD0, 0};  // ð, þ: letters without a base, as their capitals
  t[0xFE] = {0xDE, 0};
  t[0xFF] = t[0x9F] = {'Y', 0};
  t[0xDF] = {'S', 'S'};
  t[0x8A] = t[0x9A] = {'S', 0};
  t[0x8E] = t[0x9E] = {'Z', 0};
  t[0x8C] = t[0x9C] = {'O', 'E'};
  return t;
}

constexpr std::array<Primary, 256> kPrimary = MakePrimary();

// Walks a caption's primary key one character at a time.
class PrimaryReader {
 public:
  explicit PrimaryReader(std::string_view s) : s_(s) {}
  // The next character, or -1 at the end.
  int Next() {
    if (pending_ != 0) {
      const int c = pending_;
      pending_ = 0;
      return c;
    }
    if (i_ == s_.size()) return -1;
    const Primary p = kPrimary[static_cast<uint8_t>(s_[i_++])];
    pending_ = p.second;
    return p.first;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
  uint8_t pending_ = 0;
};

int ComparePrimary(std::string_view a, std::string_view b) {
  PrimaryReader ra(a), rb(b);
  for (;;) {
    const int ca = ra.Next(), cb = rb.Next();
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca < 0) return 0;
  }
}

int CompareBytes(std::string_view a, std::string_view b, bool upper) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    uint8_t ca = static_cast<uint8_t>(a[i]), cb = static_cast<uint8_t>(b[i]);
    if (upper) ca = Cp1252Upper(ca), cb = Cp1252Upper(cb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool IsLower(uint8_t c) {
  return Cp1252Upper(c) != c;
}

}  // namespace

std::string PrimaryKey(std::string_view caption) {
  std::string key;
  key.reserve(caption.size());
  PrimaryReader r(caption);
  for (int c; (c = r.Next()) >= 0;) key += static_cast<char>(c);
  return key;
}

int CompareCaptions(std::string_view a, std::string_view b) {
  if (const int c = ComparePrimary(a, b)) return c;
  if (const int c = CompareBytes(a, b, true)) return c;
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t ca = static_cast<uint8_t>(a[i]), cb = static_cast<uint8_t>(b[i]);
    if (IsLower(ca) && Cp1252Upper(ca) == cb) return -1;
    if (IsLower(cb) && Cp1252Upper(cb) == ca) return 1;
  }
  return CompareBytes(a, b, false);
}

}  // namespace qorvex
