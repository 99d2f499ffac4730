// Where an idle source delivers what it learns.
#pragma once

namespace tw::idle {

class IdleEvents {
 public:
  virtual ~IdleEvents() = default;
  // The session has been idle for the whole delay.
  virtual void sessionIdle() = 0;
  // Input came back after an idle period.
  virtual void sessionActive() = 0;
};

}  // namespace tw::idle
