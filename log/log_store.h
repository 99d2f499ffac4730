// The log and the report: walked.log beside the executable is made ready at
// start-up, gets one record when the run ends, and is summed for the report.
// Every file it touches it reaches through its LogDisk.
#pragma once

#include <optional>
#include <string>

#include "log/log_disk.h"
#include "shell/outbox.h"
#include "shell/run_state.h"
#include "shell/scene.h"
#include "shell/services.h"

namespace tw {

class LogStore {
 public:
  LogStore(Services& services, Outbox& outbox, LogDisk& disk, const Scene& scene, RunState& run)
      : services_(services), outbox_(outbox), disk_(disk), scene_(scene), run_(run) {}

  // Keeps a log that opens with the banner; anything else is kept as a backup
  // and replaced by a banner-only log. Never stops the saver.
  void prepareLog();
  // Appends the distance shown as one record and ends the run: with success
  // when the record is on the disk, or when no log is kept this run; with a
  // failure, told in one line, when it could not be kept, and then the log is
  // exactly as it was before.
  void saveLogAndQuit();
  // The logged total as the message shows it; none when the log cannot be
  // read, and then an error box is queued.
  std::optional<std::string> loggedDistances();

  // The log file's path in the folder start-up chose; empty when no log is kept.
  std::string logPath() const;

 private:
  // Appends the record (behind a banner when the file is empty) whole, or
  // leaves the file as it was; 0 or the error number of the first failure.
  int appendRecord(const std::string& path, const std::string& record, bool wasMissing);

  Services& services_;
  Outbox& outbox_;
  LogDisk& disk_;
  const Scene& scene_;
  RunState& run_;
};

}  // namespace tw
