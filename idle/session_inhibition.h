// Whether GNOME's session manager says idle is inhibited right now (a film, a
// presentation, anything that called Inhibit with the idle flag). Asked once
// per idle period, on a connection of its own made for the question, so the
// launcher holds no bus connection while it waits.
#pragma once

namespace tw::idle {

class SessionInhibition {
 public:
  // False when there is no session bus or no session manager on it: no one
  // has said anything is inhibited.
  bool idleInhibited();
};

}  // namespace tw::idle
