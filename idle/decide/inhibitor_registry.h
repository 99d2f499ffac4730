// The inhibitors applications hold through org.freedesktop.ScreenSaver where
// this launcher answers for that name: a cookie for each Inhibit, who asked
// (the caller's unique bus name) and why. Pure bookkeeping, so that a test
// drives every path; the bus side lives in ScreenSaverService.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::idle {

// No application holds more than a handful at once (one per tab, per
// window); a client past this is broken or hostile, and is refused rather
// than let grow the launcher without bound.
inline constexpr std::size_t kMostInhibitorsPerClient = 64;
inline constexpr std::size_t kMostInhibitors = 1024;
// Names and reasons are shown in one line; anything longer is cut here.
inline constexpr std::size_t kLongestInhibitorText = 120;

struct Inhibitor {
  std::uint32_t cookie = 0;
  std::string client;       // the caller's unique bus name, ":1.42"
  std::string application;  // as the caller named itself
  std::string reason;
};

class InhibitorRegistry {
 public:
  // A new inhibitor for client; its cookie, or 0 when the client (or
  // everyone together) already holds the most allowed.
  std::uint32_t add(const std::string& client, const std::string& application,
                    const std::string& reason);
  // Ends the inhibitor with this cookie, only for the client that made it:
  // another application cannot end someone else's. True when one ended.
  bool remove(const std::string& client, std::uint32_t cookie);
  // Ends every inhibitor of a client that left the bus; how many there were.
  std::size_t dropClient(const std::string& client);
  // How many inhibitors this client holds.
  std::size_t heldBy(const std::string& client) const;

  bool empty() const { return inhibitors_.empty(); }
  const std::vector<Inhibitor>& inhibitors() const { return inhibitors_; }

 private:
  bool inUse(std::uint32_t cookie) const;

  std::vector<Inhibitor> inhibitors_;
  std::uint32_t lastCookie_ = 0;
};

// Text a client sent, fit for one line of the log: printable ASCII kept,
// every other byte (a newline, an escape, UTF-8) as '?', and at most
// kLongestInhibitorText bytes.
std::string oneLineText(const std::string& text);

}  // namespace tw::idle
