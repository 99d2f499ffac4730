// Whom a signal is taken from. A service's signal carries the unique name of
// the connection that sent it; only the connection that owns the service's
// well-known name now speaks for it. A sender that claims the well-known name
// itself, any sender while nobody owns the name, and any other connection
// (a program sending straight to the launcher) speak for nobody.
#pragma once

#include <string_view>

namespace tw::idle {

inline bool speaksFor(std::string_view sender, std::string_view owner) {
  return !owner.empty() && owner.front() == ':' && sender == owner;
}

}  // namespace tw::idle
