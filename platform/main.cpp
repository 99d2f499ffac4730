// The saver. It reads no command line: however it is started, it behaves the same.
#include <QApplication>
#include <QLockFile>

#include "platform/qt_services.h"
#include "platform/saver.h"
#include "platform/single_instance.h"

int main() {
  static int argc = 1;
  static char name[] = "trenchwalk";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("trenchwalk"));
  QApplication::setQuitOnLastWindowClosed(false);

  // Taken before anything reads or writes walked.log.
  QLockFile lock(tw::platform::lockPathIn(QCoreApplication::applicationDirPath()));
  if (tw::platform::acquireInstanceLock(lock) == tw::platform::InstanceLock::HeldElsewhere) return 0;

  tw::platform::QtServices services;
  tw::platform::Saver saver(services);
  if (!saver.start()) return saver.exitCode();
  const int status = QApplication::exec();
  return saver.finished() ? saver.exitCode() : status;
}
