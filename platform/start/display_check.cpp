#include "platform/start/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>

#if TRENCHWALK_X11
#include <xcb/xcb.h>
#endif

namespace tw::platform {
namespace {

// libwayland's own default when WAYLAND_DISPLAY is not set.
constexpr const char* kDefaultWaylandDisplay = "wayland-0";

// What every failure line ends with: how to get what is missing.
constexpr const char* kAdvice =
    "Run scripts/deps.sh run to install what the saver needs (Qt's X11 and Wayland support), "
    "start it inside a desktop session, or choose one with QT_QPA_PLATFORM=wayland or "
    "QT_QPA_PLATFORM=xcb.";

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string join(const std::vector<std::string>& parts, const char* between) {
  std::string all;
  for (const std::string& p : parts) all += (all.empty() ? "" : between) + p;
  return all;
}

std::string env(const char* name) { return qEnvironmentVariable(name).toStdString(); }

bool isWayland(const std::string& platform) { return platform.rfind("wayland", 0) == 0; }

// The Debian package that holds Qt's plugin for `platform`, if it is one of the two the saver is meant for.
std::string packageOf(const std::string& platform) {
  if (platform == "xcb") return "libqt6gui6";
  if (isWayland(platform)) return "qt6-wayland";
  return {};
}

std::string missingPlugin(const std::string& platform) {
  std::string line = "Qt's \"" + platform + "\" platform plugin is not installed";
  const std::string package = packageOf(platform);
  if (!package.empty()) line += " (Debian package " + package + ")";
  return line;
}

// Where the Wayland socket of `env` lies, or why there is none.
std::string waylandSocketPath(const DisplayEnvironment& env, std::string& problem) {
  const std::string name = env.waylandDisplay.empty() ? kDefaultWaylandDisplay : env.waylandDisplay;
  if (name.front() == '/') return name;
  if (env.runtimeDir.empty()) {
    problem = "XDG_RUNTIME_DIR is not set, so the Wayland display \"" + name + "\" cannot be found";
    return {};
  }
  return env.runtimeDir + "/" + name;
}

// Why `platform` cannot be used here; empty when it can. A missing plugin
// comes first: with it missing, nothing else matters.
std::string problemWith(const std::string& platform, const DisplayEnvironment& env, DisplayProbe& probe) {
  if (!probe.pluginInstalled(platform)) return missingPlugin(platform);
  if (platform == "xcb") {
    if (env.display.empty()) return "DISPLAY is not set (no X server to show the saver on)";
    if (!probe.connectX(env.display)) return "no X server answers at DISPLAY=" + env.display;
  } else if (isWayland(platform) && !env.waylandSocket) {
    std::string problem;
    const std::string path = waylandSocketPath(env, problem);
    if (!problem.empty()) return problem;
    if (!probe.connectWayland(path)) return "no Wayland compositor listens at " + path;
  }
  return {};
}

}  // namespace

DisplayEnvironment DisplayEnvironment::ofThisProcess() {
  DisplayEnvironment e;
  e.qpaPlatform = env("QT_QPA_PLATFORM");
  e.sessionType = env("XDG_SESSION_TYPE");
  e.display = env("DISPLAY");
  e.waylandDisplay = env("WAYLAND_DISPLAY");
  e.runtimeDir = env("XDG_RUNTIME_DIR");
  e.waylandSocket = !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET");
  return e;
}

std::vector<std::string> platformsToTry(const DisplayEnvironment& env) {
  const std::string session = lower(env.sessionType);
  const bool wayland = !env.waylandDisplay.empty() || env.waylandSocket || session == "wayland";
  const bool x11 = !env.display.empty();
  std::vector<std::string> order;
  // Qt's own order: the session's window system first. An X11 session that
  // also has a compositor (a nested one, say) stays on X11.
  if (wayland && session != "x11") order.push_back("wayland");
  if (x11) order.push_back("xcb");
  if (wayland && session == "x11") order.push_back("wayland");
  return order;
}

StartPlan planStart(const DisplayEnvironment& env, DisplayProbe& probe) {
  const bool chosenByQt = !env.qpaPlatform.empty();
  std::vector<std::string> candidates;
  if (chosenByQt) {
    // Qt's list: platforms separated by ';', each with its options after ':'.
    for (const QString& part : QString::fromStdString(env.qpaPlatform).split(u';', Qt::SkipEmptyParts))
      candidates.push_back(lower(part.section(u':', 0, 0).trimmed().toStdString()));
  } else {
    candidates = platformsToTry(env);
  }
  StartPlan plan;
  if (candidates.empty()) {
    plan.error = std::string("trenchwalk: no display to show the saver on: neither WAYLAND_DISPLAY nor DISPLAY "
                             "is set. ") + kAdvice;
    return plan;
  }
  std::vector<std::string> usable, problems;
  for (const std::string& c : candidates) {
    const std::string problem = problemWith(c, env, probe);
    if (problem.empty())
      usable.push_back(c);
    else
      problems.push_back(problem);
  }
  if (usable.empty()) {
    plan.error = "trenchwalk: cannot open a display: " + join(problems, "; ") + ". " + kAdvice;
    return plan;
  }
  if (!chosenByQt) plan.platformArgument = join(usable, ";");
  return plan;
}

std::string qtStartFailure(const std::string& qtMessage, const std::string& qpaPlatform) {
  std::string first = qtMessage.substr(0, qtMessage.find('\n'));
  const std::string platform = qpaPlatform.empty() ? "wayland or xcb" : qpaPlatform;
  return "trenchwalk: Qt could not start on " + platform + ": " + first + " " + kAdvice;
}

std::string noScreenFailure(const std::string& platform) {
  return "trenchwalk: Qt found no screen on " + platform + " to show the saver on. " + kAdvice;
}

// --- The real machine.

struct SystemDisplayProbe::XConnection {
#if TRENCHWALK_X11
  xcb_connection_t* connection = nullptr;
  ~XConnection() {
    if (connection) xcb_disconnect(connection);
  }
#endif
};

SystemDisplayProbe::SystemDisplayProbe(Pause pause) : pause_(std::move(pause)) {}
SystemDisplayProbe::~SystemDisplayProbe() = default;

void SystemDisplayProbe::letGo() { x_.reset(); }

// Only ever called before the program's first window exists, never from a
// handler.
void SystemDisplayProbe::sleepFor(std::chrono::milliseconds span) { std::this_thread::sleep_for(span); }

bool SystemDisplayProbe::connectX(const std::string& display) {
#if TRENCHWALK_X11
  // A server that is starting, or resetting because its last client just
  // left, refuses or drops connections for a moment: tried again for about
  // two seconds before giving up.
  constexpr int kWaitsMs[] = {50, 100, 200, 400, 600, 650};
  for (int attempt = 0;; ++attempt) {
    auto x = std::make_unique<XConnection>();
    x->connection = xcb_connect(display.c_str(), nullptr);
    const int error = xcb_connection_has_error(x->connection);
    if (error == 0) {
      x_ = std::move(x);
      return true;
    }
    // A display name that cannot be parsed, or a screen the server lacks,
    // stays wrong however long one waits.
    if (error != XCB_CONN_ERROR || attempt == static_cast<int>(std::size(kWaitsMs))) return false;
    pause_(std::chrono::milliseconds(kWaitsMs[attempt]));
  }
#else
  // Without libxcb the saver cannot try; Qt will.
  (void)display;
  return true;
#endif
}

bool SystemDisplayProbe::connectWayland(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return connected;
}

bool SystemDisplayProbe::pluginInstalled(const std::string& platform) {
  // Qt's plugin file names: libqxcb.so, libqwayland-generic.so for "wayland",
  // libqwayland-egl.so for "wayland-egl", libqoffscreen.so...
  const QString file = QStringLiteral("libq%1.so")
                           .arg(QString::fromStdString(platform == "wayland" ? "wayland-generic" : platform));
  QStringList folders;
  const QString platformPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
  if (!platformPath.isEmpty()) folders << platformPath;
  for (const QString& p : qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts))
    folders << p + QStringLiteral("/platforms");
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
  bool anyFolder = false;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    if (!dir.exists()) continue;
    anyFolder = true;
    if (dir.exists(file)) return true;
  }
  // No plugin folder at all: Qt's plugins are built in, or lie where only Qt
  // knows; Qt will say.
  return !anyFolder;
}

}  // namespace tw::platform
