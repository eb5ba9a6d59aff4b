// SPDX-License-Identifier: GPL-3.0-or-later
// The font service; see screen_fonts.h.
#include "app/ui/screen_fonts.h"

#include <QFont>
#include <QFontDatabase>

namespace qorvex {

TScreenSS::TScreenSS() : FontName(kDefaultFont) {
  if (QFontDatabase::hasFamily(QString::fromLatin1(kPreferredFont))) FontName = kPreferredFont;
}

const TScreenSS& ScreenSS() {
  static const TScreenSS instance;
  return instance;
}

void InstallFontSubstitutions() {
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

}  // namespace qorvex
