#include "idle/decide/inhibitor_registry.h"

#include <algorithm>

namespace tw::idle {

std::string oneLineText(const std::string& text) {
  constexpr char kFirstPrintable = ' ';
  constexpr char kLastPrintable = '~';
  std::string line;
  line.reserve(std::min(text.size(), kLongestInhibitorText));
  for (const char c : text) {
    if (line.size() == kLongestInhibitorText) break;
    line.push_back(c >= kFirstPrintable && c <= kLastPrintable ? c : '?');
  }
  return line;
}

bool InhibitorRegistry::inUse(std::uint32_t cookie) const {
  return std::any_of(inhibitors_.begin(), inhibitors_.end(),
                     [cookie](const Inhibitor& i) { return i.cookie == cookie; });
}

std::size_t InhibitorRegistry::heldBy(const std::string& client) const {
  return static_cast<std::size_t>(
      std::count_if(inhibitors_.begin(), inhibitors_.end(),
                    [&client](const Inhibitor& i) { return i.client == client; }));
}

std::uint32_t InhibitorRegistry::add(const std::string& client, const std::string& application,
                                     const std::string& reason) {
  if (inhibitors_.size() >= kMostInhibitors || heldBy(client) >= kMostInhibitorsPerClient)
    return 0;
  // Cookies count up and never repeat one still held; 0 is never one, since
  // applications keep 0 for "none".
  do {
    ++lastCookie_;
  } while (lastCookie_ == 0 || inUse(lastCookie_));
  inhibitors_.push_back({lastCookie_, client, oneLineText(application), oneLineText(reason)});
  return lastCookie_;
}

bool InhibitorRegistry::remove(const std::string& client, std::uint32_t cookie) {
  const auto found = std::find_if(inhibitors_.begin(), inhibitors_.end(), [&](const Inhibitor& i) {
    return i.cookie == cookie && i.client == client;
  });
  if (found == inhibitors_.end()) return false;
  inhibitors_.erase(found);
  return true;
}

std::size_t InhibitorRegistry::dropClient(const std::string& client) {
  const std::size_t before = inhibitors_.size();
  std::erase_if(inhibitors_, [&client](const Inhibitor& i) { return i.client == client; });
  return before - inhibitors_.size();
}

}  // namespace tw::idle
