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
  struct Run {
    WindowPlacement current;
    bool maximized;
    WindowPlacement stored;
  };
  const WindowPlacement a{100, 50, 600, 800}, b{7, 8, 400, 500};
  const Run runs[] = {
      {a, false, a},
      {b, true, {100, 50, 600, 800, true}},  // maximized: a's bounds stay
      {b, true, {100, 50, 600, 800, true}},
      {b, false, b},
  };
  for (const Run& r : runs) {
    SetLayoutPlacement(ToSetups, *ReadPlacement());
    const WindowPlacement closing =
        PlacementAtClose(LayoutPlacement(ToSetups), r.current, r.maximized);
    ASSERT_TRUE(WritePlacement(closing));
    EXPECT_EQ(ReadPlacement(), r.stored);
    EXPECT_TRUE(ReadPlacement()->Stored());
  }
  // A maximized first close, before any placement was stored, stores none.
  SetLayoutPlacement(ToSetups, WindowPlacement{});
  EXPECT_FALSE(PlacementAtClose(LayoutPlacement(ToSetups), a, true).Stored());
}

}  // namespace
}  // namespace qorvex::testing
