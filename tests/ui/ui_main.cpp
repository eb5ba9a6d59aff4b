// SPDX-License-Identifier: GPL-3.0-or-later
// The window-layer tests' main: one QApplication for all of them, on the
// offscreen platform unless another one is asked for, with a configuration
// folder of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/ui/screen_fonts.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  // The user's preferences go to a folder of the run, never the tester's.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  qorvex::InstallFontSubstitutions();
  return RUN_ALL_TESTS();
}
