// SPDX-License-Identifier: GPL-3.0-or-later
// Embedded pictures; see pictures.h.
#include "app/ui/pictures.h"

#include <QFile>
#include <QGuiApplication>

// The resource's initialiser lives in this static library; referencing it
// keeps the linker from dropping it.
static void InitPictureResources() {
  Q_INIT_RESOURCE(pictures);
}

namespace qorvex {

QPixmap LoadPicture(const QString& name) {
  static const bool initialised = (InitPictureResources(), true);
  (void)initialised;
  const QString base = ":/" + name;
  const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
  QPixmap pixmap;
  if (ratio > 1.0 && QFile::exists(base + "@2x.png") && pixmap.load(base + "@2x.png")) {
    pixmap.setDevicePixelRatio(2.0);
    return pixmap;
  }
  pixmap.load(base + ".png");
  return pixmap;
}

}  // namespace qorvex
