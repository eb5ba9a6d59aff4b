// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's history and zoom steps; see entry_history.h.
#include "app/core/entry_history.h"

#include <algorithm>
#include <cstdlib>

namespace qorvex {

void EntryHistory::Record(ShownEntry shown) {
  if (!entries_.empty()) {
    if (entries_[current_] == shown) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(current_) + 1, entries_.end());
  }
  entries_.push_back(std::move(shown));
  if (entries_.size() > kMaxEntries) entries_.pop_front();
  current_ = entries_.size() - 1;
}

const ShownEntry* EntryHistory::Back() {
  if (!CanGoBack()) return nullptr;
  return &entries_[--current_];
}

const ShownEntry* EntryHistory::Forward() {
  if (!CanGoForward()) return nullptr;
  return &entries_[++current_];
}

int ZoomStep(int percent, int steps) {
  const auto nearest = std::min_element(kZoomSteps.begin(), kZoomSteps.end(), [&](int a, int b) {
    return std::abs(a - percent) < std::abs(b - percent);
  });
  if (steps == 0) return *nearest;
  // From a level between two steps, one step up or down is the next step.
  auto at = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), percent);
  if (steps > 0) {
    if (at != kZoomSteps.end() && *at == percent) ++at;
    return at == kZoomSteps.end() ? kZoomSteps.back() : *at;
  }
  return at == kZoomSteps.begin() ? kZoomSteps.front() : *(at - 1);
}

}  // namespace qorvex
