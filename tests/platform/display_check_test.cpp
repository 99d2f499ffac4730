#include "platform/start/display_check.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/system/no_opengl.h"
#include "platform/start/qt_arguments.h"

namespace tw::platform {
namespace {

// A machine described by what answers on it.
class FakeProbe : public DisplayProbe {
 public:
  bool connectX(const std::string& display) override {
    asked.push_back("x " + display);
    return xAnswers;
  }
  bool connectWayland(const std::string& path) override {
    asked.push_back("wayland " + path);
    return waylandAnswers;
  }
  bool pluginInstalled(const std::string& platform) override { return !missingPlugins.count(platform); }

  bool xAnswers = true;
  bool waylandAnswers = true;
  std::set<std::string> missingPlugins;
  std::vector<std::string> asked;
};

struct PlanCase {
  const char* name;
  DisplayEnvironment env;
  bool xAnswers, waylandAnswers;
  std::set<std::string> missingPlugins;
  // The -platform argument; empty when Qt chooses or nothing can start.
  std::string platformArgument;
  // Words the error line must hold; none when it starts.
  std::vector<std::string> errorHolds;
};

DisplayEnvironment x11() { return {.sessionType = "x11", .display = ":0"}; }
DisplayEnvironment waylandOnly() {
  return {.sessionType = "wayland", .waylandDisplay = "wayland-1", .runtimeDir = "/run/user/1000"};
}
DisplayEnvironment waylandWithXWayland() {
  DisplayEnvironment e = waylandOnly();
  e.display = ":1";
  return e;
}
DisplayEnvironment withQt(DisplayEnvironment e, std::string qpa) {
  e.qpaPlatform = std::move(qpa);
  return e;
}

const std::string kDeps = "scripts/deps.sh run";

const PlanCase kPlanCases[] = {
    {"NoDisplayAtAllSaysSo", {}, true, true, {}, "", {"neither WAYLAND_DISPLAY nor DISPLAY", kDeps}},
    {"X11SessionUsesX11", x11(), true, true, {}, "xcb", {}},
    {"X11WithoutASessionTypeUsesX11", {.display = ":0"}, true, true, {}, "xcb", {}},
    {"WaylandOnlyUsesWayland", waylandOnly(), true, true, {}, "wayland", {}},
    {"WaylandWithoutASessionTypeUsesWayland",
     {.waylandDisplay = "wayland-1", .runtimeDir = "/run/user/1000"}, true, true, {}, "wayland", {}},
    {"WaylandSessionKeepsXWaylandAsFallback", waylandWithXWayland(), true, true, {}, "wayland;xcb", {}},
    {"WaylandPluginMissingFallsBackToXWayland", waylandWithXWayland(), true, true, {"wayland"}, "xcb", {}},
    {"WaylandPluginMissingWithoutXSaysWhichPackage", waylandOnly(), true, true, {"wayland"}, "",
     {"\"wayland\" platform plugin is not installed", "qt6-wayland", kDeps}},
    {"CompositorGoneFallsBackToXWayland", waylandWithXWayland(), true, false, {}, "xcb", {}},
    {"X11SessionWithANestedCompositorStaysOnX11",
     {.sessionType = "x11", .display = ":0", .waylandDisplay = "wayland-1", .runtimeDir = "/run/user/1"},
     true, true, {}, "xcb;wayland", {}},
    {"XServerNotAnsweringSaysWhere", {.display = ":7"}, false, true, {}, "",
     {"no X server answers at DISPLAY=:7", kDeps}},
    {"NothingAnsweringNamesBoth", waylandWithXWayland(), false, false, {}, "",
     {"no Wayland compositor listens at /run/user/1000/wayland-1", "no X server answers at DISPLAY=:1", kDeps}},
    {"WaylandSessionWithoutRuntimeFolderSaysSo", {.sessionType = "wayland"}, true, true, {}, "",
     {"XDG_RUNTIME_DIR is not set", kDeps}},
    {"XcbPluginMissingSaysWhichPackage", x11(), true, true, {"xcb"}, "", {"libqt6gui6", kDeps}},
    // QT_QPA_PLATFORM is Qt's: it still chooses; the saver only checks it can start.
    {"QtsVariableChoosesX11", withQt(waylandWithXWayland(), "xcb"), true, true, {}, "", {}},
    {"QtsVariableChoosesWayland", withQt(waylandWithXWayland(), "wayland"), true, true, {}, "", {}},
    {"QtsVariableWithOptions", withQt({}, "offscreen:configfile=/x.json"), true, true, {}, "", {}},
    {"QtsVariableNamesAMissingPlugin", withQt(x11(), "wayland"), true, true, {"wayland"}, "",
     {"qt6-wayland", kDeps}},
    {"QtsVariableNamesAnUnknownPlatform", withQt(x11(), "nosuch"), true, true, {"nosuch"}, "",
     {"\"nosuch\" platform plugin is not installed", kDeps}},
    {"QtsVariableNamesAnX11ThatDoesNotAnswer", withQt(waylandWithXWayland(), "xcb"), false, true, {}, "",
     {"no X server answers at DISPLAY=:1"}},
    {"QtsListIsTriedInItsOrder", withQt(waylandWithXWayland(), "wayland;xcb"), true, false, {}, "", {}},
};

TEST(StartPlan, ChoosesThePlatformOrSaysInOneLineWhatIsMissing) {
  for (const PlanCase& c : kPlanCases) {
    SCOPED_TRACE(c.name);
    FakeProbe probe;
    probe.xAnswers = c.xAnswers;
    probe.waylandAnswers = c.waylandAnswers;
    probe.missingPlugins = c.missingPlugins;
    const auto plan = planStart(c.env, probe);
    EXPECT_EQ(plan.platformArgument, c.platformArgument);
    if (c.errorHolds.empty()) {
      EXPECT_EQ(plan.error, "");
      continue;
    }
    EXPECT_EQ(plan.error.rfind("trenchwalk: ", 0), 0u) << plan.error;
    EXPECT_EQ(plan.error.find('\n'), std::string::npos) << plan.error;
    for (const std::string& words : c.errorHolds) EXPECT_NE(plan.error.find(words), std::string::npos) << plan.error;
  }
}

TEST(StartPlan, TheWaylandSocketIsLookedForWhereLibwaylandLooks) {
  FakeProbe probe;
  planStart({.sessionType = "wayland", .runtimeDir = "/run/user/5"}, probe);
  planStart({.waylandDisplay = "/tmp/sway.sock"}, probe);
  EXPECT_EQ(probe.asked, (std::vector<std::string>{"wayland /run/user/5/wayland-0", "wayland /tmp/sway.sock"}));
}

TEST(StartPlan, AHandedDownWaylandConnectionNeedsNoSocket) {
  FakeProbe probe;
  probe.waylandAnswers = false;
  const auto plan = planStart({.waylandSocket = true}, probe);
  EXPECT_EQ(plan.platformArgument, "wayland");
  EXPECT_TRUE(probe.asked.empty());
}

TEST(StartPlan, QtsFailureAfterTheChecksIsOneLineWithTheWayOut) {
  const std::string line = qtStartFailure("Could not find DRM device!\nmore\n", "eglfs");
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_NE(line.find("eglfs: Could not find DRM device!"), std::string::npos) << line;
  EXPECT_NE(line.find(kDeps), std::string::npos) << line;
  EXPECT_NE(noScreenFailure("linuxfb").find(kDeps), std::string::npos);
}

TEST(SystemDisplayProbe, FindsInstalledPluginsOnlyAndNoCompositorAtAMissingSocket) {
  SystemDisplayProbe probe;
  // The tests run on the offscreen platform, so its plugin is there.
  EXPECT_TRUE(probe.pluginInstalled("offscreen"));
  EXPECT_FALSE(probe.pluginInstalled("no-such-platform"));
  EXPECT_FALSE(probe.connectWayland("/nonexistent/wayland-0"));
  EXPECT_FALSE(probe.connectWayland(std::string(200, 'x')));
}

// Pauses noted instead of waited.
struct NotedPauses {
  SystemDisplayProbe::Pause pause() {
    return [this](std::chrono::milliseconds span) { spans.push_back(span.count()); };
  }
  std::vector<long long> spans;
};

// A display name that cannot be parsed is not tried again; a server starting
// or resetting refuses for a moment: tried again for about two seconds in all
// before the saver gives up.
TEST(SystemDisplayProbe, AnUnparsedNameIsTriedOnceARefusedConnectionForAboutTwoSeconds) {
  NotedPauses noted;
  SystemDisplayProbe probe(noted.pause());
  EXPECT_FALSE(probe.connectX("not a display"));
  EXPECT_TRUE(noted.spans.empty());
  // No server listens on display 97 here: every try is refused.
  EXPECT_FALSE(probe.connectX(":97"));
  ASSERT_GE(noted.spans.size(), 3u);
  long long total = 0;
  for (long long ms : noted.spans) total += ms;
  constexpr long long kAtLeast = 1500, kAtMost = 2500;
  EXPECT_GE(total, kAtLeast);
  EXPECT_LE(total, kAtMost);
}

// What QApplication is given: the program's name, and the platforms to try
// only when the display check chose them, ending with a null pointer.
TEST(QtArguments, NamesThePlatformsOnlyWhenTheCheckChoseThem) {
  struct Case {
    std::string platforms;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"wayland;xcb", {"trenchwalk", "-platform", "wayland;xcb"}},
      {"xcb", {"trenchwalk", "-platform", "xcb"}},
      {"", {"trenchwalk"}},
  };
  for (const Case& c : cases) {
    QtArguments arguments(c.platforms);
    ASSERT_EQ(arguments.count(), static_cast<int>(c.expected.size())) << c.platforms;
    for (size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(std::string(arguments.values()[i]), c.expected[i]) << c.platforms;
    EXPECT_EQ(arguments.values()[c.expected.size()], nullptr) << c.platforms;
  }
}

// Qt's OpenGL integrations are named away while Qt starts, and the user's own
// settings, set or not, are given back afterwards for the programs the saver
// starts.
TEST(NoOpenGL, NamesNoIntegrationThenGivesTheUsersSettingsBack) {
  constexpr const char* kWayland = "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION";
  constexpr const char* kXcb = "QT_XCB_GL_INTEGRATION";
  const auto now = [](const char* name) {
    return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
  };
  const std::optional<QByteArray> waylandWas = now(kWayland), xcbWas = now(kXcb);
  qunsetenv(kWayland);
  qputenv(kXcb, QByteArrayLiteral("xcb_egl"));
  {
    NoOpenGL noOpenGL;
    EXPECT_EQ(qgetenv(kWayland), QByteArrayLiteral("none"));
    EXPECT_EQ(qgetenv(kXcb), QByteArrayLiteral("none"));
    noOpenGL.settle();
  }
  EXPECT_FALSE(qEnvironmentVariableIsSet(kWayland));
  EXPECT_EQ(qgetenv(kXcb), QByteArrayLiteral("xcb_egl"));
  for (const auto& [name, was] : {std::pair{kWayland, waylandWas}, {kXcb, xcbWas}})
    was ? qputenv(name, *was) : qunsetenv(name);
}

}  // namespace
}  // namespace tw::platform
