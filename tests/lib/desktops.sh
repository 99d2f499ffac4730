# shellcheck shell=bash
# Sourced by the scripts that run the real programs on a headless GNOME
# (mutter, or GNOME Shell itself) or KDE (kwin) desktop. Each desktop is
# started as an unprivileged user (nobody, when the script runs as root: all
# refuse root or misbehave under it), with a home and a private runtime folder
# of its own, on a D-Bus session bus of its own (what
# `dbus-run-session -- mutter ...` gives).
#
#   desktop_missing DESKTOP [KEYS_TOOL]
#       Prints what the desktop needs and is not installed; prints nothing
#       when all is there. DESKTOP is gnome (bare mutter), gnome-shell or
#       kde; KEYS_TOOL is the built fake_input_keys, which KDE needs.
#   desktop_require DESKTOP [KEYS_TOOL]
#       The same, but says SKIP and exits with 77 when anything is missing.
#   desktop_start DESKTOP FOLDER [KEYS_TOOL]
#       Starts the compositor with one 1920x1080 output and the program that
#       sends it keys, and waits until both are ready. Logs go to FOLDER.
#       Exports WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and
#       HOME for what runs on it; sets desktop_as_user (an array: the command
#       prefix that runs a program as the desktop's user) and desktop_owner.
#       Returns 1, having said why, when the desktop did not come up.
#   desktop_key NAME
#       Presses and releases one key (Escape, F1, KP_Add, h, Shift_L) and
#       waits until the compositor has taken it. The focused client gets it.
#   desktop_fullscreen PID TRACE [OFFSET]
#       True when the client PID shows its "Trenchwalk" window full screen at
#       the output's size, with the keyboard focus. TRACE is the client's
#       WAYLAND_DEBUG=client output, read from byte OFFSET on (say, where a
#       new run began). On failure desktop_why says what was seen.
#   desktop_stop
#       Stops everything desktop_start started; safe to call again, and from
#       an EXIT trap. Call it from the trap of an interrupted run too.
#   desktop_show_logs
#       Prints the compositor's and the key program's logs.
#
# GNOME Shell (gnome-shell) comes up as at a login: with its Activities
# overview open. It also gets a private system bus (a dbus-daemon with a
# configuration of this library's own, never the machine's bus) on which
# display_manager.py answers for gdm, since GNOME Shell 43 builds its lock
# screen only when org.gnome.DisplayManager answers there; its session bus
# activates only org.gnome.ScreenSaver, the shell's own proxy for its lock
# screen, as a login's bus would (nothing else: each activated service costs
# a loaded machine seconds). DBUS_SYSTEM_BUS_ADDRESS is exported for what runs
# on it. For it alone:
#   desktop_lock_screen
#       Set by desktop_start: "yes" when the shell built its lock screen (it
#       owns org.gnome.Shell.ScreenShield), else why it did not.
#   desktop_overview
#       Prints true or false: whether the Activities overview is open, in the
#       shell's own word (org.gnome.Shell's OverviewActive).
#   desktop_screensaver METHOD [ARGUMENT]
#       Calls METHOD (Lock, SetActive, GetActive) of the org.gnome.ScreenSaver
#       interface on the shell itself (org.gnome.Shell.ScreenShield), as its
#       own Super+L and idle blank do: nothing starts the activatable
#       org.gnome.ScreenSaver service for it. ARGUMENT in dbus-send's form
#       (boolean:true); prints the reply's value, if any.
#
# The caller defines nothing; the library keeps its state in desktop_* names.
# It brings common.sh and as_user.sh with it.
#
# How the full screen is checked. mutter has no interface that lists windows
# (org.gnome.Shell.Introspect belongs to gnome-shell, not to mutter alone), so
# on both desktops the client's own protocol trace is read: the window asked to
# be full screen, the compositor configured it at the output's size, and the
# client then attached a buffer of that size to that very surface, which the
# keyboard then entered. The client's trace also shows which keys reached it.
# On KDE kwin is asked as well, through a KWin script that lists its windows:
# there the compositor's own word (full screen, at 0,0, of the output's size,
# active) must agree.
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317

# shellcheck source=tests/lib/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# shellcheck source=tests/lib/system_bus.sh
source "$(dirname "${BASH_SOURCE[0]}")/system_bus.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "${BASH_SOURCE[0]}")/as_user.sh"

desktop_width=1920
desktop_height=1080
# The output's scale on KDE (kwin's --scale), when the caller sets one; the
# width and height above are then its mode.
desktop_scale=""
desktop_socket=wayland-trenchwalk
# How long, in tenths of a second, the compositor and the key program may take
# to come up, and the compositor to take one key. Generous: on a loaded
# machine kwin's start alone takes several seconds.
desktop_start_wait=300
desktop_key_wait=100

desktop_name=""
desktop_folder=""
desktop_runtime=""
desktop_pid=""
desktop_keys_pid=""
desktop_keys_fd=""
desktop_keys_sent=0
desktop_queries=0
desktop_why=""
desktop_service=""
desktop_as_user=()
desktop_owner=""
desktop_lock_screen=""

desktop_missing() {
  local desktop=$1 keys_tool=${2:-} tool
  local tools=(setpriv setsid dbus-daemon dbus-send)
  case "$desktop" in
    gnome) tools+=(mutter) ;;
    gnome-shell) tools+=(gnome-shell gjs) ;;
    kde) tools+=(kwin_wayland) ;;
    *) echo "no desktop called $desktop"; return ;;
  esac
  for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || echo "$tool"
  done
  if [ "$desktop" != kde ] && ! /usr/bin/python3 -c 'import dbus' 2>/dev/null; then
    echo "python3-dbus"
  fi
  if [ "$desktop" = gnome-shell ] && ! /usr/bin/python3 -c 'from gi.repository import GLib' 2>/dev/null; then
    echo "python3-gi"
  fi
  if [ "$desktop" = kde ] && [ ! -x "$keys_tool" ]; then
    echo "fake_input_keys (built with libwayland-dev and plasma-wayland-protocols)"
  fi
}

desktop_require() {
  local missing
  missing=$(desktop_missing "$@")
  [ -z "$missing" ] && return 0
  echo "SKIP: the $1 run needs what is not installed: ${missing//$'\n'/, }"
  exit 77
}

# Linux input key codes: both desktops take keys by the keyboard's code.
desktop_key_code() {
  case "$1" in
    Escape) echo 1 ;;
    h) echo 35 ;;
    Shift_L) echo 42 ;;
    F1) echo 59 ;;
    KP_Add) echo 78 ;;
    *) return 1 ;;
  esac
}

desktop_has_owner() {
  "${desktop_as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
    grep -q 'boolean true'
}

# The conditions desktop_start, desktop_key, desktop_kwin_windows and
# desktop_stop_group poll for.
desktop_bus_up() {
  [ -s "$desktop_runtime/bus" ] || return 1
  DBUS_SESSION_BUS_ADDRESS=$(cat "$desktop_runtime/bus")
  export DBUS_SESSION_BUS_ADDRESS
  [ -S "$desktop_runtime/$desktop_socket" ] && desktop_has_owner "$desktop_service"
}
desktop_up_or_gone() { desktop_bus_up || ! running "$desktop_pid"; }
desktop_keys_ready() { grep -qx ready "$desktop_folder/keys.out" 2>/dev/null; }
desktop_keys_ready_or_gone() { desktop_keys_ready || ! running "$desktop_keys_pid"; }
desktop_key_taken() {
  [ "$(grep -c '^sent ' "$desktop_folder/keys.out")" -ge "$desktop_keys_sent" ]
}
# desktop_kwin_answered MARK
desktop_kwin_answered() { grep -q "js: $1 end" "$desktop_folder/compositor.log"; }
# desktop_group_gone LEADER
desktop_group_gone() { ! running "$1" && ! pgrep -g "$1" >/dev/null 2>&1; }

desktop_start() {
  local keys_tool=${3:-}
  desktop_name=$1
  desktop_folder=$2
  prefix_as_nobody_if_root desktop_as_user
  if [ "${#desktop_as_user[@]}" -gt 0 ]; then desktop_owner=nobody:nogroup; else desktop_owner=""; fi
  desktop_runtime=$(mktemp -d "$desktop_folder/runtime.XXXXXX") || return 1
  chmod 700 "$desktop_runtime"
  mkdir -p "$desktop_folder/home"
  [ -n "$desktop_owner" ] && chown "$desktop_owner" "$desktop_runtime" "$desktop_folder/home"
  unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM XDG_SESSION_TYPE XDG_CURRENT_DESKTOP
  unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS
  export HOME="$desktop_folder/home" XDG_RUNTIME_DIR="$desktop_runtime"

  local compositor session_config="" system_config="" stand_in=""
  case "$desktop_name" in
    gnome)
      compositor=(mutter --wayland --headless --no-x11
        --virtual-monitor "${desktop_width}x${desktop_height}" "--wayland-display=$desktop_socket")
      desktop_service=org.gnome.Mutter.RemoteDesktop
      ;;
    gnome-shell)
      compositor=(gnome-shell --wayland --headless --no-x11
        --virtual-monitor "${desktop_width}x${desktop_height}" "--wayland-display=$desktop_socket")
      desktop_service=org.gnome.Shell
      desktop_shell_buses || return 1
      session_config=$desktop_folder/session-bus.conf
      system_config=$desktop_folder/system-bus.conf
      stand_in=$desktop_folder/display_manager.py
      ;;
    kde)
      # The installed kwin_wayland carries a file capability (CAP_SYS_RESOURCE)
      # and then refuses to run for a plain user; a copy has none. It keeps
      # its name: kwin's Qt platform plugin checks it.
      mkdir -p "$desktop_folder/kwin"
      cp "$(command -v kwin_wayland)" "$desktop_folder/kwin/kwin_wayland" || return 1
      chmod 755 "$desktop_folder/kwin" "$desktop_folder/kwin/kwin_wayland"
      compositor=(env KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_COMPOSE=Q
        "$desktop_folder/kwin/kwin_wayland" --virtual --width "$desktop_width"
        --height "$desktop_height" --socket "$desktop_socket" --no-lockscreen
        ${desktop_scale:+--scale "$desktop_scale"})
      desktop_service=org.kde.KWin
      ;;
    *) echo "no desktop called $desktop_name"; return 1 ;;
  esac

  # A session bus of its own, as dbus-run-session would give, but one that
  # goes with the compositor however the run ends: dbus-run-session, killed,
  # leaves its bus and its child running. The bus's parent is the process
  # that becomes the compositor, and the compositor's is this script; each
  # dies with its parent, so that a script killed outright (a test's time
  # limit, where no trap runs) leaves nothing behind. Everything runs in a
  # process group of its own, which desktop_stop ends as a whole.
  # GNOME Shell's system bus and its stand-in for gdm come first: the shell
  # asks for gdm once, as it starts. Their configurations name their sockets.
  # shellcheck disable=SC2016
  setsid "${desktop_as_user[@]}" setpriv --pdeathsig KILL -- sh -c '
    session_config=$1 system_config=$2 stand_in=$3
    shift 3
    up() {
      what=$1
      shift
      tries=0
      until "$@" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || { echo "$what did not start"; exit 1; }
        sleep 0.1
      done
    }
    if [ -n "$system_config" ]; then
      setpriv --pdeathsig KILL -- dbus-daemon --config-file="$system_config" --nofork &
      up "the system bus" test -S "$XDG_RUNTIME_DIR/system-bus-socket"
      export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system-bus-socket"
      setpriv --pdeathsig KILL -- /usr/bin/python3 "$stand_in" >"$XDG_RUNTIME_DIR/stand-in" &
      up "the stand-in for gdm" grep -qx ready "$XDG_RUNTIME_DIR/stand-in"
    fi
    socket="$XDG_RUNTIME_DIR/bus-socket"
    if [ -n "$session_config" ]; then
      setpriv --pdeathsig KILL -- dbus-daemon --config-file="$session_config" --nofork &
    else
      setpriv --pdeathsig KILL -- dbus-daemon --session --nofork --address="unix:path=$socket" &
    fi
    up "the session bus" test -S "$socket"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$socket"
    echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/bus.tmp"
    mv "$XDG_RUNTIME_DIR/bus.tmp" "$XDG_RUNTIME_DIR/bus"
    exec "$@"' sh "$session_config" "$system_config" "$stand_in" "${compositor[@]}" \
    >"$desktop_folder/compositor.log" 2>&1 &
  desktop_pid=$!
  # GNOME Shell 43 ends with a segmentation fault on SIGTERM, headless, and
  # bash would print that job's end into the test's output; it is still
  # reaped, and desktop_stop watches it through /proc.
  [ "$desktop_name" = gnome-shell ] && disown "$desktop_pid"

  poll "$desktop_start_wait" desktop_up_or_gone
  if ! desktop_bus_up; then
    echo "the $desktop_name compositor did not come up within $((desktop_start_wait / 10)) s"
    return 1
  fi
  export WAYLAND_DISPLAY=$desktop_socket
  if [ "$desktop_name" = gnome-shell ]; then
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$desktop_runtime/system-bus-socket"
    desktop_shell_ready || return 1
  fi

  # The key program reads codes from a pipe that this shell holds open for
  # the whole run, and says "sent" for each key the compositor took. It runs
  # from the run's folder, which the desktop's user can reach wherever the
  # source and build trees lie.
  local keys=(/usr/bin/python3 "$desktop_folder/mutter_keys.py")
  if [ "$desktop_name" != kde ]; then
    cp "$(dirname "${BASH_SOURCE[0]}")/mutter_keys.py" "$desktop_folder/mutter_keys.py" || return 1
    chmod 644 "$desktop_folder/mutter_keys.py"
  else
    cp "$keys_tool" "$desktop_folder/fake_input_keys" || return 1
    chmod 755 "$desktop_folder/fake_input_keys"
    keys=(env KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$desktop_folder/fake_input_keys")
  fi
  mkfifo -m 600 "$desktop_folder/keys.fifo" || return 1
  [ -n "$desktop_owner" ] && chown "$desktop_owner" "$desktop_folder/keys.fifo"
  setsid "${desktop_as_user[@]}" "${keys[@]}" <"$desktop_folder/keys.fifo" \
    >"$desktop_folder/keys.out" 2>"$desktop_folder/keys.err" &
  desktop_keys_pid=$!
  exec {desktop_keys_fd}>"$desktop_folder/keys.fifo"
  poll "$desktop_start_wait" desktop_keys_ready_or_gone
  if ! desktop_keys_ready; then
    echo "the program that sends keys to $desktop_name did not start"
    return 1
  fi
  desktop_keys_sent=0
  # A first, harmless key: the compositor makes its virtual keyboard on the
  # first key, and a key that arrives meanwhile can be lost. Sent while no
  # client runs, so nothing takes it for a key of its own.
  desktop_key Shift_L || return 1
}

# desktop_shell_buses: writes the configurations of GNOME Shell's two buses
# and copies what they run into the run's folder. The system bus is
# system_bus.sh's: only this run's own user is on it.
desktop_shell_buses() {
  local here service
  here=$(dirname "${BASH_SOURCE[0]}")
  system_bus_config "$desktop_runtime/system-bus-socket" >"$desktop_folder/system-bus.conf"
  mkdir -p "$desktop_folder/services"
  service=/usr/share/dbus-1/services/org.gnome.ScreenSaver.service
  [ -f "$service" ] || { echo "GNOME Shell's $service is not installed"; return 1; }
  cp "$service" "$desktop_folder/services/"
  cat >"$desktop_folder/session-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$desktop_runtime/bus-socket</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$desktop_folder/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  cp "$here/display_manager.py" "$here/stand_in.py" "$desktop_folder/" || return 1
  chmod 644 "$desktop_folder"/*.conf "$desktop_folder"/*.py "$desktop_folder/services/"*
  chmod 755 "$desktop_folder/services"
}

desktop_overview() {
  "${desktop_as_user[@]}" dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell \
    org.freedesktop.DBus.Properties.Get string:org.gnome.Shell string:OverviewActive 2>/dev/null |
    awk '$1 == "variant" && $2 == "boolean" { print $3 }'
}

desktop_screensaver() {
  local reply
  reply=$("${desktop_as_user[@]}" dbus-send --session --print-reply --reply-timeout=20000 \
    --dest=org.gnome.Shell.ScreenShield /org/gnome/ScreenSaver "org.gnome.ScreenSaver.$1" \
    ${2:+"$2"}) ||
    return 1
  awk 'NR > 1 { print $2 }' <<<"$reply"
}

# desktop_shell_ready: waits until GNOME Shell shows what a login shows (the
# overview open) and sets desktop_lock_screen. The shell builds its lock
# screen before its overview opens, so by then it is there or it never is.
desktop_shell_ready() {
  desktop_overview_open() { [ "$(desktop_overview)" = true ] || ! running "$desktop_pid"; }
  poll "$desktop_start_wait" desktop_overview_open
  if [ "$(desktop_overview)" != true ]; then
    echo "GNOME Shell did not open its overview within $((desktop_start_wait / 10)) s"
    running "$desktop_pid" && describe_threads "$desktop_pid"
    return 1
  fi
  if desktop_has_owner org.gnome.Shell.ScreenShield; then
    desktop_lock_screen=yes
  elif [ ! -e /run/systemd/seats ]; then
    desktop_lock_screen="GNOME Shell builds its lock screen only where logind runs"
    desktop_lock_screen+=" (it looks for /run/systemd/seats, which this machine lacks)"
  else
    desktop_lock_screen="GNOME Shell did not build its lock screen (no org.gnome.Shell.ScreenShield)"
  fi
}

desktop_key() {
  local code
  code=$(desktop_key_code "$1") || { echo "no key called $1"; return 1; }
  echo "$code" >&"$desktop_keys_fd" || { echo "the key program is gone"; return 1; }
  desktop_keys_sent=$((desktop_keys_sent + 1))
  poll "$desktop_key_wait" desktop_key_taken || {
    echo "$desktop_name did not take key $1 within $((desktop_key_wait / 10)) s"
    return 1
  }
}

# desktop_trace_fullscreen TRACE OFFSET: reads the client's protocol trace;
# prints "ok" when a window titled Trenchwalk asked for the full screen, was
# configured at the output's size, then attached a buffer of that size, and
# has the keyboard focus; otherwise what it saw. The focus comes a little after
# the first picture on mutter, and keys sent before it are lost. Object ids
# are reused once freed, so everything is tracked as it comes, line by line.
desktop_trace_fullscreen() {
  tail -c +"$(($2 + 1))" "$1" 2>/dev/null | awk -v size="${desktop_width}x${desktop_height}" '
    function id(s) { sub(/^[^@]*@/, "", s); sub(/[^0-9].*$/, "", s); return s }
    function arg(n,   a) { split(args, a, /, */); return a[n] }
    {
      # "[ time]  -> object@id.request(arguments)" or an event without the arrow.
      line = $0
      sub(/^\[[^]]*\] */, "", line)
      sub(/^-> /, "", line)
      object = line; sub(/\..*$/, "", object)
      message = line; sub(/^[^.]*\./, "", message); sub(/\(.*$/, "", message)
      args = line; sub(/^[^(]*\(/, "", args); sub(/\)$/, "", args)
    }
    message == "get_xdg_surface" { surface_of[id(arg(1))] = id(arg(2)) }
    message == "get_toplevel" { t = id(arg(1)); xdg_of[t] = id(object)
      title[t] = ""; asked[t] = 0; configured[t] = "" }
    object ~ /^xdg_toplevel@/ && message == "set_title" { title[id(object)] = arg(1) }
    object ~ /^xdg_toplevel@/ && message == "set_fullscreen" { asked[id(object)] = 1 }
    object ~ /^xdg_toplevel@/ && message == "configure" {
      configured[id(object)] = arg(1) "x" arg(2) }
    message == "create_buffer" && args ~ /wl_buffer@/ { buffer[id(arg(1))] = arg(3) "x" arg(4) }
    message == "create_immed" && args ~ /wl_buffer@/ { buffer[id(arg(1))] = arg(2) "x" arg(3) }
    object ~ /^wl_display@/ && message == "error" { errors = errors " " args }
    object ~ /^wl_keyboard@/ && message == "enter" { focus = id(arg(2)) }
    object ~ /^wl_keyboard@/ && message == "leave" { focus = "" }
    object ~ /^wl_surface@/ && message == "attach" {
      s = id(object); b = id(arg(1))
      for (t in xdg_of) {
        if (surface_of[xdg_of[t]] != s || title[t] != "\"Trenchwalk\"") continue
        seen = "window asked for full screen: " (asked[t] ? "yes" : "no") \
          ", configured at " configured[t] ", buffer " buffer[b]
        if (asked[t] && configured[t] == size && buffer[b] == size) shown = s
      }
    }
    END {
      if (errors != "") print "protocol error:" errors
      else if (shown != "" && focus == shown) print "ok"
      else if (shown != "") print "full screen, but the keyboard focus is elsewhere"
      else if (seen != "") print seen
      else print "no Trenchwalk window in the trace"
    }'
}

# desktop_kwin_windows: sets desktop_windows to kwin's own list of windows,
# one a line: "pid fullscreen width height x y active caption". Through a KWin
# script that prints into kwin's log, marked so that each query's lines are
# its own.
desktop_windows=""
desktop_kwin_windows() {
  local mark script reply number
  desktop_windows=""
  desktop_queries=$((desktop_queries + 1))
  mark="trenchwalk-query-$desktop_queries"
  script="$desktop_folder/$mark.js"
  cat >"$script" <<EOF
var windows = workspace.clientList();
for (var i = 0; i < windows.length; i++) {
  var w = windows[i], g = w.frameGeometry;
  print("$mark " + w.pid + " " + w.fullScreen + " " + g.width + " " + g.height + " " + g.x + " " +
        g.y + " " + w.active + " " + w.caption);
}
print("$mark end");
EOF
  chmod 644 "$script"
  reply=$("${desktop_as_user[@]}" dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
    org.kde.kwin.Scripting.loadScript "string:$script" "string:$mark" 2>/dev/null) || return 1
  number=$(awk '$1 == "int32" {print $2}' <<<"$reply")
  [ -n "$number" ] && [ "$number" -ge 0 ] || return 1
  "${desktop_as_user[@]}" dbus-send --session --print-reply --dest=org.kde.KWin "/$number" \
    org.kde.kwin.Script.run >/dev/null 2>&1 || return 1
  poll 50 desktop_kwin_answered "$mark"
  "${desktop_as_user[@]}" dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
    org.kde.kwin.Scripting.unloadScript "string:$mark" >/dev/null 2>&1
  desktop_windows=$(grep "js: $mark " "$desktop_folder/compositor.log" |
    grep -v "js: $mark end" | sed "s/^.*js: $mark //")
}

desktop_fullscreen() {
  local pid=$1 trace=$2 offset=${3:-0} seen
  seen=$(desktop_trace_fullscreen "$trace" "$offset")
  if [ "$seen" != ok ]; then
    desktop_why="in the client's trace: $seen"
    return 1
  fi
  [ "$desktop_name" = kde ] || return 0
  desktop_kwin_windows
  if ! awk -v pid="$pid" -v w="$desktop_width" -v h="$desktop_height" '
      $1 == pid && $2 == "true" && $3 == w && $4 == h && $5 == 0 && $6 == 0 && $7 == "true" &&
      $8 == "Trenchwalk" { found = 1 }
      END { exit !found }' <<<"$desktop_windows"; then
    desktop_why="kwin lists (pid full-screen width height x y active caption):"
    desktop_why+=" ${desktop_windows:-nothing}"
    return 1
  fi
}

desktop_show_logs() {
  local f
  for f in "$desktop_folder/compositor.log" "$desktop_folder/keys.err"; do
    [ -s "$f" ] || continue
    echo "--- $(basename "$f"):"
    grep -v 'js: trenchwalk-query' "$f" | tail -n 40
  done
}

# Stops a process group: politely, then for good after 3 s.
desktop_stop_group() {
  local leader=$1
  kill -TERM -- "-$leader" 2>/dev/null
  poll 30 desktop_group_gone "$leader" || kill -KILL -- "-$leader" 2>/dev/null
  wait "$leader" 2>/dev/null
}

desktop_stop() {
  if [ -n "$desktop_keys_fd" ]; then
    exec {desktop_keys_fd}>&-
    desktop_keys_fd=""
  fi
  [ -n "$desktop_keys_pid" ] && desktop_stop_group "$desktop_keys_pid"
  desktop_keys_pid=""
  [ -n "$desktop_pid" ] && desktop_stop_group "$desktop_pid"
  desktop_pid=""
  [ -n "$desktop_runtime" ] && rm -rf "$desktop_runtime"
  desktop_runtime=""
  desktop_lock_screen=""
}
