// SPDX-License-Identifier: GPL-3.0-or-later
// The program's edit field; see edit_field.h.
#include "app/ui/edit_field.h"

#include <charconv>
#include <cmath>

#include "support/cp1252.h"
#include "support/text_utils.h"

namespace qorvex {
namespace {

// A signed 32-bit decimal number filling the whole text (blanks around it
// allowed), or nothing.
bool ParseWhole(std::string_view text, int32_t& value) {
  const std::string trimmed = ToStrings.Trim(text);
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  return first != last && error == std::errc() && end == last;
}

// A decimal number with "," as its separator (at most one, no "."), or
// nothing.
bool ParseReal(std::string_view text, double& value) {
  std::string s = ToStrings.Trim(text);
  if (s.find('.') != std::string::npos) return false;
  if (const size_t comma = s.find(','); comma != std::string::npos) {
    if (s.find(',', comma + 1) != std::string::npos) return false;
    s[comma] = '.';
  }
  const char* first = s.data();
  const char* last = first + s.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  return first != last && error == std::errc() && end == last && std::isfinite(value);
}

}  // namespace

TvxEdit::TvxEdit(QWidget* parent) : QLineEdit(parent) {}

void TvxEdit::SetPictureMask(const std::string& mask) {
  pictureMask_ = mask;
  for (char& c : pictureMask_)
    if (c == '9') c = '#';
}

void TvxEdit::SetAlignment(TvxAlignment alignment) {
  alignment_ = alignment;
  const Qt::Alignment horizontal = alignment == TvxAlignment::Right    ? Qt::AlignRight
                                   : alignment == TvxAlignment::Center ? Qt::AlignHCenter
                                                                       : Qt::AlignLeft;
  setAlignment(horizontal | Qt::AlignVCenter);
}

std::string TvxEdit::ShortText() const {
  std::string bytes = Utf8ToCp1252(text().toStdString());
  if (bytes.size() > kShortMax) bytes.resize(kShortMax);
  return bytes;
}

void TvxEdit::GetValue(TvxEditValue& destination) const {
  const std::string text = ShortText();
  int32_t whole = 0;
  double real = 0.0;
  switch (dataType_) {
    case dtString:
      destination = text;
      return;
    case dtInteger:
    case dtLongint:
      destination = ParseWhole(text, whole) ? whole : int32_t{0};
      return;
    case dtWord:
      destination = static_cast<uint16_t>(ParseWhole(text, whole) ? whole : 0);
      return;
    case dtByte:
      destination = static_cast<uint8_t>(ParseWhole(text, whole) ? whole : 0);
      return;
    case dtChar: {
      const std::string trimmed = ToStrings.TrimShort(text);
      destination = trimmed.empty() ? '\0' : trimmed[0];
      return;
    }
    case dtSingle:
      destination = static_cast<float>(ParseReal(text, real) ? real : 0.0);
      return;
    case dtReal:
    case dtDouble:
    case dtExtended:
      destination = ParseReal(text, real) ? real : 0.0;
      return;
  }
}

}  // namespace qorvex
