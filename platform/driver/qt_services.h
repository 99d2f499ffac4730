// The machine as the core sees it, through Qt, and the log's files for real;
// and what the core asks it to do (boxes, an address, a line for the user),
// carried out by the driver once a handler has returned.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWindow>
#include <functional>
#include <string>
#include <utility>

#include "log/posix_log_disk.h"
#include "platform/paint/fonts.h"
#include "shell/outbox.h"
#include "shell/services.h"

namespace tw::platform {

class QtServices : public Services {
 public:
  ~QtServices() override;

  Extent screenSize() override;
  Extent measureText(std::string_view text, const Font& font) override;
  LocalTime localTime() override;
  std::string logFolder() override;

  // Carries out one of the core's requests. True when it opened a box, which
  // calls `answered` once it closes; false once the request is done, a box
  // that could not be shown included.
  bool carryOut(const Request& request, std::function<void()> answered);
  // One line on the standard error stream, behind the program's name.
  void tellUser(const std::string& line);
  // A modal box with a critical icon and one OK button, shown and left open;
  // false when it cannot be shown.
  virtual bool openBox(const std::string& text, const std::string& title, std::function<void()> answered);
  // Asks the desktop to open a web address.
  virtual void openAddress(const std::string& address);
  bool boxOpen() const { return !openBox_.isNull(); }

  // The folder start-up chose and holds for the log, as bytes, never a text
  // conversion that could turn a name that is not UTF-8 into another folder.
  void setLogFolder(std::string folder) { logFolder_ = std::move(folder); }
  // The window that message boxes belong to and are shown above.
  void setWindow(QWindow* window) { window_ = window; }
  FontCache& fonts() { return fonts_; }
  // The run is to end: the box that is open, if any, closes as if its button
  // had been pressed (its answer comes at once), and no box opens from now
  // on (a box would hold the end up until someone closed it).
  void endBoxes();
  // The log's files, for the core.
  virtual LogDisk& logDisk() { return disk_; }

 private:
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
