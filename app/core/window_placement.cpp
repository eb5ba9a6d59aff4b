// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's placement in the settings; see window_placement.h.
#include "app/core/window_placement.h"

#include <cstring>

namespace qorvex {
namespace {

constexpr size_t kLayoutLeft = 0, kLayoutTop = 4, kLayoutHeight = 8, kLayoutWidth = 12,
                 kLayoutMaximized = 16;

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t at) {
  int32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

void PutInt32(std::vector<uint8_t>& bytes, size_t at, int32_t v) {
  std::memcpy(bytes.data() + at, &v, 4);
}

}  // namespace

WindowPlacement PlacementOf(const TSetupRec0& r) {
  return {r.Get(TSetupRec0::kWindowLeft), r.Get(TSetupRec0::kWindowTop),
          r.Get(TSetupRec0::kWindowHeight), r.Get(TSetupRec0::kWindowWidth),
          r.bytes[TSetupRec0::kWindowMaximized] == 1};
}

void SetPlacement(TSetupRec0& r, const WindowPlacement& p) {
  r.Set(TSetupRec0::kWindowLeft, p.left);
  r.Set(TSetupRec0::kWindowTop, p.top);
  r.Set(TSetupRec0::kWindowHeight, p.height);
  r.Set(TSetupRec0::kWindowWidth, p.width);
  r.bytes[TSetupRec0::kWindowMaximized] = p.maximized ? 1 : 0;
}

WindowPlacement LayoutPlacement(const ToSetupsType& s) {
  const std::vector<uint8_t>& b = s.windowLayout;
  return {Int32At(b, kLayoutLeft), Int32At(b, kLayoutTop), Int32At(b, kLayoutHeight),
          Int32At(b, kLayoutWidth), b[kLayoutMaximized] == 1};
}

void SetLayoutPlacement(ToSetupsType& s, const WindowPlacement& p) {
  std::vector<uint8_t>& b = s.windowLayout;
  PutInt32(b, kLayoutLeft, p.left);
  PutInt32(b, kLayoutTop, p.top);
  PutInt32(b, kLayoutHeight, p.height);
  PutInt32(b, kLayoutWidth, p.width);
  b[kLayoutMaximized] = p.maximized ? 1 : 0;
}

WindowPlacement PlacementAtClose(const WindowPlacement& before, const WindowPlacement& current,
                                 bool maximized) {
  WindowPlacement p = maximized ? before : current;
  p.maximized = maximized;
  return p;
}

bool EnsureSettingsRecord() {
  TdbSetup setup(0);
  if (setup.First(1)) return true;
  setup.ClearRec();
  return setup.Add();
}

std::optional<WindowPlacement> ReadPlacement() {
  TdbSetup setup(0);
  if (!setup.First(1)) return std::nullopt;
  TSetupRec0 record;
  setup.GetRec0(record);
  return PlacementOf(record);
}

bool WritePlacement(const WindowPlacement& placement) {
  TdbSetup setup(0);
  if (!setup.First(1)) return false;
  TSetupRec0 record;
  setup.GetRec0(record);
  SetPlacement(record, placement);
  setup.SetRec0(record);
  return setup.Save();
}

}  // namespace qorvex
