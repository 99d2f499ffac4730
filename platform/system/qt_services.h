// The machine as the core sees it, through Qt and POSIX.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWindow>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/paint/fonts.h"
#include "shell/services.h"

namespace tw::platform {

class QtServices : public Services {
 public:
  Extent screenSize() override;
  Extent measureText(std::string_view text, const Font& font) override;
  LocalTime localTime() override;
  std::string logFolder() override;
  void syncToDisk(const std::string& path) override;
  int openToAppend(const std::string& path, int& handle) override;
  int fileLength(int handle, int64_t& length) override;
  int writeSome(int handle, std::string_view bytes, size_t& written) override;
  int syncFile(int handle) override;
  int cutTo(int handle, int64_t length) override;
  void closeFile(int handle) override;
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

 private:
  void showCritical(const QString& text, const QString& title);

  FontCache fonts_;
  QPointer<QWindow> window_;
  QPointer<QMessageBox> openBox_;
  bool boxesEnded_ = false;
  std::string logFolder_;
  // The minute (of the system clock) in which the time zone was last loaded.
  int64_t zoneCheckedMinute_ = -1;
};

// Pushes a file and the folder entry that names it to the disk; errors are
// not reported, the data is simply as safe as the system could make it.
void syncFileAndFolder(const std::string& path);

}  // namespace tw::platform
