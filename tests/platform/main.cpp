// The Qt layer's tests run against a real QApplication on the offscreen
// platform, so they draw with the saver's own fonts and need no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
  // CTest sets the platform for every run; the test listing at build time
  // runs without CTest's environment and must not need a display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  const int status = RUN_ALL_TESTS();
  // As the saver does: Qt 6.4's Wayland client can hang for good while it
  // tears down its display connection, so on Wayland the tests end here.
  if (QGuiApplication::platformName() == QLatin1String("wayland")) {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
