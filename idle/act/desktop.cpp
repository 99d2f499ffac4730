#include "idle/act/desktop.h"

#include "idle/sources/gnome_idle_source.h"
#include "idle/sources/wayland_idle_source.h"
#include "idle/sources/x11_idle_source.h"

namespace tw::idle {
namespace {

template <typename Source>
bool tryKind(SourceKind kind, std::uint32_t delayMs, IdleEvents& events,
             std::optional<SourceKind> only, std::optional<FoundSource>& found,
             std::string& missing) {
  if (only && *only != kind) return false;
  auto source = std::make_unique<Source>(delayMs, events);
  if (source->failure().empty()) {
    found = FoundSource{std::move(source), kind};
    return true;
  }
  missing += (missing.empty() ? "" : "; ") + source->failure();
  return false;
}

}  // namespace

std::optional<FoundSource> findIdleSource(std::uint32_t delayMs, IdleEvents& events,
                                          std::optional<SourceKind> only, std::string& missing) {
  std::optional<FoundSource> found;
  missing.clear();
  if (tryKind<WaylandIdleSource>(SourceKind::Wayland, delayMs, events, only, found, missing) ||
      tryKind<GnomeIdleSource>(SourceKind::Gnome, delayMs, events, only, found, missing) ||
      tryKind<X11IdleSource>(SourceKind::X11, delayMs, events, only, found, missing))
    return found;
  return std::nullopt;
}

std::unique_ptr<IdleSource> Desktop::pick(Launcher& launcher, std::string& missing) {
  std::optional<FoundSource> found = findIdleSource(delayMs_, launcher, kind_, missing);
  if (!found) return nullptr;
  kind_ = found->kind;
  source_ = found->source.get();
  if (found->kind == SourceKind::X11) {
    x11_ = std::make_unique<X11LockWatch>(launcher, saver_);
    if (!x11_->connected()) x11_.reset();
    x11Open_ = x11_ != nullptr;
  }
  return std::move(found->source);
}

void Desktop::lost() {
  source_ = nullptr;
  x11_.reset();
  x11Open_ = false;
}

bool Desktop::prepare(PollRequest& request) {
  if (x11Open_ && !x11_->prepare(request)) {
    // Its connection closed: polled no more, as the loop drops what closes.
    x11Open_ = false;
    request = PollRequest{};
  }
  return true;
}

bool Desktop::dispatch(short revents) {
  if (x11Open_) x11Open_ = x11_->dispatch(revents);
  return true;
}

}  // namespace tw::idle
