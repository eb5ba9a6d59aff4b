// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's placement in the settings (core layer, no Qt): the five
// fields of the settings record of slot 0, their copy in the in-memory
// window-layout record of ToSetups, and the reads and writes the window
// makes at start and at close.
//
// Bounds are the window's outer frame in pixels. Window-layout record of
// ToSetups (little-endian): 0 left, 4 top, 8 height, 12 width (int32),
// 16 maximized (byte, 1 = maximized).
#pragma once

#include <cstdint>
#include <optional>

#include "storage/dbsetup.h"

namespace qorvex {

struct WindowPlacement {
  int32_t left = 0, top = 0, height = 0, width = 0;
  bool maximized = false;
  // A record holds a placement only when height and width are above 0.
  bool Stored() const { return height > 0 && width > 0; }
  bool operator==(const WindowPlacement&) const = default;
};

// Where the window opens when no placement is stored (never centred).
inline constexpr WindowPlacement kDesignPlacement{411, 231, 652, 827, false};

WindowPlacement PlacementOf(const TSetupRec0& record);
void SetPlacement(TSetupRec0& record, const WindowPlacement& placement);

WindowPlacement LayoutPlacement(const ToSetupsType& setups);
void SetLayoutPlacement(ToSetupsType& setups, const WindowPlacement& placement);

// What closing stores: the current bounds with the flag 0; while maximized
// the bounds held before (the normal-size placement) with the flag 1.
WindowPlacement PlacementAtClose(const WindowPlacement& before, const WindowPlacement& current,
                                 bool maximized);

// Makes sure the settings file of slot 0 holds its record: the first one,
// or a zero record added. False when it can be neither read nor added.
bool EnsureSettingsRecord();
// The placement in the record; nothing when there is no record.
std::optional<WindowPlacement> ReadPlacement();
// Writes the five fields into the record, every other byte as read. False
// when there is no record or the record cannot be saved.
bool WritePlacement(const WindowPlacement& placement);

}  // namespace qorvex
