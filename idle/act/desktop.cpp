#include "idle/act/desktop.h"

#include "idle/sources/gnome_idle_source.h"
#include "idle/sources/wayland_idle_source.h"
#include "idle/sources/x11_idle_source.h"

namespace tw::idle {
namespace {

// bus: what the source talks to its desktop over besides its own
// connection (GNOME's idle monitor is on the user's bus), or nothing.
template <typename Source, typename... Connection>
bool tryKind(SourceKind kind, std::uint32_t delayMs, IdleEvents& events,
             std::optional<SourceKind> only, std::optional<FoundSource>& found,
             std::string& missing, Connection&... bus) {
  if (only && *only != kind) return false;
  auto source = std::make_unique<Source>(bus..., delayMs, events);
  if (source->failure().empty()) {
    found = FoundSource{std::move(source), kind};
    return true;
  }
  missing += (missing.empty() ? "" : "; ") + source->failure();
  return false;
}

}  // namespace

std::optional<FoundSource> findIdleSource(Bus& user, std::uint32_t delayMs, IdleEvents& events,
                                          std::optional<SourceKind> only, std::string& missing) {
  std::optional<FoundSource> found;
  missing.clear();
  if (tryKind<WaylandIdleSource>(SourceKind::Wayland, delayMs, events, only, found, missing) ||
      tryKind<GnomeIdleSource>(SourceKind::Gnome, delayMs, events, only, found, missing, user) ||
      tryKind<X11IdleSource>(SourceKind::X11, delayMs, events, only, found, missing))
    return found;
  return std::nullopt;
}

std::unique_ptr<IdleSource> Desktop::pick(Launcher& launcher, std::string& missing) {
  std::optional<FoundSource> found = findIdleSource(user_, delayMs_, launcher, kind_, missing);
  if (!found) return nullptr;
  kind_ = found->kind;
  source_ = found->source.get();
  if (found->kind == SourceKind::X11) {
    auto x11 = std::make_unique<X11LockWatch>(launcher, saver_);
    x11_ = x11->connected() ? x11.get() : nullptr;
    x11Lock_.hold(x11_ != nullptr ? std::move(x11) : nullptr);
    // Bare X11 only: XWayland's screen saver runs on X input alone, and
    // would go on under a Wayland session that is in use.
    auto dark = std::make_unique<X11DarkWatch>(&launcher, &saver_);
    x11DarkNow_ = dark->connected() ? dark.get() : nullptr;
    x11Dark_.hold(x11DarkNow_ != nullptr ? std::move(dark) : nullptr);
  } else if (found->kind == SourceKind::Wayland) {
    auto dark = std::make_unique<WaylandDarkWatch>(&launcher);
    waylandDarkNow_ = dark->connected() ? dark.get() : nullptr;
    waylandDark_.hold(waylandDarkNow_ != nullptr ? std::move(dark) : nullptr);
  }
  return std::move(found->source);
}

void Desktop::lost() {
  // A screen the launcher can no longer hear about counts as lit.
  if (x11DarkNow_ != nullptr) x11DarkNow_->letGo();
  if (waylandDarkNow_ != nullptr) waylandDarkNow_->letGo();
  source_ = nullptr;
  x11_ = nullptr;
  x11DarkNow_ = nullptr;
  waylandDarkNow_ = nullptr;
  for (TiedWatch* tied : {&x11Lock_, &x11Dark_, &waylandDark_}) tied->hold(nullptr);
}

bool TiedWatch::prepare(PollRequest& request) {
  if (open_ && !watch_->prepare(request)) {
    // Its connection closed: polled no more, as the loop drops what closes.
    open_ = false;
    request = PollRequest{};
  }
  return true;
}

bool TiedWatch::dispatch(short revents) {
  if (open_) open_ = watch_->dispatch(revents);
  return true;
}

}  // namespace tw::idle
