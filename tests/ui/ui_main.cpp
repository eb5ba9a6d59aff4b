// The window-layer tests' main: one QApplication for all of them, on the
// offscreen platform unless another one is asked for.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/screen_fonts.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  qorvex::InstallFontSubstitutions();
  return RUN_ALL_TESTS();
}
