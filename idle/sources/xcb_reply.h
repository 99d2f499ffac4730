// What both X11 connections of the launcher need from xcb: replies freed
// where they go out of scope, and an event's code without its SendEvent bit.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tw::idle {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// Every event code's top bit says whether SendEvent made it.
inline constexpr std::uint8_t kEventCodeMask = 0x7f;

}  // namespace tw::idle
