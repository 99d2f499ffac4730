#include "log/log_store.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "log/log_file.h"
#include "shell/text.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// A backup name is looked for among this many; past them the log is left as
// it is rather than overwrite one.
constexpr int kBackupNames = 10'000;
// Tries at a fresh temporary name before the fresh log is given up, and the
// random hexadecimal digits that make each name.
constexpr int kTemporaryNames = 16;
constexpr int kTemporaryNameDigits = 8;
// Start-up reads no more than this to find the banner, however long the first
// line is.
constexpr std::streamsize kBannerProbeBytes = 4096;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Creates a file that did not exist under a name of its own beside the target
// ("x": created exclusively, so a planted file or symlink is never followed),
// writes it, pushes it to the disk, then renames it over the target: the log
// appears whole or not at all.
bool writeWhole(Services& services, const fs::path& target, const std::string& content) {
  std::random_device entropy;
  std::uniform_int_distribution<unsigned> digit(0, 15);
  for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
    fs::path temp = target;
    temp += ".new.";
    for (int k = 0; k < kTemporaryNameDigits; ++k) temp += "0123456789abcdef"[digit(entropy)];
    errno = 0;
    std::FILE* out = std::fopen(temp.c_str(), "wbx");
    if (out == nullptr) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    const bool closed = std::fclose(out) == 0;
    std::error_code ec;
    if (written && closed) {
      services.syncToDisk(temp.string());
      fs::rename(temp, target, ec);
      if (!ec) {
        services.syncToDisk(target.string());
        return true;
      }
    }
    fs::remove(temp, ec);
    return false;
  }
  return false;
}

// The first free name of walked.log.bak, walked.log.bak.1, .2, ... is given
// the log's content; an existing backup is never replaced. A hard link cannot
// replace anything and keeps the log under its own name until the fresh log
// is renamed over it; a folder that takes no hard links gets a rename into a
// name just seen free. Returns the backup's path, or empty when none was made.
fs::path keepAsBackup(const fs::path& log) {
  for (int n = 0; n < kBackupNames; ++n) {
    fs::path backup = log;
    backup += kLogBackupSuffix;
    if (n > 0) backup += "." + std::to_string(n);
    std::error_code ec;
    fs::create_hard_link(log, backup, ec);
    if (!ec) return backup;
    if (ec == std::errc::file_exists) continue;
    if (fs::symlink_status(backup, ec).type() != fs::file_type::not_found) continue;
    fs::rename(log, backup, ec);
    return ec ? fs::path() : backup;
  }
  return {};
}

// A temporary of an earlier start-up that was killed before its rename: ours
// by its exact name (walked.log.new. and eight lowercase hexadecimal digits),
// a plain file, holding no more than the beginning of the banner line that is
// all a start-up ever writes there. Anything else of a similar name is left
// alone.
bool isLeftTemporary(const fs::directory_entry& entry, const std::string& prefix) {
  const std::string name = entry.path().filename().string();
  if (name.size() != prefix.size() + kTemporaryNameDigits || !name.starts_with(prefix))
    return false;
  for (size_t k = prefix.size(); k < name.size(); ++k) {
    const char c = name[k];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  std::error_code ec;
  if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) return false;
  const std::string fresh = std::string(kLogBanner) + kLineEnd;
  if (entry.file_size(ec) > fresh.size() || ec) return false;
  std::ifstream in(entry.path(), std::ios::binary);
  std::string content(fresh.size(), '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) return false;
  content.resize(static_cast<size_t>(in.gcount()));
  return fresh.starts_with(content);
}

void removeLeftTemporaries(const fs::path& folder) {
  const std::string prefix = std::string(kLogFileName) + ".new.";
  std::error_code ec;
  std::vector<fs::path> left;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (isLeftTemporary(*it, prefix)) left.push_back(it->path());
  for (const fs::path& path : left) fs::remove(path, ec);
}

bool endsWithLineEnd(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(-1, std::ios::end);
  char last = 0;
  return in.get(last) && (last == '\n' || last == '\r');
}

// Whether the first field of a log's beginning is the banner. A leading byte
// order mark, as some editors add, is not the log's content. When the
// beginning is cut short of the file's end, only a field that ends within it
// counts.
bool opensWithBanner(std::string head, bool cutShort) {
  if (head.starts_with(kByteOrderMark)) head.erase(0, kByteOrderMark.size());
  if (cutShort) {
    const size_t lastEnd = head.find_last_of(",\r\n");
    if (lastEnd == std::string::npos) return false;
    head.resize(lastEnd + 1);
  }
  std::istringstream in(head);
  FieldReader reader(in);
  try {
    return reader.readField() == kLogBanner;
  } catch (const LogReadError&) {
    return false;
  }
}

}  // namespace

std::string LogStore::logPath() const {
  // An unknown folder means no log at all, never one in the root folder.
  const std::string folder = services_.logFolder();
  return folder.empty() ? std::string() : folder + "/" + kLogFileName;
}

void LogStore::prepareLog() {
  const std::string where = logPath();
  if (where.empty()) return;  // No folder for the log: the run goes on without one.
  const fs::path path = where;
  try {
    removeLeftTemporaries(path.parent_path());
    const LogEntry entry = logEntryAt(path);
    // Anything that is not a plain file (a FIFO, a device, a folder) or that
    // cannot even be looked at is left exactly as it is.
    if (entry == LogEntry::Other || entry == LogEntry::Unknown) return;
    if (entry == LogEntry::Regular) {
      std::string head(static_cast<size_t>(kBannerProbeBytes), '\0');
      std::streamsize got = 0;
      bool cutShort = false;
      {
        std::ifstream in(path, std::ios::binary);
        // A log that cannot be opened or read is never taken for a foreign one.
        if (!in) return;
        in.read(head.data(), kBannerProbeBytes);
        if (in.bad()) return;
        got = in.gcount();
        cutShort = got == kBannerProbeBytes && in.peek() != std::char_traits<char>::eof();
        if (in.bad()) return;
      }
      head.resize(static_cast<size_t>(got));
      if (opensWithBanner(head, cutShort)) return;

      // A foreign log is kept as a backup before a banner-only log takes its
      // place; only an empty file has nothing worth keeping.
      if (got > 0) {
        const fs::path backup = keepAsBackup(path);
        if (backup.empty()) return;  // Could not keep it: leave the file alone rather than lose it.
        services_.syncToDisk(backup.string());
        if (!writeWhole(services_, path, std::string(kLogBanner) + kLineEnd)) {
          // The log still holds its content under its own name; the extra
          // name goes again, unless the content now lives only there.
          std::error_code ec;
          if (fs::exists(path, ec) && fs::equivalent(path, backup, ec)) fs::remove(backup, ec);
        }
        return;
      }
    }
    writeWhole(services_, path, std::string(kLogBanner) + kLineEnd);
  } catch (const std::exception&) {
    // A log that cannot be prepared does not stop the saver: the end of a run
    // and the report deal with a missing or unwritable file themselves.
  }
}

void LogStore::saveLogAndQuit() {
  const std::string where = logPath();
  int failure = 0;
  try {
    const fs::path path = where;
    // Only a plain file, or none, is written: a FIFO would block the end of
    // the run, a device is not the log. A log that start-up left alone (or
    // no folder at all) is not written, and that is no failure of this end.
    const LogEntry entry = where.empty() ? LogEntry::Unknown : logEntryAt(path);
    if (entry == LogEntry::Missing || entry == LogEntry::Regular) {
      const LocalTime now = services_.localTime();
      const std::string record = recordLine(
          scene_.distance.caption(), scene_.distanceUnit.caption(), dateText(now), timeText(now));
      failure = appendRecord(where, record, entry == LogEntry::Missing);
    }
  } catch (const std::exception&) {
    failure = EIO;
  }
  if (failure != 0) {
    services_.tellUser("the record of this run could not be kept in " + std::string(kLogFileName) +
                       ": " + std::generic_category().message(failure));
    run_.end(ExitStatus::RecordNotKept);
    return;
  }
  run_.end(ExitStatus::Success);
}

int LogStore::appendRecord(const std::string& path, const std::string& record, bool wasMissing) {
  // A write interrupted before it wrote anything is tried again; this many
  // in a row means something keeps interrupting, and the record is given up.
  constexpr int kInterruptionsTolerated = 100;
  int handle = -1;
  if (const int error = services_.openToAppend(path, handle); error != 0) return error;
  int64_t before = 0;
  int failure = services_.fileLength(handle, before);
  if (failure == 0) {
    std::string text;
    // A log without its banner would be thrown away by the next start-up.
    if (before == 0) text.append(kLogBanner).append(kLineEnd);
    // A record never runs on from a line that an older program left open.
    else if (!endsWithLineEnd(path))
      text.append(kLineEnd);
    text += record;

    // The whole line in one write; after a short write only the rest is
    // written, never again what is already in the file.
    size_t done = 0;
    int interruptions = 0;
    while (failure == 0 && done < text.size()) {
      size_t written = 0;
      const int error = services_.writeSome(handle, std::string_view(text).substr(done), written);
      if (error == EINTR && written == 0 && ++interruptions < kInterruptionsTolerated) continue;
      if (error != 0)
        failure = error;
      else if (written == 0)
        failure = EIO;  // No progress and no reason: never loop on it.
      done += written;
    }
    if (failure == 0) failure = services_.syncFile(handle);
    if (failure != 0) {
      // All or nothing: the log goes back to its length before this record,
      // so no half line stays and the earlier records are as they were.
      if (services_.cutTo(handle, before) == 0) (void)services_.syncFile(handle);
    }
  }
  services_.closeFile(handle);
  if (failure == 0) {
    services_.syncToDisk(path);  // and the folder entry of a log made just now
  } else if (wasMissing && before == 0) {
    std::error_code ec;
    fs::remove(path, ec);  // The empty file this end made is no log.
  }
  return failure;
}

std::optional<std::string> LogStore::loggedDistances() {
  try {
    const std::string path = logPath();
    // A FIFO or a device is never opened: that could block for ever.
    if (path.empty() || logEntryAt(path) != LogEntry::Regular) throw LogReadError("not a log");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LogReadError("cannot open");
    const LoggedSums sums = sumLoggedDistances(in);
    return reportText(reportDistances(sums));
  } catch (const std::exception&) {
    services_.messageBox("Log could not be restored", "Disk Access Error");
    return std::nullopt;
  }
}

}  // namespace tw
