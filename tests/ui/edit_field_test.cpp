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
  struct Case {
    vxeditdatatype type;
    const char* text;  // UTF-8, as typed
    TvxEditValue value;
  };
  for (const Case& c : {
           Case{dtInteger, "12a", int32_t{0}},
           Case{dtInteger, " -42 ", int32_t{-42}},
           Case{dtInteger, "+7", int32_t{7}},
           Case{dtInteger, "+-7", int32_t{0}},
           Case{dtInteger, "", int32_t{0}},
           Case{dtLongint, "2147483647", int32_t{2147483647}},
           Case{dtLongint, "2147483648", int32_t{0}},
           Case{dtWord, "70000", uint16_t{4464}},
           Case{dtWord, "-1", uint16_t{65535}},
           Case{dtByte, "300", uint8_t{44}},
           Case{dtByte, "x", uint8_t{0}},
           Case{dtChar, "  xy", 'x'},
           Case{dtChar, "   ", '\0'},
           Case{dtChar, "\xC3\xA4", '\xE4'},  // ä as Windows-1252
           Case{dtReal, "1,5", 1.5},
           Case{dtDouble, "-0,25", -0.25},
           Case{dtExtended, "3", 3.0},
           Case{dtReal, "1.5", 0.0},
           Case{dtReal, "1,2,3", 0.0},
           Case{dtReal, "1e5", 0.0},
           Case{dtSingle, "2,25", 2.25f},
           Case{dtString,
                "Gr\xC3\xBC\xC3\x9F"
                "e",
                std::string("Gr\xFC\xDF"
                            "e")},
       }) {
    TvxEdit edit;
    edit.SetDataType(c.type);
    edit.setText(QString::fromUtf8(c.text));
    TvxEditValue value;
    edit.GetValue(value);
    EXPECT_EQ(value, c.value) << c.text;
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
