// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of B-tree pages between the in-memory and the on-disk stride.
#include "isam/page.h"

#include <cstring>

namespace qorvex::isam {
namespace {

// Moves one item of n bytes (keyLength + 9: 10..59) with fixed-size copies
// instead of a library call per item. Every load comes before the stores,
// so source and destination may overlap.
inline void MoveItem(uint8_t* to, const uint8_t* from, int n) {
  if (n >= 32) {
    uint8_t a[32], b[32];
    std::memcpy(a, from, 32);
    std::memcpy(b, from + n - 32, 32);
    std::memcpy(to, a, 32);
    std::memcpy(to + n - 32, b, 32);
  } else if (n >= 16) {
    uint8_t a[16], b[16];
    std::memcpy(a, from, 16);
    std::memcpy(b, from + n - 16, 16);
    std::memcpy(to, a, 16);
    std::memcpy(to + n - 16, b, 16);
  } else {
    uint8_t a[8], b[8];
    std::memcpy(a, from, 8);
    std::memcpy(b, from + n - 8, 8);
    std::memcpy(to, a, 8);
    std::memcpy(to + n - 8, b, 8);
  }
}

}  // namespace

void PackPage(uint8_t* buf, int keyLength) {
  const int stride = keyLength + 9;
  const int count = PageRef(buf).count();
  // Moving towards the front: ascending order never overwrites unread items.
  for (int i = 2; i <= count; ++i)
    MoveItem(buf + 6 + (i - 1) * stride, buf + 6 + (i - 1) * kItemStride, stride);
}

void PackPageTo(uint8_t* out, const uint8_t* unpacked, int count, int keyLength) {
  const int stride = keyLength + 9;
  StoreU16(out, static_cast<uint16_t>(count));
  std::memcpy(out + 2, unpacked + 2, 4);
  for (int i = 0; i < count; ++i)
    MoveItem(out + 6 + i * stride, unpacked + 6 + i * kItemStride, stride);
}

void UnpackPage(uint8_t* buf, int keyLength) {
  const int stride = keyLength + 9;
  const int count = PageRef(buf).count();
  // Moving towards the back: descending order.
  for (int i = count; i >= 2; --i)
    MoveItem(buf + 6 + (i - 1) * kItemStride, buf + 6 + (i - 1) * stride, stride);
}

}  // namespace qorvex::isam
