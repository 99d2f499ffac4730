// What the process takes from the one that started it and hands to the
// programs it starts: the heartbeat's descriptor and the ending signals; and
// the descriptors it has to spare.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/driver/saver.h"
#include "platform/system/descriptors.h"
#include "platform/system/end_signals.h"
#include "platform/system/heartbeat.h"
#include "platform/system/process_limits.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(ends), 0); }
  ~Pipe() {
    for (const int fd : ends)
      if (fd >= 0) ::close(fd);
  }
  int readEnd() const { return ends[0]; }
  int writeEnd() const { return ends[1]; }
  // Hands the write end over to someone that closes it.
  int giveWriteEnd() {
    const int fd = ends[1];
    ends[1] = -1;
    return fd;
  }
  int available() const {
    int n = 0;
    char bytes[256];
    const int flags = ::fcntl(ends[0], F_GETFL);
    ::fcntl(ends[0], F_SETFL, flags | O_NONBLOCK);
    for (ssize_t got; (got = ::read(ends[0], bytes, sizeof bytes)) > 0;) n += static_cast<int>(got);
    ::fcntl(ends[0], F_SETFL, flags);
    return n;
  }
  int ends[2] = {-1, -1};
};

// The exit code of a forked child that runs `body`; -1 when it did not exit.
int childExit(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(HeartbeatVariable, NamesADescriptorInPlainDecimalAboveTheStandardThree) {
  for (const auto& [value, fd] : {std::pair{"3", 3}, {"17", 17}, {"2147483647", 2147483647}})
    EXPECT_EQ(heartbeatDescriptorNamed(value), fd) << value;
  for (const char* value : {static_cast<const char*>(nullptr), "", "0", "1", "2", "-5", "+7", " 7", "7 ", "7x",
                            "0x10", "2147483648", "99999999999999999999"})
    EXPECT_EQ(heartbeatDescriptorNamed(value), std::nullopt) << (value ? value : "(unset)");
}

// The variable is gone once read, whatever it named; only a pipe's write end
// is taken, and made close-on-exec and non-blocking.
TEST(HeartbeatVariable, TakesOnlyAPipesWriteEndAndAlwaysRemovesTheVariable) {
  Pipe pipe;
  const int file = ::open("/proc/self/exe", O_RDONLY);
  ASSERT_GE(file, 0);
  const int closed = ::dup(file);
  ::close(closed);
  struct Case {
    const char* name;
    std::string value;
    bool taken;
  };
  const Case cases[] = {
      {"the write end", std::to_string(pipe.writeEnd()), true},
      {"the read end", std::to_string(pipe.readEnd()), false},
      {"a file", std::to_string(file), false},
      {"a closed descriptor", std::to_string(closed), false},
      {"not a number", "pipe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int fd = std::atoi(c.value.c_str());
    if (fd > 2) (void)::fcntl(fd, F_SETFD, 0);
    ASSERT_EQ(::setenv(common::kHeartbeatVariable, c.value.c_str(), 1), 0);
    const int taken = takeHeartbeatDescriptor();
    EXPECT_EQ(std::getenv(common::kHeartbeatVariable), nullptr);
    if (c.taken) {
      EXPECT_EQ(taken, fd);
      EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
      EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    } else {
      EXPECT_EQ(taken, -1);
      if (fd > 2 && ::fcntl(fd, F_GETFD) >= 0) {
        EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "a descriptor not taken was changed";
      }
    }
  }
  ::unsetenv(common::kHeartbeatVariable);
  EXPECT_EQ(takeHeartbeatDescriptor(), -1) << "without the variable";
  ::close(file);
}

TEST(Heartbeat, OneByteAtOnceThenOneAnIntervalLater) {
  Pipe pipe;
  Heartbeat heartbeat(pipe.giveWriteEnd());
  ASSERT_TRUE(heartbeat.beating());
  struct Step {
    int64_t ms;
    int bytes;
  };
  const Step steps[] = {{5000, 1}, {5100, 0}, {5999, 0}, {6000, 1}, {6000, 0},
                        {6500, 0}, {7200, 1}, {9000, 1}, {9100, 0}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.ms);
    heartbeat.beat(step.ms);
    EXPECT_EQ(pipe.available(), step.bytes);
  }
}

TEST(Heartbeat, WithoutADescriptorNothingIsWritten) {
  Heartbeat none;
  EXPECT_FALSE(none.beating());
  none.beat(0);
  none.beat(10'000);
  EXPECT_FALSE(none.beating());
}

// A launcher that stops reading fills the pipe: the beat is skipped, never
// waited for, and the heartbeat goes on.
TEST(Heartbeat, AFullPipeNeverBlocksAndTheBeatGoesOn) {
  Pipe pipe;
  ASSERT_EQ(::fcntl(pipe.writeEnd(), F_SETFL, O_NONBLOCK), 0);
  const std::string fill(static_cast<size_t>(::fcntl(pipe.writeEnd(), F_GETPIPE_SZ)), 'x');
  ASSERT_EQ(::write(pipe.writeEnd(), fill.data(), fill.size()), static_cast<ssize_t>(fill.size()));
  Heartbeat heartbeat(pipe.giveWriteEnd());
  for (int64_t ms = 0; ms < 10'000; ms += 1000) heartbeat.beat(ms);
  EXPECT_TRUE(heartbeat.beating());
  EXPECT_EQ(pipe.available(), static_cast<int>(fill.size()));
  heartbeat.beat(10'000);
  EXPECT_EQ(pipe.available(), 1) << "beats again once there is room";
}

// The saver's heartbeat goes with the ticks: about once a second, never once a tick.
TEST(SaverHeartbeat, BeatsAboutOnceASecondFromTheEventLoop) {
  Pipe pipe;
  test::OffscreenMachine<> m;
  Heartbeat heartbeat(pipe.giveWriteEnd());
  Saver saver{m.services, m.time};
  saver.beatTo(heartbeat);
  ASSERT_TRUE(saver.start());
  QElapsedTimer waited;
  waited.start();
  int beats = 0;
  while (beats < 3 && waited.elapsed() < 20'000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    beats += pipe.available();
  }
  const int64_t seconds = waited.elapsed() / 1000;
  EXPECT_GE(beats, 3);
  EXPECT_LE(beats, seconds + 2) << "more than one beat a second";
}

// The launcher gone (EPIPE, which the saver survives as its start-up sets
// it to) or the descriptor closed behind its back (EBADF) end the heartbeat;
// nothing kills the process.
TEST(Heartbeat, AReaderGoneOrADescriptorClosedEndsTheHeartbeat) {
  survivePipesAndFileLimits();
  {
    Pipe pipe;
    Heartbeat heartbeat(pipe.giveWriteEnd());
    ::close(pipe.ends[0]);
    pipe.ends[0] = -1;
    heartbeat.beat(0);
    EXPECT_FALSE(heartbeat.beating());
    heartbeat.beat(5000);
  }
  {
    Pipe pipe;
    const int fd = pipe.giveWriteEnd();
    Heartbeat heartbeat(fd);
    heartbeat.beat(0);
    EXPECT_EQ(pipe.available(), 1);
    ::close(fd);
    heartbeat.beat(1000);
    EXPECT_FALSE(heartbeat.beating());
  }
}

// The three ending signals, sent to this thread: EndSignals blocks them, and
// once it is gone they are unblocked again, so none that a test sent reaches
// the test program's default action.
struct UnblockAfter {
  ~UnblockAfter() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
};
struct OpenedEndSignals : UnblockAfter, EndSignals {
  OpenedEndSignals() { open(); }
};

bool blockedHere(int signal) {
  sigset_t now;
  pthread_sigmask(SIG_BLOCK, nullptr, &now);
  return sigismember(&now, signal) == 1;
}

TEST(EndSignals, EachSignalIsReadOnceAndNeverActedOnWhereItLands) {
  OpenedEndSignals endSignals;
  ASSERT_GE(endSignals.fd(), 0);
  EXPECT_FALSE(endSignals.take()) << "nothing arrived yet";
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    EXPECT_TRUE(blockedHere(signal));
    ASSERT_EQ(raise(signal), 0);
    EXPECT_TRUE(endSignals.take());
    EXPECT_FALSE(endSignals.take()) << "read twice";
  }
  ASSERT_EQ(raise(SIGTERM), 0);
  ASSERT_EQ(raise(SIGHUP), 0);
  EXPECT_TRUE(endSignals.take());
  EXPECT_FALSE(endSignals.take()) << "two in a row are one end";
}

TEST(SaverSignals, EachEndingSignalEndsTheRunWithOneRecord) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    test::OffscreenMachine<> m;
    {
      OpenedEndSignals endSignals;
      ASSERT_GE(endSignals.fd(), 0);
      Saver saver{m.services, m.time};
      saver.endOn(endSignals);
      ASSERT_TRUE(saver.start());
      ASSERT_EQ(raise(signal), 0);
      ASSERT_EQ(raise(signal), 0);
      test::runEventsUntil([&] { return saver.finished(); }, 10'000);
      EXPECT_TRUE(saver.finished());
      EXPECT_EQ(saver.exitCode(), 0);
      EXPECT_FALSE(endSignals.take()) << "a signal was left unread";
    }
    QFile file(QDir(m.folder.path()).filePath(QStringLiteral("walked.log")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 2) << "the banner and one record";
  }
}

// A signal the saver was started with ignored (a shell's background job
// ignores SIGINT, nohup SIGHUP) stays ignored: it is neither blocked nor read.
TEST(EndSignals, AnIgnoredSignalStaysIgnored) {
  struct sigaction ignore {
  }, before{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGINT, &ignore, &before), 0);
  {
    OpenedEndSignals endSignals;
    EXPECT_FALSE(blockedHere(SIGINT));
    EXPECT_TRUE(blockedHere(SIGTERM));
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_FALSE(endSignals.take());
  }
  sigaction(SIGINT, &before, nullptr);
}

// The programs the saver starts get the signals unblocked, as any program
// expects them.
TEST(EndSignals, AChildGetsTheSignalsUnblocked) {
  OpenedEndSignals endSignals;
  ASSERT_TRUE(blockedHere(SIGTERM));
  EXPECT_EQ(childExit([] { return blockedHere(SIGTERM) || blockedHere(SIGHUP) || blockedHere(SIGINT) ? 1 : 0; }), 0)
      << "the child has an ending signal blocked";
}

// Under a descriptor limit, exactly as many as can still be opened are found
// spare, and none of them stays open.
TEST(Descriptors, SpareOnesAreCountedAndNoneIsKept) {
  const int code = childExit([] {
    constexpr rlim_t kLimit = 64;
    const rlimit limit{kLimit, kLimit};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 2;
    auto countFree = [] {
      std::vector<int> fds;
      for (int fd; (fd = open("/", O_PATH | O_CLOEXEC)) >= 0;) fds.push_back(fd);
      for (const int fd : fds) close(fd);
      return static_cast<int>(fds.size());
    };
    const int free = countFree();
    if (free < 2) return 3;
    if (!haveSpareDescriptors(free)) return 4;
    if (haveSpareDescriptors(free + 1)) return 5;
    if (!haveSpareDescriptors(0)) return 6;
    return countFree() == free ? 0 : 7;
  });
  EXPECT_EQ(code, 0) << "the exit code names the check that failed";
}

}  // namespace
}  // namespace tw::platform
