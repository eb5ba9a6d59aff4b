// Conversion of B-tree pages between the in-memory and the on-disk stride.
#include "isam/page.h"

#include <cstring>

namespace qorvex::isam {

void PackPage(uint8_t* buf, int keyLength) {
  const int stride = keyLength + 9;
  const int count = PageRef(buf).count();
  // Moving towards the front: ascending order never overwrites unread items.
  for (int i = 2; i <= count; ++i)
    std::memmove(buf + 6 + (i - 1) * stride, buf + 6 + (i - 1) * kItemStride, stride);
}

void UnpackPage(uint8_t* buf, int keyLength) {
  const int stride = keyLength + 9;
  const int count = PageRef(buf).count();
  // Moving towards the back: descending order.
  for (int i = count; i >= 2; --i)
    std::memmove(buf + 6 + (i - 1) * kItemStride, buf + 6 + (i - 1) * stride, stride);
}

}  // namespace qorvex::isam
