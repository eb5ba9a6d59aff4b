// SPDX-License-Identifier: GPL-3.0-or-later
// The screen-scaling service; see screen_scaling.h.
#include "app/ui/screen_scaling.h"

#include <QGuiApplication>
#include <QScreen>

#include "support/dpi_scale.h"

namespace qorvex {

int TToWinskal::ScreenDpi() const {
  if (!UseScreenDpi || qGuiApp == nullptr) return kDesignDpi;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return kDesignDpi;
  return RoundHalfEven(screen->logicalDotsPerInchX());
}

int TToWinskal::ScaleToScreen(bool on, int pixels) const {
  return on ? ScaleToScreenAt(ScreenDpi(), true, pixels) : pixels;
}

int TToWinskal::ScaleToDesign(bool on, int pixels) const {
  return on ? ScaleToDesignAt(ScreenDpi(), true, pixels) : pixels;
}

}  // namespace qorvex
