#include <fstream>

#include "log/log_file.h"
#include "shell/scene.h"

namespace tw {

void ScreenS::ShowLoggedDistances() {
  std::string text;
  try {
    const std::string path = logPath();
    // A FIFO or a device is never opened: that could block for ever.
    if (path.empty() || logEntryAt(path) != LogEntry::Regular) throw LogReadError("not a log");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LogReadError("cannot open");
    const LoggedSums sums = sumLoggedDistances(in);
    text = reportText(reportDistances(sums));
  } catch (const std::exception&) {
    services_.messageBox("Log could not be restored", "Disk Access Error");
    return;
  }
  Label6.setCaption(text);
  Label6.Visible = true;
}

}  // namespace tw
