#include "platform/start/log_claim.h"

#include <cstdlib>

#include "common/executable_folder.h"
#include "platform/log_folder/log_place.h"

namespace tw::platform {

common::LockOutcome LogClaim::take(std::ostream& err) {
  const LogPlace place = findLogPlace(common::executableFolder());
  if (!place.folder.empty() && !folder_.hold(place.folder))
    err << "trenchwalk: no walked.log is kept: " << place.folder << " cannot be opened\n";
  else if (place.folder.empty())
    err << "trenchwalk: no walked.log is kept: " << place.whyNone << "\n";
  return lock_.acquire(folder_.path().empty() ? std::string() : place.folder,
                       std::getenv("XDG_RUNTIME_DIR"), err);
}

}  // namespace tw::platform
