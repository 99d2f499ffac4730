// The heartbeat between the idle launcher and the saver it starts: the
// launcher hands the saver the write end of a pipe as this descriptor and
// names it in this variable; the saver writes a byte to it about once a
// second, and the launcher ends a saver that falls silent.
#pragma once

namespace tw::common {

inline constexpr int kHeartbeatFd = 3;
inline constexpr char kHeartbeatVariable[] = "TRENCHWALK_HEARTBEAT_FD";

}  // namespace tw::common
