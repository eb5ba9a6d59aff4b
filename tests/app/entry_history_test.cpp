// SPDX-License-Identifier: GPL-3.0-or-later
// The history of shown entries and the zoom steps.
#include "app/core/entry_history.h"

#include <gtest/gtest.h>

namespace qorvex {
namespace {

ShownEntry Shown(int id) {
  ShownEntry shown;
  shown.entry.id = id;
  shown.entry.term = "T" + std::to_string(id);
  return shown;
}

int IdOf(const ShownEntry* shown) {
  return shown == nullptr ? -1 : shown->entry.id;
}

TEST(EntryHistoryTest, BackForwardAndRecordingDropsWhatLayAhead) {
  EntryHistory h;
  EXPECT_EQ(IdOf(h.Back()), -1);
  for (int id : {1, 2, 2, 3}) h.Record(Shown(id));  // the repeated 2 once
  EXPECT_EQ(h.size(), 3u);
  EXPECT_EQ(IdOf(h.Back()), 2);
  EXPECT_EQ(IdOf(h.Back()), 1);
  EXPECT_EQ(IdOf(h.Back()), -1);
  EXPECT_FALSE(h.CanGoBack());
  EXPECT_EQ(IdOf(h.Forward()), 2);
  h.Record(Shown(2));  // shown again as it was: nothing changes
  EXPECT_TRUE(h.CanGoForward());
  h.Record(Shown(4));  // 3 lay ahead and goes
  EXPECT_FALSE(h.CanGoForward());
  EXPECT_EQ(IdOf(h.Back()), 2);
  EXPECT_EQ(IdOf(h.Forward()), 4);
  EXPECT_EQ(IdOf(h.Forward()), -1);
}

TEST(EntryHistoryTest, KeepsTheLatestTwoHundred) {
  EntryHistory h;
  for (int id = 1; id <= 205; ++id) h.Record(Shown(id));
  EXPECT_EQ(h.size(), EntryHistory::kMaxEntries);
  EXPECT_EQ(h.current(), 199u);
  while (h.CanGoBack()) h.Back();
  EXPECT_EQ(IdOf(h.Forward()), 7);  // 1..5 dropped, 6 is the oldest
}

TEST(ZoomTest, StepsStopAtTheEndsAndStoredValuesSnap) {
  const std::tuple<int, int, int> cases[] = {
      {100, 1, 110}, {100, -1, 90},  {300, 1, 300}, {50, -1, 50}, {105, 1, 110},  {105, -1, 100},
      {104, 0, 100}, {1000, 0, 300}, {-5, 0, 50},   {-5, 1, 50},  {400, -1, 300},
  };
  for (const auto& [from, steps, to] : cases)
    EXPECT_EQ(ZoomStep(from, steps), to) << from << " " << steps;
}

}  // namespace
}  // namespace qorvex
