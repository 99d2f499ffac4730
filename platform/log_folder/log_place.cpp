#include "platform/log_folder/log_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "log/log_file.h"

namespace tw::platform {
namespace {

constexpr const char* kStateSubfolder = "trenchwalk";
constexpr const char* kDefaultStateHome = ".local/state";
// The state folder is the user's own: no one else reads the log or its lock.
constexpr mode_t kStateFolderMode = 0700;

bool absolute(const char* path) { return path != nullptr && path[0] == '/'; }

// A folder and a name in it, with one separator however many the folder
// ends with ("/" and "/home/u/" included).
std::string joined(std::string folder, const std::string& name) {
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder + "/" + name;
}

// A folder holds the log when walked.log is there, or when it could be made.
bool canHoldLog(const std::string& folder, FolderProbe& probe) {
  return probe.holdsLog(folder) || probe.writable(folder);
}

}  // namespace

LogPlace chooseLogPlace(const std::string& executableFolder, const char* stateHome,
                        const char* home, FolderProbe& probe) {
  if (!executableFolder.empty() && canHoldLog(executableFolder, probe))
    return {executableFolder, {}};
  const std::string first =
      executableFolder.empty()
          ? std::string("the executable's folder cannot be found (/proc/self/exe)")
          : executableFolder + " cannot be written";
  std::string state;
  if (absolute(stateHome))
    state = joined(stateHome, kStateSubfolder);
  else if (absolute(home))
    state = joined(joined(home, kDefaultStateHome), kStateSubfolder);
  else
    return {{}, first + ", and neither XDG_STATE_HOME nor HOME is an absolute path"};
  if (!probe.makeFolder(state)) return {{}, first + ", and " + state + " cannot be made"};
  if (!canHoldLog(state, probe)) return {{}, first + ", nor can " + state};
  return {state, {}};
}

LogPlace findLogPlace(const std::string& executableFolder) {
  SystemFolderProbe probe;
  return chooseLogPlace(executableFolder, std::getenv("XDG_STATE_HOME"), std::getenv("HOME"),
                        probe);
}

bool SystemFolderProbe::holdsLog(const std::string& folder) {
  struct stat info {};
  return ::lstat(joined(folder, kLogFileName).c_str(), &info) == 0;
}

bool SystemFolderProbe::writable(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // The effective ids are the ones that create files; a read-only mount says
  // EROFS here too.
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool SystemFolderProbe::makeFolder(const std::string& folder) {
  // Every missing folder on the way is made, each for this user alone, as
  // the base directory rules ask of folders a program creates.
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), kStateFolderMode) != 0 && errno != EEXIST) break;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tw::platform
