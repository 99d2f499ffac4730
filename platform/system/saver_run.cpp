#include "platform/system/saver_run.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/system/qt_services.h"
#include "platform/windows/saver.h"
#include "shell/clock.h"

namespace tw::platform {
namespace {

// Qt 6.4's Wayland client can hang for good while it tears down its display
// connection (its event thread waits on a read that the main thread gave up),
// and a hung saver keeps its lock and turns every later start away. Once the
// run has ended its record is on the disk and the kernel releases everything
// else, so on Wayland the process ends here, without that teardown.
int leave(int status) {
  if (QGuiApplication::platformName() != QLatin1String("wayland")) return status;
#if defined(__SANITIZE_ADDRESS__)
  // What is still in use is reachable from here and is no leak; what was
  // lost on the way is reported as at any other end.
  __lsan_do_leak_check();
#endif
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace

int runSaver(const std::string& logFolder, TickObserver* observer, EndSignals& endSignals,
             Heartbeat& heartbeat) {
  Clock clock;
  QtServices services;
  services.setLogFolder(logFolder);
  Saver saver(services, clock, observer);
  endSignals.open();
  saver.endOn(endSignals);
  saver.beatTo(heartbeat);
  if (!saver.start()) return leave(saver.exitCode());
  // QApplication::exec() first connects to the accessibility bus, a blocking
  // D-Bus call of several milliseconds: the first picture goes to the screen
  // before that.
  saver.awaitFirstFrame();
  if (saver.finished()) return leave(saver.exitCode());
  const int status = QApplication::exec();
  return leave(saver.finished() ? saver.exitCode() : status);
}

}  // namespace tw::platform
