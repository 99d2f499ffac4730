# shellcheck shell=bash
# Sourced by the scripts that run programs on a headless sway. It brings
# common.sh and as_user.sh with it.
# shellcheck source=tests/lib/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "${BASH_SOURCE[0]}")/as_user.sh"

# sway_user: sway refuses to run as root, so as root the compositor and its
# clients run as nobody; otherwise as the caller. Sets as_user, the command
# prefix for them (an array, not a function, so that a process started in the
# background with it is the one $! names), and owner, the user:group to own
# the folders they write (empty for the caller).
sway_user() {
  as_user=()
  prefix_as_nobody_if_root as_user
  if [ "${#as_user[@]}" -gt 0 ]; then owner=nobody:nogroup; else owner=""; fi
}
as_user() { "${as_user[@]}" "$@"; }

# start_sway FOLDER OUTPUTS [ARGUMENTS...]: starts sway headless with
# FOLDER/sway.conf (made readable here), OUTPUTS headless outputs, the pixman
# renderer and any further ARGUMENTS for sway, as
# as_user, its log in FOLDER/sway.log. XDG_RUNTIME_DIR must be set and belong
# to that user. Sets sway_pid; once sway answers, exports SWAYSOCK and
# WAYLAND_DISPLAY. Returns 1 when it does not answer within 10 s; exits the
# script with status 1 when that user cannot read the configuration.
sway_pid=""
sway_socket() { find "$XDG_RUNTIME_DIR" -maxdepth 1 -name "$1" "${@:2}" 2>/dev/null | head -n1; }
sway_up() {
  local ipc
  ipc=$(sway_socket 'sway-ipc.*.sock')
  [ -n "$ipc" ] && [ -n "$(sway_socket 'wayland-*' -type s)" ] &&
    SWAYSOCK=$ipc as_user swaymsg -t get_outputs >/dev/null 2>&1
}
sway_settled() { sway_up || ! running "$sway_pid"; }
start_sway() {
  local folder=$1 outputs=$2
  shift 2
  chmod 644 "$folder/sway.conf"
  if [ -n "${owner:-}" ]; then reachable_as "${owner%%:*}" "$folder/sway.conf" || exit 1; fi
  unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET SWAYSOCK I3SOCK
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=$outputs \
    "${as_user[@]}" sway -c "$folder/sway.conf" "$@" >"$folder/sway.log" 2>&1 &
  sway_pid=$!
  poll 100 sway_settled
  sway_up || return 1
  SWAYSOCK=$(sway_socket 'sway-ipc.*.sock')
  WAYLAND_DISPLAY=$(basename "$(sway_socket 'wayland-*' -type s)")
  export SWAYSOCK WAYLAND_DISPLAY
  slow_unwinder
}

# hold_keyboard FOLDER: the headless backend has no keyboard. wtype brings a
# virtual one for each call and takes it away again, and a seat that gains a
# keyboard does not hand the focused window a keyboard focus at once: keys
# sent then are lost. One wtype kept waiting (it would press F35 an hour from
# now) holds a keyboard in the seat until stop_sway, as a real desk has.
keyboard_pid=""
hold_keyboard() {
  "${as_user[@]}" wtype -s 3600000 -k F35 >"$1/keyboard.err" 2>&1 &
  # shellcheck disable=SC2034  # stop_pid reads it by its name
  keyboard_pid=$!
}

# stop_sway: stops the keyboard and the compositor, if they run; safe to call
# again.
stop_sway() {
  stop_pid keyboard_pid
  [ -n "$sway_pid" ] || return 0
  kill "$sway_pid" 2>/dev/null
  poll 30 ended "$sway_pid" || kill -9 "$sway_pid" 2>/dev/null
  wait "$sway_pid" 2>/dev/null
  sway_pid=""
}
