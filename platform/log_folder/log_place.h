// Where walked.log lives. Beside the executable whenever that folder can hold
// it; an install the user cannot write (a package in
// /usr/bin) keeps the log in the user's state folder instead, so that no
// install loses its records.
#pragma once

#include <string>

namespace tw::platform {

// The tries that touch the machine, apart so that tests can stand in for them.
class FolderProbe {
 public:
  virtual ~FolderProbe() = default;
  // Whether anything is named walked.log in the folder (a log, or whatever
  // stands in its place, which the log's own rules then deal with).
  virtual bool holdsLog(const std::string& folder) = 0;
  // Whether this user can make files in the folder.
  virtual bool writable(const std::string& folder) = 0;
  // Makes the folder, and its parents as needed, for this user only (0700);
  // true when it is a folder afterwards, new or not.
  virtual bool makeFolder(const std::string& folder) = 0;
};

struct LogPlace {
  // The folder that holds walked.log and its lock; empty: no log this run.
  std::string folder;
  // Why no folder could be had, one line without the program's name; empty
  // when there is a folder.
  std::string whyNone;
};

// The executable's folder (empty: unknown) when it holds a log or can be
// written; else $XDG_STATE_HOME/trenchwalk, or ~/.local/state/trenchwalk when
// that variable is unset, empty or not an absolute path. Null stands for an
// unset variable.
LogPlace chooseLogPlace(const std::string& executableFolder, const char* stateHome,
                        const char* home, FolderProbe& probe);

// The same on the real machine, from this process's environment.
LogPlace findLogPlace(const std::string& executableFolder);

// The probe of the real machine: access(2) with this process's ids, mkdir(2).
class SystemFolderProbe : public FolderProbe {
 public:
  bool holdsLog(const std::string& folder) override;
  bool writable(const std::string& folder) override;
  bool makeFolder(const std::string& folder) override;
};

}  // namespace tw::platform
