# shellcheck shell=bash
# The pids are read by their names (stop_pid).
# shellcheck disable=SC2034
# Sourced by the scripts that need buses of their own: a session bus, and a
# system bus with a configuration made here (any user may connect, own any
# name and call anything), so that stand-ins for system services (logind,
# GNOME's display manager) run without touching the machine's bus. It brings
# common.sh and as_user.sh with it. (The headless GNOME and KDE desktops start
# their buses inside their own process group: tests/lib/desktops.sh.)
#
#   start_session_bus FOLDER [USER]
#       Starts a session bus listening on FOLDER/session-bus-socket, its log
#       in FOLDER/session-bus.log, run as USER (the caller when none is
#       given), who must be able to write FOLDER; exports DBUS_SESSION_BUS_ADDRESS. Returns 1, having said why,
#       when it is not up within 10 s.
#   stop_session_bus
#       Stops it; safe to call again.
#   system_bus_config SOCKET
#       Prints the bus's configuration, for a bus listening on SOCKET (for a
#       bus started some other way: tests/lib/desktops.sh starts GNOME
#       Shell's in the shell's own process group).
#   start_system_bus FOLDER [USER]
#       Starts the bus, its socket and log in FOLDER, run as USER (the
#       caller when none is given); exports DBUS_SYSTEM_BUS_ADDRESS. Returns
#       1, having said why, when it is not up within 10 s.
#   stop_system_bus
#       Stops it; safe to call again.
#   start_fake_logind FOLDER [AS_USER...]
#       Starts tests/lib/fake_logind.py on that bus (copied into FOLDER, so
#       any user can read it), run with the command prefix AS_USER; sets
#       fake_logind_pid. Returns 1 when it did not say ready within 10 s.
#   stop_fake_logind
#   set_locked_hint true|false
#       What a desktop's locker does: the session's SetLockedHint.
# shellcheck source=tests/lib/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "${BASH_SOURCE[0]}")/as_user.sh"

system_bus_config() {
  cat <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
}

# bus_start KIND FOLDER USER DAEMON_ARGUMENT...: a dbus-daemon run as USER,
# its pid in KIND_bus_pid (which stop_pid reads by its name), up once
# FOLDER/KIND-bus-socket is there.
bus_start() {
  local kind=$1 folder=$2 user=$3 prefix=()
  local -n bus_start_pid=${kind}_bus_pid
  shift 3
  [ -n "$user" ] && [ "$user" != "$(id -un)" ] && prefix_as prefix "$user"
  "${prefix[@]}" dbus-daemon --nofork --nopidfile "$@" >"$folder/$kind-bus.log" 2>&1 &
  bus_start_pid=$!
  poll 100 test -S "$folder/$kind-bus-socket" && return
  echo "the private $kind bus did not start: $(cat "$folder/$kind-bus.log")" >&2
  return 1
}

session_bus_pid=""
start_session_bus() {
  local folder=$1 user=${2:-}
  bus_start session "$folder" "$user" --session --address="unix:path=$folder/session-bus-socket" ||
    return 1
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$folder/session-bus-socket"
}
stop_session_bus() { stop_pid session_bus_pid; }

system_bus_pid=""
start_system_bus() {
  local folder=$1 user=${2:-}
  mkdir -p "$folder"
  chmod 755 "$folder"
  system_bus_config "$folder/system-bus-socket" >"$folder/system-bus.conf"
  chmod 644 "$folder/system-bus.conf"
  [ -n "$user" ] && chown "$user" "$folder"
  bus_start system "$folder" "$user" --config-file="$folder/system-bus.conf" || return 1
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$folder/system-bus-socket"
}

stop_system_bus() {
  stop_fake_logind
  stop_pid system_bus_pid
}

fake_logind_pid=""
start_fake_logind() {
  local folder=$1
  shift
  cp "$(dirname "${BASH_SOURCE[0]}")"/{fake_logind,stand_in}.py "$folder/" || return 1
  chmod 644 "$folder"/{fake_logind,stand_in}.py
  "$@" /usr/bin/python3 "$folder/fake_logind.py" >"$folder/fake_logind.out" \
    2>"$folder/fake_logind.err" &
  fake_logind_pid=$!
  says "$fake_logind_pid" "$folder/fake_logind.out" '^ready$' ||
    { echo "the stand-in for logind did not start: $(cat "$folder/fake_logind.err")" >&2; return 1; }
}

stop_fake_logind() { stop_pid fake_logind_pid; }

set_locked_hint() {
  dbus-send --system --print-reply --dest=org.freedesktop.login1 \
    /org/freedesktop/login1/session/c1 org.freedesktop.login1.Session.SetLockedHint \
    "boolean:$1" >/dev/null
}
