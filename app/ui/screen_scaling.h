// SPDX-License-Identifier: GPL-3.0-or-later
// ToWinskal, the screen-scaling service (window layer): pixel sizes between
// the design resolution of 96 dots per inch and the screen's. The screen is
// asked afresh on every call; the arithmetic is support/dpi_scale.h.
//
// Qt lays out widgets in device-independent pixels and scales them to the
// device itself, so the resolution asked for is the logical one (96 on most
// screens, whatever their physical density): scaling again would be double.
#pragma once

namespace qorvex {

class TToWinskal {
 public:
  bool UseScreenDpi = true;

  // The primary screen's horizontal logical dots per inch, rounded; 96 when
  // UseScreenDpi is false or there is no screen.
  int ScreenDpi() const;
  // When on and ScreenDpi() is not 96: [pixels * ScreenDpi() / 96].
  int ScaleToScreen(bool on, int pixels) const;
  // When on and ScreenDpi() is not 96: [pixels * 96 / ScreenDpi()].
  int ScaleToDesign(bool on, int pixels) const;
};

inline TToWinskal ToWinskal;

}  // namespace qorvex
