// The saver. It reads no command line: however it is started, it behaves the same.
#include <unistd.h>

#include <QApplication>
#include <QOpenGLContext>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>
#if TRENCHWALK_FONTCONFIG
#include <fontconfig/fontconfig.h>

#include <thread>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/display_check.h"
#include "platform/qt_services.h"
#include "platform/saver.h"
#include "platform/single_instance.h"

namespace {

// Installed only while QApplication starts its platform: should Qt still fail
// after the checks (the display went away in between), its abort becomes one
// plain line and status 1. Qt's notes on the plugins it tried on the way are
// left out, since they are either followed by that line or moot.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    const std::string line = tw::platform::qtStartFailure(
        message.toStdString(), qEnvironmentVariable("QT_QPA_PLATFORM").toStdString());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    ::_exit(1);
  }
  if (context.category && (qstrcmp(context.category, "qt.qpa.plugin") == 0 ||
                           qstrcmp(context.category, "qt.qpa.xcb") == 0 ||
                           qstrcmp(context.category, "qt.qpa.wayland") == 0))
    return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

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

// The saver never draws with OpenGL, yet Qt's platform plugins would load
// an OpenGL integration (on Wayland the EGL one, which brings in Mesa's
// driver and LLVM: some 50 MB of memory). Naming one that does not exist
// keeps them out. The variables are Qt's own; whatever the user had set is
// given back once Qt has read them, so that programs the saver starts (the
// browser) get the environment it was given.
class NoOpenGL {
 public:
  NoOpenGL() {
    for (Setting& s : settings_) {
      s.wasSet = qEnvironmentVariableIsSet(s.name);
      s.was = qgetenv(s.name);
      qputenv(s.name, QByteArrayLiteral("none"));
    }
  }
  // After QApplication: Qt's Wayland plugin reads its variable the first time
  // it is asked about OpenGL, which is asked here, while the message Qt gives
  // about the integration it could not load is left out.
  void settle() {
    (void)QOpenGLContext::supportsThreadedOpenGL();
    for (const Setting& s : settings_) {
      if (s.wasSet)
        qputenv(s.name, s.was);
      else
        qunsetenv(s.name);
    }
  }

 private:
  struct Setting {
    const char* name;
    bool wasSet = false;
    QByteArray was;
  };
  Setting settings_[2] = {{"QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", false, {}},
                          {"QT_XCB_GL_INTEGRATION", false, {}}};
};

}  // namespace

int main() {
  // Before anything else: without a display there is nothing to do but say so.
  const tw::platform::DisplayEnvironment environment = tw::platform::DisplayEnvironment::ofThisProcess();
  tw::platform::SystemDisplayProbe probe;
  const tw::platform::StartPlan plan = tw::platform::planStart(environment, probe);
  if (!plan.error.empty()) {
    std::fprintf(stderr, "%s\n", plan.error.c_str());
    return 1;
  }
  std::string name = "trenchwalk", platformOption = "-platform", platforms = plan.platformArgument;
  std::vector<char*> arguments{name.data()};
  // Only when QT_QPA_PLATFORM is not set: on the command line, the list would
  // win over Qt's own variable.
  if (!platforms.empty()) {
    arguments.push_back(platformOption.data());
    arguments.push_back(platforms.data());
  }
  int argc = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);

#if TRENCHWALK_FONTCONFIG
  // fontconfig reads its configuration (dozens of files) the first time a
  // font is asked for, which the core's start does; read here, on a thread
  // of its own while Qt connects to the display, it is no longer in the way
  // of the first frame. Joined before anything asks for a font.
  std::jthread fontconfig([] { FcInit(); });
#endif
  NoOpenGL noOpenGL;
  const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
  QApplication app(argc, arguments.data());
  noOpenGL.settle();
  qInstallMessageHandler(previous);
  probe.letGo();
  if (!QGuiApplication::primaryScreen()) {
    const std::string line = tw::platform::noScreenFailure(QGuiApplication::platformName().toStdString());
    std::fprintf(stderr, "%s\n", line.c_str());
    return 1;
  }
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
  if (!saver.start()) return leave(saver.exitCode());
  // QApplication::exec() first connects to the accessibility bus, a blocking
  // D-Bus call of several milliseconds: the first picture goes to the screen
  // before that.
  saver.awaitFirstFrame();
  if (saver.finished()) return leave(saver.exitCode());
  const int status = QApplication::exec();
  return leave(saver.finished() ? saver.exitCode() : status);
}
