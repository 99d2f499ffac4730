// The saver's claim on walked.log, taken before anything reads or writes it:
// the folder is chosen and held once, every file call of the run goes
// through it, and a lock keeps a second copy from appending beside this one.
#pragma once

#include <ostream>
#include <string>

#include "common/no_copy.h"
#include "platform/log_folder/held_folder.h"
#include "platform/log_folder/single_instance.h"

namespace tw::platform {

class LogClaim : private common::NoCopy {
 public:
  LogClaim() = default;

  // Chooses the log's folder (beside the executable, else the user's state
  // folder), holds it and takes the lock, saying on `err` in one line why no
  // log is kept when none can be. HeldElsewhere: another copy runs, and this
  // one must leave at once.
  common::LockOutcome take(std::ostream& err);
  // The path the run's file calls use; empty when no log is kept.
  const std::string& folder() const { return folder_.path(); }

 private:
  HeldFolder folder_;
  InstanceGuard lock_;
};

}  // namespace tw::platform
