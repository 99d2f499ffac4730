// The Qt layer's tests run against a real QApplication on the offscreen
// platform, so they draw with the saver's own fonts and need no display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // CTest sets the platform for every run; the test listing at build time
  // runs without CTest's environment and must not need a display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
