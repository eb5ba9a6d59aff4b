// SPDX-License-Identifier: GPL-3.0-or-later
// B-tree page in memory and on disk (isam layer). On disk: isam/FORMAT.md
// section 3.2. In memory the items stand at the fixed stride kItemStride (59,
// room for the longest key); PackPage and UnpackPage convert in place.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qorvex::isam {

inline constexpr int kKeysPerPage = 62;
inline constexpr int kMaxKeyLength = 50;
inline constexpr int kItemStride = kMaxKeyLength + 9;                    // 59
inline constexpr int kPageBufferBytes = 6 + kKeysPerPage * kItemStride;  // 3664

// Page size of an index with this key length: (keyLength + 9) * 62 + 6.
constexpr uint32_t PageSize(int keyLength) {
  return (keyLength + 9) * kKeysPerPage + 6;
}
// Bytes written for a page of count items.
constexpr uint32_t PackedPageBytes(int count, int keyLength) {
  return (keyLength + 9) * count + 6;
}

inline uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Accessors over an unpacked page buffer (kPageBufferBytes bytes).
// Items are numbered 1..count.
class PageRef {
 public:
  explicit PageRef(uint8_t* buf) : b_(buf) {}
  int count() const { return LoadU16(b_); }
  void setCount(int c) const { StoreU16(b_, static_cast<uint16_t>(c)); }
  uint32_t child0() const { return LoadU32(b_ + 2); }
  void setChild0(uint32_t p) const { StoreU32(b_ + 2, p); }
  uint8_t* item(int i) const { return b_ + 6 + (i - 1) * kItemStride; }
  int32_t ref(int i) const { return static_cast<int32_t>(LoadU32(item(i))); }
  uint32_t child(int i) const { return LoadU32(item(i) + 4); }
  // Child left of item i+1: child0 for i == 0, else child(i).
  uint32_t childAfter(int i) const { return i == 0 ? child0() : child(i); }
  uint8_t keyLen(int i) const { return item(i)[8]; }
  std::string_view key(int i) const {
    return {reinterpret_cast<const char*>(item(i) + 9), keyLen(i)};
  }

 private:
  uint8_t* b_;
};

// In place: the first count items from stride 59 to stride keyLength + 9.
void PackPage(uint8_t* buf, int keyLength);
// The on-disk form of the first count items of an unpacked page (count
// stored as the item count), written to out: PackedPageBytes(count) bytes.
void PackPageTo(uint8_t* out, const uint8_t* unpacked, int count, int keyLength);
// In place: the first count items from stride keyLength + 9 to stride 59.
// The caller checks count against the keys per page first.
void UnpackPage(uint8_t* buf, int keyLength);

// Unsigned bytes over the shorter length, then the shorter key first. Eight
// bytes at a time, read in big-endian order so that the first differing
// byte decides (keys are short: this beats a library call).
inline int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x == y) continue;
    if constexpr (std::endian::native == std::endian::little) {
      x = __builtin_bswap64(x);
      y = __builtin_bswap64(y);
    }
    return x < y ? -1 : 1;
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]) ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace qorvex::isam
