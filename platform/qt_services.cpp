#include "platform/qt_services.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <filesystem>

#include "platform/scene_paint.h"

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
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return LocalTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

std::string QtServices::executableFolder() {
  return QCoreApplication::applicationDirPath().toStdString();
}

void QtServices::syncToDisk(const std::string& path) { syncFileAndFolder(path); }

void QtServices::showCritical(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, window_);
  // The saver window stays on top of everything; the box has to be above it.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
  box.exec();
  // Without a window manager nobody hands the keyboard back to the saver.
  if (window_ && window_->isVisible()) {
    window_->raise();
    window_->activateWindow();
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

void QtServices::unloadWindow() { unloadAsked_ = true; }

void QtServices::runTimeErrorBox(const RunTimeError& error) {
  failed_ = true;
  showCritical(QStringLiteral("Run-time error '%1':\n\n%2")
                   .arg(error.number())
                   .arg(QString::fromUtf8(error.what())),
               QCoreApplication::applicationName());
}

}  // namespace tw::platform
