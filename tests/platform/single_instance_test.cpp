#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/single_instance.h"

namespace tw::platform {
namespace {

TEST(SingleInstance, FirstCopyHoldsTheLockAndASecondIsTurnedAway) {
  QTemporaryDir folder;
  QLockFile first(lockPathIn(folder.path()));
  ASSERT_EQ(acquireInstanceLock(first), InstanceLock::Held);
  EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath(QStringLiteral("walked.log.lock"))));
  QLockFile second(lockPathIn(folder.path()));
  EXPECT_EQ(acquireInstanceLock(second), InstanceLock::HeldElsewhere);
}

TEST(SingleInstance, LockIsFreeAgainOnceReleased) {
  QTemporaryDir folder;
  {
    QLockFile first(lockPathIn(folder.path()));
    ASSERT_EQ(acquireInstanceLock(first), InstanceLock::Held);
  }
  QLockFile second(lockPathIn(folder.path()));
  EXPECT_EQ(acquireInstanceLock(second), InstanceLock::Held);
}

// The lock file in the form Qt writes it: process id, program name, host name.
void writeLockFile(const QString& path, qint64 pid, const QString& program) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray::number(pid) + '\n' + program.toUtf8() + '\n' +
             QSysInfo::machineHostName().toUtf8() + '\n');
  file.close();
}

// Where the system's file locks do not reach (a network folder), only the file
// tells who holds the lock; a copy that has run for days still holds it.
TEST(SingleInstance, AnOldLockOfACopyStillRunningHolds) {
  QTemporaryDir folder;
  const QString path = lockPathIn(folder.path());
  writeLockFile(path, QCoreApplication::applicationPid(), QCoreApplication::applicationName());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
  file.close();
  QLockFile lock(path);
  EXPECT_EQ(acquireInstanceLock(lock), InstanceLock::HeldElsewhere);
}

TEST(SingleInstance, LockOfADeadCopyIsTakenOver) {
  QTemporaryDir folder;
  // No process has an id this large.
  writeLockFile(lockPathIn(folder.path()), 2147483646, QStringLiteral("trenchwalk"));
  QLockFile lock(lockPathIn(folder.path()));
  EXPECT_EQ(acquireInstanceLock(lock), InstanceLock::Held);
}

TEST(SingleInstance, FolderWithoutRoomForALockRunsWithoutOne) {
  QTemporaryDir folder;
  QLockFile lock(lockPathIn(QDir(folder.path()).filePath(QStringLiteral("no/such/folder"))));
  EXPECT_EQ(acquireInstanceLock(lock), InstanceLock::Unavailable);
}

}  // namespace
}  // namespace tw::platform
