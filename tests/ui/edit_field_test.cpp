// SPDX-License-Identifier: GPL-3.0-or-later
// The edit field's typed reading, and the font and scaling services.
#include "app/ui/edit_field.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include "app/ui/screen_fonts.h"
#include "app/ui/screen_scaling.h"

namespace qorvex {
namespace {

TEST(Edit, GetValueByDataType) {
  // The data type, the text as typed (UTF-8), the value read.
  // clang-format off
  const std::tuple<vxeditdatatype, const char*, TvxEditValue> cases[] = {
      {dtInteger, "12a", int32_t{0}}, {dtInteger, " -42 ", int32_t{-42}},
      {dtInteger, "+7", int32_t{7}}, {dtInteger, "+-7", int32_t{0}}, {dtInteger, "", int32_t{0}},
      {dtLongint, "2147483647", int32_t{2147483647}}, {dtLongint, "2147483648", int32_t{0}},
      {dtWord, "70000", uint16_t{4464}}, {dtWord, "-1", uint16_t{65535}},
      {dtByte, "300", uint8_t{44}}, {dtByte, "x", uint8_t{0}}, {dtChar, "  xy", 'x'},
      {dtChar, "   ", '\0'}, {dtChar, "\xC3\xA4", '\xE4'},  // ä as Windows-1252
      {dtReal, "1,5", 1.5}, {dtDouble, "-0,25", -0.25}, {dtExtended, "3", 3.0},
      {dtReal, "1.5", 0.0}, {dtReal, "1,2,3", 0.0}, {dtReal, "1e5", 0.0}, {dtSingle, "2,25", 2.25f},
      {dtString, "Gr\xC3\xBC\xC3\237e", std::string("Gr\xFC\337e")}};
  // clang-format on
  for (const auto& [type, text, want] : cases) {
    TvxEdit edit;
    edit.SetDataType(type);
    edit.setText(QString::fromUtf8(text));
    TvxEditValue value;
    edit.GetValue(value);
    EXPECT_EQ(value, want) << text;
  }
  TvxEdit edit;
  edit.setText(QString(300, QLatin1Char('a')));
  EXPECT_EQ(edit.ShortText().size(), 255u);
  edit.SetPictureMask("99.999");
  EXPECT_EQ(edit.PictureMask(), "##.###");
  edit.SetAlignment(TvxAlignment::Right);
  EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
}

TEST(Services, FontsAndScaling) {
  // The designed font names resolve to a metric-compatible font at the
  // designed pixel size.
  for (const char* family : {"Arial", "MS Sans Serif"}) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(12);
    const QFontInfo info(font);
    EXPECT_EQ(info.family(), "Liberation Sans") << family;
    EXPECT_EQ(info.pixelSize(), 12) << family;
  }
  if (!QFontDatabase::hasFamily(QString::fromLatin1(kPreferredFont))) {
    EXPECT_EQ(ScreenSS().FontName, "Arial");
  }
  // Qt reports device-independent pixels at 96 dpi and scales by itself,
  // so sizes pass unchanged on the test screen, and always when off.
  TToWinskal dpi_scale;
  EXPECT_EQ(dpi_scale.ScreenDpi(), 96);
  EXPECT_EQ(dpi_scale.ScaleToScreen(true, 15), 15);
  dpi_scale.UseScreenDpi = false;
  EXPECT_EQ(dpi_scale.ScreenDpi(), 96);
  EXPECT_EQ(dpi_scale.ScaleToDesign(false, 100), 100);
}

}  // namespace
}  // namespace qorvex
