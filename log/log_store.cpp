#include "log/log_store.h"

#include <cerrno>
#include <memory>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "log/log_file.h"
#include "shell/text.h"

namespace tw {
namespace {

// A backup name is looked for among this many; past them the log is left as
// it is rather than overwrite one.
constexpr int kBackupNames = 10'000;
// Tries at a fresh temporary name before the fresh log is given up, and the
// random hexadecimal digits that make each name.
constexpr int kTemporaryNames = 16;
constexpr int kTemporaryNameDigits = 8;
// Start-up reads no more than this to find the banner, however long the first
// line is.
constexpr size_t kBannerProbeBytes = 4096;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A write interrupted before it wrote anything is tried again; this many in a
// row means something keeps interrupting, and the write is given up.
constexpr int kInterruptionsTolerated = 100;

std::string freshLog() { return std::string(kLogBanner) + kLineEnd; }

// Writes all the bytes at the file's end. After a short write only the rest
// is written, never again what is already in the file.
int writeAll(LogDisk& disk, int handle, std::string_view bytes) {
  size_t done = 0;
  int interruptions = 0;
  while (done < bytes.size()) {
    size_t written = 0;
    const int error = disk.writeSome(handle, bytes.substr(done), written);
    if (error == EINTR && written == 0 && ++interruptions < kInterruptionsTolerated) continue;
    if (error != 0) return error;
    if (written == 0) return EIO;  // No progress and no reason: never loop on it.
    done += written;
  }
  return 0;
}

// Creates a file that did not exist under a name of its own beside the target
// (created exclusively, so a planted file or symlink is never followed),
// writes it, pushes it to the disk, then renames it over the target: the log
// appears whole or not at all. A push that fails leaves the data as safe as
// the system could make it, and the log whole either way.
bool writeWhole(LogDisk& disk, const std::string& target, const std::string& content) {
  for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
    const std::string temp = target + ".new." + disk.randomDigits(kTemporaryNameDigits);
    int handle = -1;
    const int error = disk.createNew(temp, handle);
    if (error == EEXIST) continue;
    if (error != 0) return false;
    const bool written = writeAll(disk, handle, content) == 0;
    const bool closed = disk.closeFile(handle) == 0;
    if (written && closed) {
      (void)disk.syncToDisk(temp);
      if (disk.rename(temp, target) == 0) {
        (void)disk.syncToDisk(target);
        return true;
      }
    }
    (void)disk.remove(temp);
    return false;
  }
  return false;
}

// The first free name of walked.log.bak, walked.log.bak.1, .2, ... is given
// the log's content; an existing backup is never replaced. A hard link cannot
// replace anything and keeps the log under its own name until the fresh log
// is renamed over it; a folder that takes no hard links gets a rename into a
// name just seen free. Returns the backup's path, or empty when none was made.
std::string keepAsBackup(LogDisk& disk, const std::string& log) {
  for (int n = 0; n < kBackupNames; ++n) {
    std::string backup = log + kLogBackupSuffix;
    if (n > 0) backup += "." + std::to_string(n);
    const int error = disk.hardLink(log, backup);
    if (error == 0) return backup;
    if (error == EEXIST) continue;
    if (disk.entryAt(backup) != LogEntry::Missing) continue;
    return disk.rename(log, backup) == 0 ? backup : std::string();
  }
  return {};
}

// A temporary of an earlier start-up that was killed before its rename: ours
// by its exact name (walked.log.new. and eight lowercase hexadecimal digits),
// a plain file, holding no more than the beginning of the banner line that is
// all a start-up ever writes there. Anything else of a similar name is left
// alone.
bool isLeftTemporary(LogDisk& disk, const std::string& folder, const std::string& name,
                     const std::string& prefix) {
  if (name.size() != prefix.size() + kTemporaryNameDigits || !name.starts_with(prefix))
    return false;
  for (size_t k = prefix.size(); k < name.size(); ++k) {
    const char c = name[k];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  const std::string path = folder + "/" + name;
  const std::string fresh = freshLog();
  int64_t size = 0;
  if (disk.plainFileSize(path, size) != 0 || size > static_cast<int64_t>(fresh.size()))
    return false;
  std::string content;
  bool more = false;
  if (disk.readHead(path, fresh.size(), content, more) != 0) return false;
  return fresh.starts_with(content);
}

void removeLeftTemporaries(LogDisk& disk, const std::string& folder) {
  const std::string prefix = std::string(kLogFileName) + ".new.";
  // A listing that fails part way still gives the names it found.
  std::vector<std::string> names;
  (void)disk.listFolder(folder, names);
  std::vector<std::string> left;
  for (const std::string& name : names)
    if (isLeftTemporary(disk, folder, name, prefix)) left.push_back(folder + "/" + name);
  for (const std::string& path : left) (void)disk.remove(path);
}

bool endsWithLineEnd(LogDisk& disk, const std::string& path) {
  char last = 0;
  return disk.readLastByte(path, last) == 0 && (last == '\n' || last == '\r');
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
  const std::string folder = services_.logFolder();
  if (folder.empty()) return;  // No folder for the log: the run goes on without one.
  const std::string path = logPath();
  try {
    removeLeftTemporaries(disk_, folder);
    const LogEntry entry = disk_.entryAt(path);
    // Anything that is not a plain file (a FIFO, a device, a folder) or that
    // cannot even be looked at is left exactly as it is.
    if (entry == LogEntry::Other || entry == LogEntry::Unknown) return;
    if (entry == LogEntry::Regular) {
      std::string head;
      bool cutShort = false;
      // A log that cannot be opened or read is never taken for a foreign one.
      if (disk_.readHead(path, kBannerProbeBytes, head, cutShort) != 0) return;
      if (opensWithBanner(head, cutShort)) return;

      // A foreign log is kept as a backup before a banner-only log takes its
      // place; only an empty file has nothing worth keeping.
      if (!head.empty()) {
        const std::string backup = keepAsBackup(disk_, path);
        if (backup.empty()) return;  // Could not keep it: leave the file alone rather than lose it.
        (void)disk_.syncToDisk(backup);
        // When the fresh log could not be written, the log still holds its
        // content under its own name; the extra name goes again, unless the
        // content now lives only there.
        if (!writeWhole(disk_, path, freshLog()) && disk_.sameFile(path, backup))
          (void)disk_.remove(backup);
        return;
      }
    }
    writeWhole(disk_, path, freshLog());
  } catch (const std::exception&) {
    // A log that cannot be prepared does not stop the saver: the end of a run
    // and the report deal with a missing or unwritable file themselves.
  }
}

void LogStore::saveLogAndQuit() {
  const std::string where = logPath();
  int failure = 0;
  try {
    // Only a plain file, or none, is written: a FIFO would block the end of
    // the run, a device is not the log. A log that start-up left alone (or
    // no folder at all) is not written, and that is no failure of this end.
    const LogEntry entry = where.empty() ? LogEntry::Unknown : disk_.entryAt(where);
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
    outbox_.push(TellUser{"the record of this run could not be kept in " + std::string(kLogFileName) +
                          ": " + std::generic_category().message(failure)});
    run_.end(ExitStatus::RecordNotKept);
    return;
  }
  run_.end(ExitStatus::Success);
}

int LogStore::appendRecord(const std::string& path, const std::string& record, bool wasMissing) {
  int handle = -1;
  if (const int error = disk_.openToAppend(path, handle); error != 0) return error;
  int64_t before = 0;
  int failure = disk_.fileLength(handle, before);
  if (failure == 0) {
    std::string text;
    // A log without its banner would be thrown away by the next start-up.
    if (before == 0) text.append(kLogBanner).append(kLineEnd);
    // A record never runs on from a line that an older program left open.
    else if (!endsWithLineEnd(disk_, path))
      text.append(kLineEnd);
    text += record;
    // The whole line in one write when the disk takes it.
    failure = writeAll(disk_, handle, text);
    if (failure == 0) failure = disk_.syncFile(handle);
    if (failure != 0) {
      // All or nothing: the log goes back to its length before this record,
      // so no half line stays and the earlier records are as they were.
      if (disk_.cutTo(handle, before) == 0) (void)disk_.syncFile(handle);
    }
  }
  (void)disk_.closeFile(handle);
  if (failure == 0) {
    (void)disk_.syncToDisk(path);  // and the folder entry of a log made just now
  } else if (wasMissing && before == 0) {
    (void)disk_.remove(path);  // The empty file this end made is no log.
  }
  return failure;
}

std::optional<std::string> LogStore::loggedDistances() {
  try {
    const std::string path = logPath();
    // A FIFO or a device is never opened: that could block for ever.
    if (path.empty() || disk_.entryAt(path) != LogEntry::Regular) throw LogReadError("not a log");
    const std::unique_ptr<std::istream> in = disk_.openToRead(path);
    if (!in) throw LogReadError("cannot open");
    const LoggedSums sums = sumLoggedDistances(*in);
    return reportText(reportDistances(sums));
  } catch (const std::exception&) {
    outbox_.push(MessageBox{"Log could not be restored", "Disk Access Error"});
    return std::nullopt;
  }
}

}  // namespace tw
