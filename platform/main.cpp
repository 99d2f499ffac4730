// The saver. It reads no command line: however it is started, it behaves the same.
#include <QApplication>
#include <cstdlib>
#include <iostream>
#if TRENCHWALK_FONTCONFIG
#include <fontconfig/fontconfig.h>

#include <thread>
#endif

#include "platform/qt_services.h"
#include "platform/saver.h"
#include "platform/single_instance.h"

int main() {
  static int argc = 1;
  static char name[] = "trenchwalk";
  static char* argv[] = {name, nullptr};
#if TRENCHWALK_FONTCONFIG
  // fontconfig reads its configuration (dozens of files) the first time a
  // font is asked for, which the core's start does; read here, on a thread
  // of its own while Qt connects to the display, it is no longer in the way
  // of the first frame. Joined before anything asks for a font.
  std::jthread fontconfig([] { FcInit(); });
#endif
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("trenchwalk"));
  QApplication::setQuitOnLastWindowClosed(false);
#if TRENCHWALK_FONTCONFIG
  fontconfig.join();
#endif

  // Taken before anything reads or writes walked.log.
  const std::string folder = tw::platform::executableFolder();
  if (folder.empty())
    std::cerr << "trenchwalk: the executable's folder cannot be found (/proc/self/exe); no walked.log is kept\n";
  tw::platform::InstanceGuard lock;
  if (lock.acquire(folder, std::getenv("XDG_RUNTIME_DIR"), std::cerr) ==
      tw::platform::InstanceLock::HeldElsewhere)
    return 0;

  tw::Clock clock;
  tw::platform::QtServices services;
  tw::platform::Saver saver(services, clock);
  if (!saver.start()) return saver.exitCode();
  // QApplication::exec() first connects to the accessibility bus, a blocking
  // D-Bus call of several milliseconds: the first picture goes to the screen
  // before that.
  saver.awaitFirstFrame();
  if (saver.finished()) return saver.exitCode();
  const int status = QApplication::exec();
  return saver.finished() ? saver.exitCode() : status;
}
