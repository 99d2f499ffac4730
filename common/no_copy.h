// A class that owns something only one object may hold (a descriptor, a
// thread, a connection, a handler it put in place) inherits this privately
// and is then neither copied nor moved: one way of saying so, not two deleted
// members in every such class.
#pragma once

namespace tw::common {

class NoCopy {
 public:
  NoCopy(const NoCopy&) = delete;
  NoCopy& operator=(const NoCopy&) = delete;

 protected:
  NoCopy() = default;
  ~NoCopy() = default;
};

}  // namespace tw::common
