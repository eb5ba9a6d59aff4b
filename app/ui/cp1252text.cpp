// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252 text at the window's edge; see cp1252text.h.
#include "app/ui/cp1252text.h"

#include "support/cp1252.h"

namespace qorvex {

QString FromCp1252(std::string_view text) {
  QString s(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
  QChar* out = s.data();
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    *out++ = QChar(b < 0x80 ? char16_t{b} : static_cast<char16_t>(Cp1252ToUnicode(b)));
  }
  return s;
}

std::string ToCp1252(const QString& text) {
  return Utf8ToCp1252(text.toStdString());
}

}  // namespace qorvex
