#include "log/log_store.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "log/log_file.h"
#include "shell/text.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// The file appears whole or not at all: written beside its final name, pushed
// to the disk, then renamed over it.
bool writeWhole(Services& services, const fs::path& target, const std::string& content) {
  fs::path temp = target;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << content;
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      return false;
    }
  }
  services.syncToDisk(temp.string());
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  services.syncToDisk(target.string());
  return true;
}

bool endsWithLineEnd(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(-1, std::ios::end);
  char last = 0;
  return in.get(last) && (last == '\n' || last == '\r');
}

}  // namespace

std::string LogStore::logPath() const {
  return services_.executableFolder() + "/" + kLogFileName;
}

void LogStore::prepareLog() {
  const fs::path path = logPath();
  try {
    bool keepsBanner = false;
    {
      std::ifstream in(path, std::ios::binary);
      if (in) {
        FieldReader reader(in);
        try {
          keepsBanner = reader.readField() == kLogBanner;
        } catch (const LogReadError&) {
        }
      }
    }
    if (keepsBanner) return;

    // Whatever the file held is kept as a backup before a banner-only log takes
    // its place; only an empty file has nothing worth keeping.
    std::error_code ec;
    const bool holdsSomething = fs::exists(path, ec) && fs::file_size(path, ec) > 0 && !ec;
    if (holdsSomething) {
      fs::path backup = path;
      backup += kLogBackupSuffix;
      fs::rename(path, backup, ec);
      if (ec) return;  // Could not keep it: leave the file alone rather than lose it.
      services_.syncToDisk(backup.string());
    }
    writeWhole(services_, path, std::string(kLogBanner) + kLineEnd);
  } catch (const std::exception&) {
    // A log that cannot be prepared does not stop the saver: the end of a run
    // and the report deal with a missing or unwritable file themselves.
  }
}

void LogStore::saveLogAndQuit() {
  const fs::path path = logPath();
  try {
    std::error_code ec;
    const bool missingOrEmpty = !fs::exists(path, ec) || fs::file_size(path, ec) == 0 || ec;
    // A record never runs on from a line that an interrupted write left open.
    const bool lineOpen = !missingOrEmpty && !endsWithLineEnd(path);

    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (out) {
      const LocalTime now = services_.localTime();
      std::string text;
      // A log without its banner would be thrown away by the next start-up.
      if (missingOrEmpty) text.append(kLogBanner).append(kLineEnd);
      if (lineOpen) text.append(kLineEnd);
      text += recordLine(scene_.distance.caption(), scene_.distanceUnit.caption(), dateText(now),
                         timeText(now));
      out << text;
      out.flush();
      out.close();
      if (!out.fail()) services_.syncToDisk(path.string());
    }
  } catch (const std::exception&) {
    // The record is lost without a message; the program still ends.
  }
  run_.end(ExitStatus::Success);
}

void LogStore::showLoggedDistances() {
  std::string text;
  try {
    std::ifstream in(logPath(), std::ios::binary);
    if (!in) throw LogReadError("cannot open");
    const LoggedSums sums = sumLoggedDistances(in);
    text = reportText(reportDistances(sums));
  } catch (const std::exception&) {
    services_.messageBox("Log could not be restored", "Disk Access Error");
    return;
  }
  scene_.message.setCaption(text);
  scene_.message.visible = true;
}

}  // namespace tw
