// Tells when the settings file may have changed: inotify on its folder, so
// that an editor's save by rename, a new file and a removed one are all
// seen, and on the folder's parent until the folder itself exists (when the
// parent is missing too, nothing is followed until the next start). One
// descriptor in the loop's poll, with no deadline: nothing wakes the
// launcher while nothing changes.
#pragma once

#include <functional>
#include <string>

#include "common/no_copy.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class SettingsWatch : public Watched, private common::NoCopy {
 public:
  // changed is called, from a dispatch, after each batch of events that
  // touched the file.
  SettingsWatch(const std::string& path, std::function<void()> changed);
  ~SettingsWatch() override;

  // Why the file cannot be followed; empty when it is.
  const std::string& problem() const { return problem_; }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  // Watches the folder, or its parent while the folder is missing.
  void watchFolder();

  std::string folder_;
  std::string parent_;
  std::string folderName_;
  std::string fileName_;
  std::function<void()> changed_;
  std::string problem_;
  int fd_ = -1;
  int folderWatch_ = -1;
  int parentWatch_ = -1;
};

}  // namespace tw::idle
