// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's history and zoom steps (core layer, no Qt): the entries shown
// while the program runs, to go back and forward through, and the zoom
// levels of the entry view.
//
// Invariants of EntryHistory:
//  1. At most kMaxEntries entries; when full, recording drops the oldest.
//  2. current() < size() whenever size() > 0.
//  3. Recording after going back drops the entries after the current one,
//     and an entry equal to the current one is not recorded again.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <string>

#include "app/core/lexicon_entry.h"

namespace qorvex {

// An entry as the window showed it, and where it came from.
struct ShownEntry {
  LexEntry entry;
  bool showTopic = false;
  // From the tree: the captions of its node and the node's parent (empty
  // when it came from elsewhere, e.g. the see-also list).
  std::string parentCaption, nodeCaption;
  // The search text whose occurrences were highlighted (empty: none), and
  // whether they were compared folded.
  std::string marked;
  bool markFolded = false;
  bool operator==(const ShownEntry&) const = default;
};

class EntryHistory {
 public:
  static constexpr size_t kMaxEntries = 200;

  void Record(ShownEntry shown);
  // The entry before / after the current one, which becomes current; null
  // at either end.
  const ShownEntry* Back();
  const ShownEntry* Forward();
  bool CanGoBack() const { return current_ > 0; }
  bool CanGoForward() const { return current_ + 1 < entries_.size(); }
  size_t size() const { return entries_.size(); }
  size_t current() const { return current_; }

 private:
  std::deque<ShownEntry> entries_;
  size_t current_ = 0;
};

// The entry view's zoom levels in percent; 100 lays entries out as specified.
inline constexpr std::array<int, 13> kZoomSteps{50,  67,  75,  80,  90,  100, 110,
                                                125, 150, 175, 200, 250, 300};

// The next level above (steps > 0) or below (steps < 0) percent, stopping
// at the ends; with 0 the level nearest to percent (a stored value).
int ZoomStep(int percent, int steps);

}  // namespace qorvex
