// The settings file: every key, comments and blanks, bad lines and unknown
// keys (one warning each, the rest still applies), a missing and an
// unreadable file, the command line winning, and the window's rewrite that
// keeps every line it does not set.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/small_file.h"
#include "idle/config/idle_settings.h"
#include "idle/loop/settings_watch.h"

namespace tw::idle {
namespace {

struct FileCase { const char* text; IdleSettings expected; std::vector<std::string> warnings; };

TEST(IdleSettings, ReadsEveryKeyAndWarnsOncePerBadLine) {
  const IdleSettings d;  // the defaults
  const FileCase cases[] = {
      {"", d, {}},
      {"# only a comment\n\n   \n\t# another\n", d, {}},
      {"enabled = no\ndelay = 600\nlock-after = 10\nlocker = swaylock -f\n",
       {false, 600, 10, "swaylock -f"}, {}},
      {"enabled=yes\r\n  delay\t=  90   # a minute and a half\r\nlock-after = off", {true, 90, 0, ""},
       {}},
      {"lock-after = 5\nlocker = i3lock -c '#000000' # black\n", {true, 180, 5, "i3lock -c '#000000'"},
       {}},
      {"locker =               # empty: the desktop's own\nenabled = off\n", {false, 180, 0, ""},
       {}},
      {"delay = 60\ndelay = 120\n", {true, 120, 0, ""}, {}},
      {"delay = 0\ndelay = 86401\ndelay = 5s\nenabled = maybe\nlock-after = 1441\nlock-after = 0\n"
       "enabled = no\n",
       {false, 180, 0, ""},
       {"f:1: delay takes 1 to 86400 seconds, not \"0\"; the line is ignored",
        "f:2: delay takes 1 to 86400 seconds, not \"86401\"; the line is ignored",
        "f:3: delay takes 1 to 86400 seconds, not \"5s\"; the line is ignored",
        "f:4: enabled takes yes or no, not \"maybe\"; the line is ignored",
        "f:5: lock-after takes off or 1 to 1440 minutes, not \"1441\"; the line is ignored",
        "f:6: lock-after takes off or 1 to 1440 minutes, not \"0\"; the line is ignored"}},
      {"# x\ncolour = red\ndelay 60\n= 5\ndelay = 30\n", {true, 30, 0, ""},
       {"f:2: unknown key \"colour\" (known: enabled, delay, lock-after, locker); the line is ignored",
        "f:3: \"delay 60\" is not a \"key = value\" line; the line is ignored",
        "f:4: unknown key \"\" (known: enabled, delay, lock-after, locker); the line is ignored"}},
  };
  for (const FileCase& c : cases) {
    const SettingsReading reading = parseSettings("f", c.text);
    EXPECT_EQ(settle(CommandLine{}, reading.settings), c.expected) << c.text;
    EXPECT_EQ(reading.warnings, c.warnings) << c.text;
  }
}

TEST(IdleSettings, TheCommandLineWinsKeyByKey) {
  const SettingsFromFile file =
      parseSettings("f", "enabled = no\ndelay = 600\nlock-after = 10\nlocker = a\n").settings;
  const struct { std::vector<std::string> arguments; IdleSettings expected; } cases[] = {
      {{}, {false, 600, 10, "a"}}, {{"30"}, {false, 30, 10, "a"}}, {{"180"}, {false, 180, 10, "a"}},
      {{"--lock-after", "2"}, {false, 600, 2, "a"}},
      {{"--lock-after", "2", "--locker", "b"}, {false, 600, 2, "b"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(settle(parseCommandLine(c.arguments), file), c.expected) << c.arguments.size();
}

TEST(IdleSettings, AMissingFileIsSilentAndAnUnreadableOneWarnsOnce) {
  const std::string folder = testing::TempDir() + "idle_settings_test";
  ::mkdir(folder.c_str(), 0700);
  ::mkdir((folder + "/folder").c_str(), 0700);
  ::unlink((folder + "/fifo").c_str());
  ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
  const struct {
    std::string name;
    std::size_t warnings;
  } cases[] = {{"missing", 0}, {"folder", 1}, {"fifo", 1}, {"missing/below", 0}};
  for (const auto& c : cases) {
    const std::string path = folder + "/" + c.name;
    const common::SmallFile file = common::readSmallFile(path);
    const SettingsReading reading = readingOf(path, file.text, file.problem);
    EXPECT_FALSE(file.text) << c.name;
    EXPECT_EQ(settle(CommandLine{}, reading.settings), IdleSettings{}) << c.name;
    ASSERT_EQ(reading.warnings.size(), c.warnings) << c.name;
    for (const std::string& warning : reading.warnings)
      EXPECT_EQ(warning.rfind(path + ": cannot be read (", 0), 0u) << warning;
  }
}

TEST(IdleSettings, TheRewriteKeepsWhatItDoesNotSetAndReadsBackTheSame) {
  const IdleSettings wanted{false, 600, 15, "swaylock -f"};
  const struct { const char* before; const char* after; } cases[] = {
      {"", "enabled = no\ndelay = 600\nlock-after = 15\nlocker = swaylock -f\n"},
      {"# mine\ndelay = 180          # seconds\ncolour = red\r\nlocker =\n\nenabled = yes",
       "# mine\ndelay = 600          # seconds\ncolour = red\r\nlocker = swaylock -f\n\n"
       "enabled = no\nlock-after = 15\n"},
      {"delay = 1 # x\ndelay = 2\n", "delay = 600 # x\ndelay = 600\nenabled = no\n"
                                     "lock-after = 15\nlocker = swaylock -f\n"},
  };
  for (const auto& c : cases) {
    const std::string after = rewriteSettings(c.before, wanted);
    EXPECT_EQ(after, c.after) << c.before;
    EXPECT_EQ(settle(CommandLine{}, parseSettings("f", after).settings), wanted) << c.before;
  }
  EXPECT_EQ(rewriteSettings("", IdleSettings{}),
            "enabled = yes\ndelay = 180\nlock-after = off\nlocker =\n");
}

TEST(IdleSettings, TheFileLivesInTheConfigurationFolder) {
  EXPECT_EQ(settingsPath("/c", "/h"), "/c/trenchwalk/idle.conf");
  EXPECT_EQ(settingsPath(nullptr, "/h"), "/h/.config/trenchwalk/idle.conf");
  EXPECT_EQ(settingsPath("relative", "/h"), "/h/.config/trenchwalk/idle.conf");
  EXPECT_EQ(settingsPath("", nullptr), std::nullopt);
}

// What the launcher's watch reports after each step: only what touches the
// file, its folder made after the start included, and nothing else.
TEST(SettingsWatch, SeesAnEditorsRenameANewFolderAndARemovalButNothingElse) {
  const std::string config = testing::TempDir() + "settings_watch_test";
  std::system(("rm -rf '" + config + "' && mkdir '" + config + "'").c_str());
  const std::string folder = config + "/trenchwalk";
  const std::string file = folder + "/idle.conf";
  int changes = 0;
  SettingsWatch watch(file, [&changes] { ++changes; });
  ASSERT_EQ(watch.problem(), "");
  const auto write = [](const std::string& path) { std::ofstream(path) << "delay = 5\n"; };
  const struct { const char* step; std::function<void()> act; bool change; } steps[] = {
      {"another file beside the folder", [&] { write(config + "/other"); }, false},
      {"the folder made", [&] { ::mkdir(folder.c_str(), 0700); }, true},
      {"another file in the folder", [&] { write(folder + "/other"); }, false},
      {"written in place", [&] { write(file); }, true},
      {"replaced by rename",
       [&] {
         write(file + ".new");
         std::rename((file + ".new").c_str(), file.c_str());
       },
       true},
      {"removed", [&] { std::remove(file.c_str()); }, true},
  };
  for (const auto& step : steps) {
    changes = 0;
    step.act();
    PollRequest request;
    ASSERT_TRUE(watch.prepare(request));
    pollfd fd{request.fd, request.events, 0};
    ASSERT_GE(::poll(&fd, 1, 0), 0);
    ASSERT_TRUE(watch.dispatch(fd.revents));
    EXPECT_EQ(changes != 0, step.change) << step.step;
  }
}

}  // namespace
}  // namespace tw::idle
