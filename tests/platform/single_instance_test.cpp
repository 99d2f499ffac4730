#include "common/executable_folder.h"
#include "platform/log_folder/single_instance.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <set>
#include <sstream>
#include <vector>

#include "platform/log_folder/held_folder.h"
#include "platform/log_folder/log_place.h"

namespace tw::platform {
namespace {

std::string bytes(const QTemporaryDir& folder) { return QFile::encodeName(folder.path()).toStdString(); }

void writeBytes(const std::string& path, const QByteArray& content) {
  QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
}

// The kernel's lock holds for as long as the copy runs, however old its
// file, and is free again once released.
TEST(SingleInstance, FirstCopyHoldsTheLockAndASecondIsTurnedAwayTillItIsReleased) {
  QTemporaryDir folder;
  std::ostringstream err;
  {
    InstanceGuard first;
    ASSERT_EQ(first.acquire(bytes(folder), nullptr, err), common::LockOutcome::Held);
    EXPECT_EQ(first.heldPath(), bytes(folder) + "/walked.log.lock");
    EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath(QStringLiteral("walked.log.lock"))));
    InstanceGuard second;
    EXPECT_EQ(second.acquire(bytes(folder), nullptr, err), common::LockOutcome::HeldElsewhere);
    EXPECT_EQ(err.str(), "") << "a second copy leaves quietly";
    QFile file(QString::fromStdString(lockPathIn(folder.path().toStdString())));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    file.close();
    InstanceGuard next;
    EXPECT_EQ(next.acquire(bytes(folder), nullptr, err), common::LockOutcome::HeldElsewhere) << "an old lock";
  }
  InstanceGuard again;
  EXPECT_EQ(again.acquire(bytes(folder), nullptr, err), common::LockOutcome::Held) << "once released";
}

// Whatever a lock file holds (an old copy's process id, another host's name,
// nothing, garbage), only a live copy's kernel lock keeps a new copy out.
TEST(SingleInstance, LockOfADeadCopyIsTakenOver) {
  const QByteArray contents[] = {
      QByteArray("2147483646\ntrenchwalk\n") + QSysInfo::machineHostName().toUtf8() + '\n',
      QByteArray::number(QCoreApplication::applicationPid()) + "\ntrenchwalk\nanother-host\n",
      QByteArray::number(QCoreApplication::applicationPid()) + "\ntrenchwalk\n" +
          QSysInfo::machineHostName().toUtf8() + '\n',
      QByteArray(),
      QByteArray("\x00\xff garbage \x01\n\n\n", 15),
  };
  for (const QByteArray& content : contents) {
    QTemporaryDir folder;
    writeBytes(lockPathIn(bytes(folder)), content);
    std::ostringstream err;
    InstanceGuard lock;
    EXPECT_EQ(lock.acquire(bytes(folder), nullptr, err), common::LockOutcome::Held)
        << content.toHex().toStdString();
    EXPECT_EQ(err.str(), "");
  }
}

// A lock file that cannot be opened (a folder in its place, a folder that is
// not there or cannot be written) gives way to the per-user lock, which two
// copies share as well.
TEST(SingleInstance, FolderWithoutRoomForALockUsesThePerUserLock) {
  QTemporaryDir runtime;
  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("walked.log.lock")));
  const std::string missing = bytes(folder) + "/no/such/folder";
  for (const std::string& where : {bytes(folder), missing}) {
    std::ostringstream err;
    InstanceGuard first;
    ASSERT_EQ(first.acquire(where, bytes(runtime).c_str(), err), common::LockOutcome::Held)
        << where;
    EXPECT_EQ(first.heldPath(), fallbackLockPath(bytes(runtime), where));
    InstanceGuard second;
    EXPECT_EQ(second.acquire(where, bytes(runtime).c_str(), err),
              common::LockOutcome::HeldElsewhere);
    EXPECT_EQ(err.str(), "");
  }
  EXPECT_TRUE(QFileInfo(QDir(folder.path()).filePath(QStringLiteral("walked.log.lock"))).isDir());
}

TEST(SingleInstance, ThePerUserLockIsNamedFromTheFolderBytes) {
  const std::string a = fallbackLockPath("/run/user/1000", "/home/j\xf6rg/bin");
  const std::string b = fallbackLockPath("/run/user/1000", "/home/j\xc3\xb6rg/bin");
  EXPECT_NE(a, b);
  EXPECT_EQ(a, fallbackLockPath("/run/user/1000", "/home/j\xf6rg/bin"));
  EXPECT_EQ(a.rfind("/run/user/1000/trenchwalk-", 0), 0u);
  EXPECT_EQ(a.find('\xf6'), std::string::npos) << "the name itself is plain ASCII";
}

// Both programs name their lock files by one FNV-1a hash, so a launcher or a
// saver of another build still finds the lock of the one already running.
TEST(SingleInstance, LockNamesAreTheKeysFnv1aHashInHex) {
  EXPECT_EQ(common::hashedLockPath("/run/user/1000", "trenchwalk-", ""),
            "/run/user/1000/trenchwalk-cbf29ce484222325.lock");
  EXPECT_EQ(common::hashedLockPath("/run/user/1000", "trenchwalk-idle-", "a"),
            "/run/user/1000/trenchwalk-idle-af63dc4c8601ec8c.lock");
}

// What stands in a lock file's place decides the outcome, and nothing there
// ever blocks: a FIFO is never waited on.
TEST(SingleInstance, ALockFileThatIsNoPlainFileIsUnavailableWithItsReason) {
  QTemporaryDir folder;
  const std::string fifo = bytes(folder) + "/fifo.lock";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string dir = bytes(folder) + "/dir.lock";
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const struct {
    std::string path;
    int error;
  } cases[] = {{fifo, EINVAL}, {dir, EISDIR}, {bytes(folder) + "/none/x.lock", ENOENT}};
  for (const auto& c : cases) {
    common::LockFile file;
    int error = 0;
    EXPECT_EQ(file.tryLock(c.path, 0600, error), common::LockOutcome::Unavailable) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
    EXPECT_FALSE(file.held());
  }
}

TEST(SingleInstance, WithoutAnyLockItRunsAndSaysSoInOneLine) {
  QTemporaryDir folder;
  const std::string missing = bytes(folder) + "/no/such/folder";
  for (const char* runtime : {static_cast<const char*>(nullptr), "", "relative", "/no/such/runtime"}) {
    std::ostringstream err;
    InstanceGuard lock;
    EXPECT_EQ(lock.acquire(missing, runtime, err), common::LockOutcome::Unavailable)
        << (runtime ? runtime : "null");
    const std::string line = err.str();
    EXPECT_EQ(line.rfind("trenchwalk: running without the single-instance lock", 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_TRUE(lock.heldPath().empty());
  }
}

TEST(ExecutableFolder, IsTheFolderOfTheLinkByteForByte) {
  QTemporaryDir folder;
  const std::string odd = bytes(folder) + "/j\xf6rg";
  ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
  // The second is longer than the first guess.
  const std::string deep = bytes(folder) + "/" + std::string(300, 'd');
  const struct {
    std::string link, executable, folder;
  } links[] = {{"/exe", odd + "/trenchwalk", odd}, {"/long", deep + "/trenchwalk", deep}, {"/root", "/trenchwalk", "/"}};
  for (const auto& l : links) {
    const std::string link = bytes(folder) + l.link;
    ASSERT_EQ(symlink(l.executable.c_str(), link.c_str()), 0) << l.link;
    EXPECT_EQ(common::executableFolderFrom(link.c_str()), l.folder) << l.link;
  }
  EXPECT_EQ(common::executableFolderFrom((bytes(folder) + "/missing").c_str()), "") << "never / nor the working folder";
  EXPECT_EQ(common::executableFolder(), QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

// A machine of folders in a table: which can be written, which hold a log,
// which can be made; every folder made is recorded.
class TableProbe : public FolderProbe {
 public:
  bool holdsLog(const std::string& folder) override { return withLog.count(folder) > 0; }
  bool writable(const std::string& folder) override {
    return made.count(folder) > 0 ? !madeReadOnly : writableFolders.count(folder) > 0;
  }
  bool makeFolder(const std::string& folder) override {
    if (!canMake) return false;
    made.insert(folder);
    return true;
  }
  std::set<std::string> writableFolders, withLog, made;
  bool canMake = true, madeReadOnly = false;
};

TEST(LogPlace, BesideTheExecutableWhenItCanHoldTheLogElseInTheStateFolder) {
  struct Case {
    const char* name;
    bool exeWritable, exeHoldsLog;
    const char* stateHome;
    const char* home;
    bool canMake;
    const char* folder;  // "" for none
  };
  const std::vector<Case> cases = {
      {"a folder that can be written", true, false, "/state", "/home/u", true, "/opt/tw"},
      {"a log in a read-only folder", false, true, "/state", "/home/u", true, "/opt/tw"},
      {"a read-only folder without a log", false, false, "/state", "/home/u", true,
       "/state/trenchwalk"},
      {"no XDG_STATE_HOME", false, false, nullptr, "/home/u", true,
       "/home/u/.local/state/trenchwalk"},
      {"an empty XDG_STATE_HOME", false, false, "", "/home/u", true,
       "/home/u/.local/state/trenchwalk"},
      {"a relative XDG_STATE_HOME", false, false, "state", "/home/u", true,
       "/home/u/.local/state/trenchwalk"},
      {"no HOME", false, false, nullptr, nullptr, true, ""},
      {"a relative HOME", false, false, "rel", "home/u", true, ""},
      {"no HOME but XDG_STATE_HOME", false, false, "/state", nullptr, true, "/state/trenchwalk"},
      {"a state folder that cannot be made", false, false, "/state", "/home/u", false, ""},
      {"the root folder as HOME", false, false, nullptr, "/", true, "/.local/state/trenchwalk"},
      {"a trailing slash", false, false, "/state//", "/home/u", true, "/state/trenchwalk"},
  };
  for (const Case& c : cases) {
    TableProbe probe;
    if (c.exeWritable) probe.writableFolders.insert("/opt/tw");
    if (c.exeHoldsLog) probe.withLog.insert("/opt/tw");
    probe.canMake = c.canMake;
    const LogPlace place = chooseLogPlace("/opt/tw", c.stateHome, c.home, probe);
    EXPECT_EQ(place.folder, c.folder) << c.name;
    EXPECT_EQ(place.whyNone.empty(), std::string(c.folder) != "")
        << c.name << ": " << place.whyNone;
    EXPECT_EQ(place.whyNone.find('\n'), std::string::npos) << c.name;
    if (std::string(c.folder).find("/trenchwalk") != std::string::npos)
      EXPECT_EQ(probe.made, std::set<std::string>{c.folder}) << c.name;
    else
      EXPECT_TRUE(probe.made.empty()) << c.name << ": nothing is made when the log stays beside";
  }
}

TEST(LogPlace, AStateFolderThatCanNeitherBeWrittenNorHoldsALogIsNone) {
  TableProbe probe;
  probe.madeReadOnly = true;
  EXPECT_EQ(chooseLogPlace("/opt/tw", "/state", "/home/u", probe).folder, "");
  probe.withLog.insert("/state/trenchwalk");
  EXPECT_EQ(chooseLogPlace("/opt/tw", "/state", "/home/u", probe).folder, "/state/trenchwalk")
      << "a log there still takes its records";
}

TEST(LogPlace, AnUnknownExecutableFolderUsesTheStateFolder) {
  TableProbe probe;
  EXPECT_EQ(chooseLogPlace("", "/state", "/home/u", probe).folder, "/state/trenchwalk");
  const LogPlace none = chooseLogPlace("", nullptr, nullptr, probe);
  EXPECT_EQ(none.folder, "");
  EXPECT_NE(none.whyNone.find("/proc/self/exe"), std::string::npos) << none.whyNone;
}

TEST(LogPlace, TheStateFolderIsMadeWithItsParentsForThisUserOnly) {
  QTemporaryDir top;
  const std::string state = bytes(top) + "/a/b/trenchwalk";
  SystemFolderProbe probe;
  ASSERT_TRUE(probe.makeFolder(state));
  for (const std::string& made : {bytes(top) + "/a", bytes(top) + "/a/b", state}) {
    struct stat info {};
    ASSERT_EQ(stat(made.c_str(), &info), 0) << made;
    EXPECT_TRUE(S_ISDIR(info.st_mode)) << made;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
  }
  EXPECT_TRUE(probe.makeFolder(state)) << "an existing folder is fine";
  EXPECT_TRUE(probe.writable(state));
  EXPECT_FALSE(probe.holdsLog(state));
  writeBytes(state + "/walked.log", "x");
  EXPECT_TRUE(probe.holdsLog(state));
  writeBytes(bytes(top) + "/file", "x");
  EXPECT_FALSE(probe.makeFolder(bytes(top) + "/file")) << "a file is no folder";
  EXPECT_FALSE(probe.makeFolder(bytes(top) + "/file/below"));
  EXPECT_FALSE(probe.writable(bytes(top) + "/file"));
}

// The folder is held, not named: moved during the run, its path still leads
// into it, and a folder that took its old name is never used.
TEST(HeldFolder, FollowsTheFolderWhereverItIsMoved) {
  QTemporaryDir top;
  const std::string first = bytes(top) + "/bin", moved = bytes(top) + "/moved";
  ASSERT_EQ(mkdir(first.c_str(), 0755), 0);
  HeldFolder held;
  ASSERT_TRUE(held.hold(first));
  EXPECT_EQ(held.path().rfind("/proc/self/fd/", 0), 0u) << held.path();
  ASSERT_EQ(rename(first.c_str(), moved.c_str()), 0);
  ASSERT_EQ(mkdir(first.c_str(), 0755), 0);
  writeBytes(held.path() + "/walked.log", "ours");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(moved + "/walked.log")));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(first + "/walked.log")));
  EXPECT_FALSE(held.hold(bytes(top) + "/missing"));
  EXPECT_EQ(held.path(), "");
  EXPECT_FALSE(held.hold(""));
}

}  // namespace
}  // namespace tw::platform
