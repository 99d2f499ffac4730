#include "platform/driver/qt_services.h"

#include <time.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <cstdio>

#include "platform/paint/scene_paint.h"
#include "platform/system/descriptors.h"

namespace tw::platform {

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

void QtServices::tellUser(const std::string& line) {
  std::fprintf(stderr, "trenchwalk: %s\n", line.c_str());
  std::fflush(stderr);
}

QtServices::~QtServices() {
  // A box still open goes unanswered: whoever waited for it is gone.
  if (openBox_) {
    openBox_->disconnect();
    delete openBox_.data();
  }
}

bool QtServices::carryOut(const Request& request, std::function<void()> answered) {
  if (const auto* box = std::get_if<MessageBox>(&request)) return openBox(box->text, box->title, std::move(answered));
  if (const auto* error = std::get_if<RunTimeErrorBox>(&request))
    return openBox(QStringLiteral("Run-time error '%1':\n\n%2")
                       .arg(error->number)
                       .arg(QString::fromStdString(error->message))
                       .toStdString(),
                   QCoreApplication::applicationName().toStdString(), std::move(answered));
  if (const auto* address = std::get_if<OpenAddress>(&request)) openAddress(address->address);
  if (const auto* line = std::get_if<TellUser>(&request)) tellUser(line->line);
  return false;
}

void QtServices::endBoxes() {
  boxesEnded_ = true;
  if (openBox_) openBox_->done(QMessageBox::Ok);
}

bool QtServices::openBox(const std::string& text, const std::string& title, std::function<void()> answered) {
  if (boxesEnded_) return false;
  // A box without descriptors to spare never shows: its picture's shared
  // memory comes from the X server as a descriptor, and Qt waits for that
  // reply for ever, the keyboard held by a box no one sees. The saver goes on
  // as if the box had been closed, and keys still end it.
  constexpr int kDescriptorsForABox = 4;
  if (!haveSpareDescriptors(kDescriptorsForABox)) {
    tellUser("the box \"" + title + ": " + QString::fromStdString(text).replace('\n', ' ').toStdString() +
             "\" cannot be shown (no file descriptors to spare); the saver goes on");
    return false;
  }
  auto* box = new QMessageBox(QMessageBox::Critical, QString::fromStdString(title), QString::fromStdString(text),
                              QMessageBox::Ok);
  // The saver window stays on top of everything; the box has to be above it.
  box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
  if (window_) {
    // The saver's window is a plain QWindow, no widget to parent the box to:
    // the box belongs to it as a transient, which places it over the window
    // and, being window-modal, keeps input away from the window while open.
    box->winId();
    box->windowHandle()->setTransientParent(window_);
  }
  QObject::connect(box, &QDialog::finished, box, [this, box, answered = std::move(answered)] {
    openBox_ = nullptr;
    box->deleteLater();
    // Without a window manager nobody hands the keyboard back to the saver.
    if (window_ && window_->isVisible()) {
      window_->raise();
      window_->requestActivate();
    }
    answered();
  });
  openBox_ = box;
  box->show();
  return true;
}

void QtServices::openAddress(const std::string& address) {
  // Handed to the desktop as a web address, never to a shell as a command
  // line; anything else (a local file, a program) is not opened at all.
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
    (void)QDesktopServices::openUrl(url);
}

}  // namespace tw::platform
