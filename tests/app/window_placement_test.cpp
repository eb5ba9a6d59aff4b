// SPDX-License-Identifier: GPL-3.0-or-later
// The window placement through the settings file as the main window keeps
// it from start to start, maximized or not.
#include "app/core/window_placement.h"

#include <gtest/gtest.h>

#include "tests/storage/storagetest.h"

namespace qorvex::testing {
namespace {

class PlacementTest : public StorageTest {};

TEST_F(PlacementTest, ClosingKeepsTheNormalBoundsWhileMaximized) {
  ASSERT_TRUE(EnsureSettingsRecord());
  ASSERT_TRUE(EnsureSettingsRecord()) << "a second start finds the record";
  ASSERT_EQ(ReadPlacement(), WindowPlacement{}) << "a new record stores no placement";
  EXPECT_FALSE(ReadPlacement()->Stored());

  // Each run: the start copies the record into ToSetups, the close stores
  // what PlacementAtClose gives; the next start reads it back.
  const WindowPlacement a{100, 50, 600, 800}, b{7, 8, 400, 500};
  // The window at the close, maximized or not; the placement stored.
  const std::tuple<WindowPlacement, bool, WindowPlacement> runs[] = {
      {a, false, a},
      {b, true, {100, 50, 600, 800, true}},  // maximized: a's bounds stay
      {b, true, {100, 50, 600, 800, true}},
      {b, false, b},
  };
  for (const auto& [current, maximized, stored] : runs) {
    SetLayoutPlacement(ToSetups, *ReadPlacement());
    const WindowPlacement closing = PlacementAtClose(LayoutPlacement(ToSetups), current, maximized);
    ASSERT_TRUE(WritePlacement(closing));
    EXPECT_EQ(ReadPlacement(), stored);
    EXPECT_TRUE(ReadPlacement()->Stored());
  }
  // A maximized first close, before any placement was stored, stores none.
  SetLayoutPlacement(ToSetups, WindowPlacement{});
  EXPECT_FALSE(PlacementAtClose(LayoutPlacement(ToSetups), a, true).Stored());
}

}  // namespace
}  // namespace qorvex::testing
