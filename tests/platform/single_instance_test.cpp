#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <sstream>

#include "platform/single_instance.h"

namespace tw::platform {
namespace {

std::string bytes(const QTemporaryDir& folder) { return QFile::encodeName(folder.path()).toStdString(); }

void writeBytes(const std::string& path, const QByteArray& content) {
  QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
}

TEST(SingleInstance, FirstCopyHoldsTheLockAndASecondIsTurnedAway) {
  QTemporaryDir folder;
  std::ostringstream err;
  InstanceGuard first;
  ASSERT_EQ(first.acquire(bytes(folder), nullptr, err), InstanceLock::Held);
  EXPECT_EQ(first.heldPath(), bytes(folder) + "/walked.log.lock");
  EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath(QStringLiteral("walked.log.lock"))));
  InstanceGuard second;
  EXPECT_EQ(second.acquire(bytes(folder), nullptr, err), InstanceLock::HeldElsewhere);
  EXPECT_EQ(err.str(), "") << "a second copy leaves quietly";
}

TEST(SingleInstance, LockIsFreeAgainOnceReleased) {
  QTemporaryDir folder;
  std::ostringstream err;
  {
    InstanceGuard first;
    ASSERT_EQ(first.acquire(bytes(folder), nullptr, err), InstanceLock::Held);
  }
  InstanceGuard second;
  EXPECT_EQ(second.acquire(bytes(folder), nullptr, err), InstanceLock::Held);
}

// The kernel's lock holds for as long as the copy runs, however old its file.
TEST(SingleInstance, AnOldLockOfACopyStillRunningHolds) {
  QTemporaryDir folder;
  std::ostringstream err;
  InstanceGuard running;
  ASSERT_EQ(running.acquire(bytes(folder), nullptr, err), InstanceLock::Held);
  QFile file(QString::fromStdString(lockPathIn(folder.path().toStdString())));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
  file.close();
  InstanceGuard next;
  EXPECT_EQ(next.acquire(bytes(folder), nullptr, err), InstanceLock::HeldElsewhere);
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
    EXPECT_EQ(lock.acquire(bytes(folder), nullptr, err), InstanceLock::Held) << content.toHex().toStdString();
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
    ASSERT_EQ(first.acquire(where, bytes(runtime).c_str(), err), InstanceLock::Held) << where;
    EXPECT_EQ(first.heldPath(), fallbackLockPath(bytes(runtime), where));
    InstanceGuard second;
    EXPECT_EQ(second.acquire(where, bytes(runtime).c_str(), err), InstanceLock::HeldElsewhere);
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

TEST(SingleInstance, WithoutAnyLockItRunsAndSaysSoInOneLine) {
  QTemporaryDir folder;
  const std::string missing = bytes(folder) + "/no/such/folder";
  for (const char* runtime : {static_cast<const char*>(nullptr), "", "relative", "/no/such/runtime"}) {
    std::ostringstream err;
    InstanceGuard lock;
    EXPECT_EQ(lock.acquire(missing, runtime, err), InstanceLock::Unavailable) << (runtime ? runtime : "null");
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
  const std::string link = bytes(folder) + "/exe";
  ASSERT_EQ(symlink((odd + "/trenchwalk").c_str(), link.c_str()), 0);
  EXPECT_EQ(executableFolderFrom(link.c_str()), odd);
  const std::string deep = bytes(folder) + "/" + std::string(300, 'd');
  const std::string longLink = bytes(folder) + "/long";
  ASSERT_EQ(symlink((deep + "/trenchwalk").c_str(), longLink.c_str()), 0);
  EXPECT_EQ(executableFolderFrom(longLink.c_str()), deep) << "longer than the first guess";
  const std::string rootLink = bytes(folder) + "/root";
  ASSERT_EQ(symlink("/trenchwalk", rootLink.c_str()), 0);
  EXPECT_EQ(executableFolderFrom(rootLink.c_str()), "/");
  EXPECT_EQ(executableFolderFrom((bytes(folder) + "/missing").c_str()), "") << "never / nor the working folder";
  EXPECT_EQ(executableFolder(), QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

}  // namespace
}  // namespace tw::platform
