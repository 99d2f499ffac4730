// The saver. It reads no command line: however it is started, it behaves the same.
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QOpenGLContext>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>
#if TRENCHWALK_FONTCONFIG
#include <fontconfig/fontconfig.h>

#include <system_error>
#include <thread>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/system/display_check.h"
#include "platform/system/executable_folder.h"
#include "platform/system/held_folder.h"
#include "platform/system/log_place.h"
#include "platform/system/qt_services.h"
#include "platform/system/single_instance.h"
#include "platform/windows/saver.h"
#include "platform/windows/tick_observer.h"

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

void carryOn(int) {}

// A write past the file-size limit (SIGXFSZ) or into a closed pipe or socket
// (SIGPIPE, a stderr whose reader has gone) would kill the saver, midway
// through a record or before its window shows. Caught by a handler that does
// nothing, the write fails instead (EFBIG, EPIPE), and the log's rules deal
// with that. A handler rather than SIG_IGN: programs the saver starts (the
// desktop's opener of the web page) get the default back at exec, as they
// expect.
void survivePipesAndFileLimits() {
  struct sigaction action {};
  action.sa_handler = carryOn;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  (void)sigaction(SIGPIPE, &action, nullptr);
  (void)sigaction(SIGXFSZ, &action, nullptr);
}

// Under a limit on its address space (ulimit -v, prlimit --as) Qt and the
// libraries below it fail one allocation or thread somewhere in their start
// and crash (fontconfig reading its configuration, a thread Qt cannot
// start). The saver asks for its room before it starts anything: this much
// more than the program itself takes, which is about twice what one screen,
// its fonts, a box and the report were seen to need.
bool roomToStart() {
  constexpr size_t kStartRoom = size_t{128} << 20;
  void* room =
      ::mmap(nullptr, kStartRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) return false;
  ::munmap(room, kStartRoom);
  return true;
}

std::string addressSpaceLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return "memory is short";
  return "its address space is limited to " + std::to_string(limit.rlim_cur >> 20) +
         " MiB (ulimit -v)";
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
  survivePipesAndFileLimits();
  if (!roomToStart()) {
    std::fprintf(stderr,
                 "trenchwalk: not enough memory to start: %s, and it needs room for about 128 MiB "
                 "more than the program itself\n",
                 addressSpaceLimit().c_str());
    return 1;
  }
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
  // Without room for one more thread, fontconfig is set up when first asked.
  std::jthread fontconfig;
  try {
    fontconfig = std::jthread([] { FcInit(); });
  } catch (const std::system_error&) {
  }
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
  if (fontconfig.joinable()) fontconfig.join();
#endif

  // Taken before anything reads or writes walked.log: the folder is chosen
  // and held once, and every file call of the run goes through it.
  const tw::platform::LogPlace place = tw::platform::findLogPlace(tw::platform::executableFolder());
  tw::platform::HeldFolder logFolder;
  if (!place.folder.empty() && !logFolder.hold(place.folder))
    std::cerr << "trenchwalk: no walked.log is kept: " << place.folder << " cannot be opened\n";
  else if (place.folder.empty())
    std::cerr << "trenchwalk: no walked.log is kept: " << place.whyNone << "\n";
  tw::platform::InstanceGuard lock;
  if (lock.acquire(logFolder.path().empty() ? std::string() : place.folder,
                   std::getenv("XDG_RUNTIME_DIR"),
                   std::cerr) == tw::platform::InstanceLock::HeldElsewhere)
    return 0;

  tw::Clock clock;
  tw::platform::QtServices services;
  services.setLogFolder(logFolder.path());
  const std::unique_ptr<tw::platform::TickObserver> observer = tw::platform::makeTickObserver();
  tw::platform::Saver saver(services, clock, observer.get());
  if (!saver.start()) return leave(saver.exitCode());
  // QApplication::exec() first connects to the accessibility bus, a blocking
  // D-Bus call of several milliseconds: the first picture goes to the screen
  // before that.
  saver.awaitFirstFrame();
  if (saver.finished()) return leave(saver.exitCode());
  const int status = QApplication::exec();
  return leave(saver.finished() ? saver.exitCode() : status);
}
