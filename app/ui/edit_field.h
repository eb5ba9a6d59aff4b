// SPDX-License-Identifier: GPL-3.0-or-later
// TvxEdit, the program's single-line edit field (window layer): a text
// alignment, a second tag, a picture mask, and a typed reading of the text
// (GetValue). Text leaves the field as Windows-1252 bytes.
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <string>
#include <variant>

namespace qorvex {

enum vxeditdatatype {
  dtString,
  dtInteger,
  dtWord,
  dtByte,
  dtChar,
  dtLongint,
  dtReal,
  dtSingle,
  dtDouble,
  dtExtended
};

enum class TvxAlignment { Left, Right, Center };

// What GetValue stores: std::string (dtString), int32_t (dtInteger,
// dtLongint), uint16_t (dtWord), uint8_t (dtByte), char (dtChar), float
// (dtSingle) or double (dtReal, dtDouble, dtExtended).
using TvxEditValue = std::variant<std::string, int32_t, uint16_t, uint8_t, char, float, double>;

class TvxEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TvxEdit(QWidget* parent = nullptr);

  vxeditdatatype DataType() const { return dataType_; }
  void SetDataType(vxeditdatatype type) { dataType_ = type; }
  // Every "9" is stored as "#"; the mask has no other effect.
  const std::string& PictureMask() const { return pictureMask_; }
  void SetPictureMask(const std::string& mask);
  int Tag2() const { return tag2_; }
  void SetTag2(int tag) { tag2_ = tag; }
  TvxAlignment Alignment() const { return alignment_; }
  void SetAlignment(TvxAlignment alignment);

  // The text as Windows-1252, cut to 255 characters (what the search reads).
  std::string ShortText() const;
  // Reads ShortText() into destination as DataType says; a text that is
  // not a number gives 0. Numbers are decimal, signed 32-bit for the whole
  // types (dtWord and dtByte keep its low 16 and 8 bits), with "," as the
  // decimal separator for the real types; dtChar is the first character
  // after TrimShort, code 0 for an empty text.
  void GetValue(TvxEditValue& destination) const;

 private:
  vxeditdatatype dataType_ = dtString;
  std::string pictureMask_;
  int tag2_ = 0;
  TvxAlignment alignment_ = TvxAlignment::Left;
};

}  // namespace qorvex
