// The machine as the core sees it, through Qt, and the log's files for real.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWindow>
#include <string>
#include <utility>

#include "log/posix_log_disk.h"
#include "platform/paint/fonts.h"
#include "shell/services.h"

namespace tw::platform {

class QtServices : public Services {
 public:
  Extent screenSize() override;
  Extent measureText(std::string_view text, const Font& font) override;
  LocalTime localTime() override;
  std::string logFolder() override;
  void tellUser(const std::string& line) override;
  void messageBox(const std::string& text, const std::string& title) override;
  void openAddress(const std::string& address) override;
  void runTimeErrorBox(const RunTimeError& error) override;

  // The folder start-up chose and holds for the log, as bytes, never a text
  // conversion that could turn a name that is not UTF-8 into another folder.
  void setLogFolder(std::string folder) { logFolder_ = std::move(folder); }
  // The window that message boxes belong to and are shown above.
  void setWindow(QWindow* window) { window_ = window; }
  FontCache& fonts() { return fonts_; }
  // The run is to end: the box that is open, if any, closes as if its button
  // had been pressed, and no box opens from now on (a box would hold the end
  // up until someone closed it).
  void endBoxes();
  // The log's files, for the core.
  virtual LogDisk& logDisk() { return disk_; }

 private:
  void showCritical(const QString& text, const QString& title);

  FontCache fonts_;
  PosixLogDisk disk_;
  QPointer<QWindow> window_;
  QPointer<QMessageBox> openBox_;
  bool boxesEnded_ = false;
  std::string logFolder_;
  // The minute (of the system clock) in which the time zone was last loaded.
  int64_t zoneCheckedMinute_ = -1;
};

}  // namespace tw::platform
