#include "platform/system/qt_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/paint/scene_paint.h"
#include "platform/system/descriptors.h"

namespace tw::platform {
namespace {

void syncPath(const char* path, int flags) {
  const int fd = ::open(path, flags | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  (void)::close(fd);
}

}  // namespace

void syncFileAndFolder(const std::string& path) {
  syncPath(path.c_str(), O_RDONLY);
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  syncPath(folder.c_str(), O_RDONLY | O_DIRECTORY);
}

Extent QtServices::screenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QSize size = screen->geometry().size();
  return Extent{static_cast<float>(size.width()) * kTwipsPerPixel,
                static_cast<float>(size.height()) * kTwipsPerPixel};
}

Extent QtServices::measureText(std::string_view text, const Font& font) {
  const QSize size = fonts_.textSize(text, font);
  return Extent{static_cast<float>(size.width()) * kTwipsPerPixel,
                static_cast<float>(size.height()) * kTwipsPerPixel};
}

LocalTime QtServices::localTime() {
  // The core reads the clock twice per tick. localtime_r converts with the
  // zone as last loaded, without looking at the disk; tzset() looks again (a
  // stat of /etc/localtime at least), so a change of zone still shows within
  // the minute, without a system call per tick.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const int64_t minute = static_cast<int64_t>(now.tv_sec) / 60;
  if (minute != zoneCheckedMinute_) {
    tzset();
    zoneCheckedMinute_ = minute;
  }
  tm local{};
  if (!localtime_r(&now.tv_sec, &local)) return {};
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1'000'000)};
}

std::string QtServices::logFolder() { return logFolder_; }

void QtServices::syncToDisk(const std::string& path) { syncFileAndFolder(path); }

int QtServices::openToAppend(const std::string& path, int& handle) {
  constexpr mode_t kLogMode = 0644;
  // O_NONBLOCK: a FIFO put in the log's place meanwhile never blocks the end.
  handle = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, kLogMode);
  if (handle < 0) return errno;
  struct stat info {};
  const int error = ::fstat(handle, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    ::close(handle);
    handle = -1;
  }
  return error;
}

int QtServices::fileLength(int handle, int64_t& length) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) return errno;
  length = static_cast<int64_t>(info.st_size);
  return 0;
}

int QtServices::writeSome(int handle, std::string_view bytes, size_t& written) {
  written = 0;
  const ssize_t n = ::write(handle, bytes.data(), bytes.size());
  if (n < 0) return errno;
  written = static_cast<size_t>(n);
  return 0;
}

int QtServices::syncFile(int handle) { return ::fsync(handle) == 0 ? 0 : errno; }

int QtServices::cutTo(int handle, int64_t length) {
  return ::ftruncate(handle, static_cast<off_t>(length)) == 0 ? 0 : errno;
}

void QtServices::closeFile(int handle) { (void)::close(handle); }

void QtServices::tellUser(const std::string& line) {
  std::fprintf(stderr, "trenchwalk: %s\n", line.c_str());
  std::fflush(stderr);
}

void QtServices::endBoxes() {
  boxesEnded_ = true;
  if (openBox_) openBox_->done(QMessageBox::Ok);
}

void QtServices::showCritical(const QString& text, const QString& title) {
  if (boxesEnded_) return;
  // A box without descriptors to spare never shows: its picture's shared
  // memory comes from the X server as a descriptor, and Qt waits for that
  // reply for ever, the keyboard held by a box no one sees. The saver goes on
  // as if the box had been closed, and keys still end it.
  constexpr int kDescriptorsForABox = 4;
  if (!haveSpareDescriptors(kDescriptorsForABox)) {
    tellUser("the box \"" + title.toStdString() + ": " +
             QString(text).replace('\n', ' ').toStdString() +
             "\" cannot be shown (no file descriptors to spare); the saver goes on");
    return;
  }
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
  // The saver window stays on top of everything; the box has to be above it.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
  if (window_) {
    // The saver's window is a plain QWindow, no widget to parent the box to:
    // the box belongs to it as a transient, which places it over the window
    // and, being window-modal, keeps input away from the window while open.
    box.winId();
    box.windowHandle()->setTransientParent(window_);
  }
  openBox_ = &box;
  box.exec();
  openBox_ = nullptr;
  // Without a window manager nobody hands the keyboard back to the saver.
  if (window_ && window_->isVisible()) {
    window_->raise();
    window_->requestActivate();
  }
}

void QtServices::messageBox(const std::string& text, const std::string& title) {
  showCritical(QString::fromStdString(text), QString::fromStdString(title));
}

void QtServices::openAddress(const std::string& address) {
  // Handed to the desktop as a web address, never to a shell as a command
  // line; anything else (a local file, a program) is not opened at all.
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
    (void)QDesktopServices::openUrl(url);
}

void QtServices::runTimeErrorBox(const RunTimeError& error) {
  showCritical(QStringLiteral("Run-time error '%1':\n\n%2")
                   .arg(error.number())
                   .arg(QString::fromUtf8(error.what())),
               QCoreApplication::applicationName());
}

}  // namespace tw::platform
