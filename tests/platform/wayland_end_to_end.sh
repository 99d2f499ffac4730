#!/usr/bin/env bash
# The real saver on a headless sway: native Wayland, no XWayland, no DISPLAY.
# Screenshots with grim, keys with wtype, windows and outputs read from
# swaymsg. The runs, each checked on its own so that one fault does not hide
# the others:
#   one output   start, walking, H, keypad + (the report), F1, D, Escape
#   swayidle     `swayidle timeout 1 trenchwalk` starts it; a second firing
#                while it runs leaves at once; Escape ends it
#   two outputs  the focus on the second output at the start; each window full
#                screen on an output of its own, the second all black; keys
#                reach the saver with the focus on the cover too; a third
#                output plugged in meanwhile gets its cover
#   quick ends   starts ended by Escape as soon as they show: every one ends
#                within 10 s with its one record (Qt 6.4's Wayland client
#                could hang for good while tearing down its connection)
#   signals      SIGTERM, SIGHUP and SIGINT end it as Escape does: within 10 s,
#                status 0, one record each
#   same as X11  the start hint's pixels on sway are those the X11 path puts
#                on an Xvfb of the same size (skipped without Xvfb and import),
#                at scale 1 and at 1.5 (sway's output scale against
#                QT_SCALE_FACTOR on X11), each in device pixels
#
# sway refuses to run as root, so as root the compositor, the saver and every
# client run as nobody, in a folder of their own; otherwise as the caller.
#
# usage: wayland_end_to_end.sh path/to/trenchwalk [quick-end rounds, 10 by default]
#        ONLY_RUN=run_same_as_x11 wayland_end_to_end.sh ...   one run alone
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u
# start_xvfb and stop_xvfb, for the comparison with X11, and the common
# checks and waits.
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/../lib/xvfb.sh"

# The scene window as the compositor lists it: its title and its app_id.
scene_title=Trenchwalk
scene_app_id=trenchwalk

# shellcheck source=tests/lib/sway.sh
source "$(dirname "$0")/../lib/sway.sh"

binary=${1:?usage: wayland_end_to_end.sh path/to/trenchwalk [quick-end rounds]}
quick_rounds=${2:-10}
require_tools sway swaymsg grim wtype swayidle jq setpriv od md5sum

# The panel of blue messages (the hint, the help, the report, the trench
# notice) lies in this part of the scene's output; its text is pure blue, which
# nothing else on the scene is.
panel_geometry="0,0 520x240"
panel_min_shown=100   # blue pixels of the shortest message
panel_max_empty=20    # blue pixels tolerated with the panel hidden
# How long a key may take to change the panel, in tenths of a second. Well
# below the 10 s after which the hint, the help and the report hide
# themselves, which would otherwise pass for H's work.
panel_wait=40

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-wl.XXXXXX")
chmod 755 "$work"
sway_user
# Folders the user writes: the saver's own (the binary, walked.log and its
# lock) and a home; the runtime folder is private, as a login's would be.
mkdir -p "$work/saver" "$work/home" "$work/out" "$work/runtime"
chmod 700 "$work/runtime"
[ -n "$owner" ] && chown "$owner" "$work/saver" "$work/home" "$work/out" "$work/runtime"
saver="$work/saver/trenchwalk"
log="$work/saver/walked.log"

cleanup() {
  local pid
  stop_helpers
  for pid in $(saver_processes); do kill -9 "$pid" 2>/dev/null; done
  stop_sway
  rm -rf "$work"
}
# Interrupted, it still stops what it started.
on_exit cleanup

# Every copy of the saver this script started, wherever it came from (swayidle
# starts them through a shell): the processes running the copied binary.
saver_processes() { processes_of "$saver"; }

# Processes a run starts besides the saver (swayidle) are listed in a file,
# since a run is a subshell; stopped after each run and at the end.
stop_helpers() {
  local pid
  [ -f "$work/helpers" ] || return 0
  while read -r pid; do kill "$pid" 2>/dev/null; done <"$work/helpers"
  rm -f "$work/helpers"
}

# Inside a run (a subshell) fail says what went wrong with these logs and
# leaves the run; the next run still goes.
fail_report() {
  local f
  [ -s "$work/saver.err" ] || [ -s "$work/out/saver.err" ] || echo "--- the saver wrote nothing on stderr"
  for f in "$work"/*.err "$work"/out/*.err; do
    [ -s "$f" ] && { echo "--- $(basename "$f"):"; tail -n 60 "$f"; }
  done
  echo "--- the compositor's log:"
  tail -n 60 "$work/sway.log" 2>/dev/null
}

# --- The compositor.
cat >"$work/sway.conf" <<'EOF'
xwayland disable
default_border none
default_floating_border none
focus_follows_mouse no
output HEADLESS-1 mode 1024x768 position 0 0
output HEADLESS-2 mode 800x600 position 1024 0
output HEADLESS-3 mode 640x480 position 1824 0
EOF
unset QT_QPA_PLATFORM XDG_SESSION_TYPE XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
if ! start_sway "$work" 1; then
  echo "SKIP: sway did not start headless:"
  tail -n 30 "$work/sway.log"
  exit 77
fi
hold_keyboard "$work"

cp "$binary" "$saver" || { echo "FAIL: cannot copy $binary"; exit 1; }
[ -n "$owner" ] && chown "$owner" "$saver"
if [ -n "$owner" ]; then reachable_as nobody "$saver" || exit 1; fi

key() { as_user wtype -k "$1" 2>>"$work/wtype.err" || fail "wtype could not type $1"; }

# The compositor's view of the windows of process $1, one a line:
# "output con_id fullscreen_mode focused title app_id".
windows_of() {
  as_user swaymsg -t get_tree 2>/dev/null | jq -r --argjson pid "$1" '
    .nodes[] | select(.type == "output") | .name as $output
    | .. | objects | select(.type == "con" and .pid == $pid)
    | "\($output) \(.id) \(.fullscreen_mode) \(.focused) \(.name) \(.app_id)"'
}
scene_of() { windows_of "$1" | awk -v t="$scene_title" '$5 == t'; }
has_scene() { [ -n "$(scene_of "$1")" ]; }

# Number of bytes that are not zero in a PPM picture: 0 when all black.
lit_bytes() { tail -n +4 "$1" | tr -d '\000' | wc -c; }
shot() { as_user grim -t ppm -o "$1" - >"$2" 2>>"$work/grim.err"; }

# The blue pixels of the message panel: "count signature"; the signature
# tells one message from another.
panel() {
  local mask
  mask=$(as_user grim -t ppm -g "$panel_geometry" - 2>>"$work/grim.err" | tail -n +4 |
    od -An -v -tu1 -w3 | awk '$1 < 64 && $2 < 64 && $3 >= 192 { print NR }')
  echo "$(printf '%s' "$mask" | grep -c .) $(printf '%s' "$mask" | md5sum | cut -c1-12)"
}
panel_now=""
panel_shown() {
  panel_now=$(panel)
  [ "${panel_now% *}" -ge "$panel_min_shown" ]
}
panel_hidden() {
  panel_now=$(panel)
  [ "${panel_now% *}" -le "$panel_max_empty" ]
}
# True when the panel shows a message other than the one with signature $1.
panel_shows_other_than() {
  panel_now=$(panel)
  [ "${panel_now% *}" -ge "$panel_min_shown" ] && [ "${panel_now#* }" != "$1" ]
}

# Starts the saver with the environment given as arguments; sets pid.
pid=""
start_saver() {
  "${as_user[@]}" env "$@" "$saver" >>"$work/saver.err" 2>&1 &
  pid=$!
}
# start_shown WHAT ENV...: starts the saver and waits for its scene and hint.
start_shown() {
  start_saver "${@:2}"
  poll 150 has_scene "$pid" || fail "$1no window \"$scene_title\" appeared"
  poll "$panel_wait" panel_shown || fail "$1the hint is not shown (blue pixels, signature: $panel_now)"
}
# ends_with KEY|SIGNAL: the key, or the signal, ends the saver with status 0.
ends_with() {
  if [[ "$1" == SIG* ]]; then kill -"${1#SIG}" "$pid"; else key "$1"; fi
  exits_zero "$pid" 100 "$1"
}

# A command key: the saver goes on, writes nothing, and the panel shows a new
# message.
command_key() {
  local name=$1 before=$2
  key "$name"
  changed() { panel_shows_other_than "$before" || ! running "$pid"; }
  poll "$panel_wait" changed
  panel_shows_other_than "$before" || {
    running "$pid" || fail "key $name ended the run ($(records "$log") record(s) written)"
    fail "key $name showed nothing new in the panel (blue pixels, signature: $panel_now)"
  }
  running "$pid" || fail "key $name ended the run"
  [ "$(records "$log")" -eq 0 ] || fail "key $name wrote a record: $(cat -A "$log")"
}

# Hides the start hint with H, which also shows that keys reach the saver.
hide_hint() {
  poll "$panel_wait" panel_shown || fail "the hint is not shown (blue pixels, signature: $panel_now)"
  key h
  hidden() { panel_hidden || ! running "$pid"; }
  poll "$panel_wait" hidden
  panel_hidden || {
    running "$pid" || fail "H ended the run"
    fail "H did not hide the panel (blue pixels, signature: $panel_now): keys do not reach the saver"
  }
}

escape_ends_it() {
  ends_with Escape
  check_log "$log" 1
}

run_one_output() {
  start_saver QT_QPA_PLATFORM=wayland
  poll 150 has_scene "$pid" || fail "no window \"$scene_title\" appeared"
  local scene
  scene=$(scene_of "$pid")
  read -r output _ fullscreen focused _ app_id <<<"$scene"
  [ "$fullscreen" = 1 ] || fail "the scene is not full screen: $scene"
  [ "$focused" = true ] || fail "the scene does not have the focus: $scene"
  [ "$app_id" = "$scene_app_id" ] || fail "the scene's app_id is \"$app_id\", not \"$scene_app_id\""
  lit() { shot "$output" "$work/first.ppm" && [ "$(lit_bytes "$work/first.ppm")" -gt 0 ]; }
  poll 50 lit || fail "the screen is all black"
  # Once the hint is up the first picture is whole; then the walker moves it.
  poll "$panel_wait" panel_shown || fail "the hint is not shown (blue pixels, signature: $panel_now)"
  shot "$output" "$work/first.ppm"
  moved() { shot "$output" "$work/later.ppm" && ! cmp -s "$work/first.ppm" "$work/later.ppm"; }
  poll 50 moved || fail "nothing moves on the screen"
  local loaded
  loaded=$(gl_loaded "$pid")
  [ -z "$loaded" ] || fail "OpenGL drivers are loaded after the first frames: $loaded"
  echo "ok: one output: the scene is full screen, drawn, and walking; no OpenGL driver is loaded"

  hide_hint
  local report help
  command_key KP_Add "hidden"
  report=${panel_now#* }
  echo "ok: keypad + shows the report; the walk goes on and nothing is written"
  command_key F1 "$report"
  help=${panel_now#* }
  echo "ok: F1 shows the help; the walk goes on"
  command_key d "$help"
  echo "ok: D shows the trench notice; the walk goes on"
  escape_ends_it
  echo "ok: Escape ends it with status 0 and one record"
}

run_swayidle() {
  local fired="$work/out/fired" first idle_pid hint
  # Without -w: swayidle goes on watching while the saver runs, and its other
  # timeouts (here a stand-in for a locker) still fire. What a session gives
  # it: no QT_QPA_PLATFORM, a Wayland session type.
  "${as_user[@]}" env XDG_SESSION_TYPE=wayland swayidle timeout 1 \
    "echo started >>'$fired'; '$saver' 2>>'$work/out/saver.err'; echo \"exit \$?\" >>'$fired'" \
    timeout 2 "echo locker >>'$fired'" >"$work/swayidle.err" 2>&1 &
  idle_pid=$!
  echo "$idle_pid" >>"$work/helpers"
  one_saver() { [ "$(saver_processes | wc -l)" -eq 1 ]; }
  poll 100 one_saver || fail "swayidle started no saver within 10 s"
  first=$(saver_processes)
  poll 150 has_scene "$first" || fail "no window \"$scene_title\" appeared"
  poll "$panel_wait" panel_shown || fail "the hint is not shown (blue pixels, signature: $panel_now)"
  hint=${panel_now#* }
  # A key is activity: a second of idle after it, swayidle fires again.
  # F1 also shows that the saver it started takes keys.
  pid=$first
  command_key F1 "$hint"
  second_left() { [ "$(grep -c '^exit ' "$fired")" -ge 1 ]; }
  poll 100 second_left || fail "swayidle did not fire again, or its second saver still runs: $(cat "$fired")"
  [ "$(grep -c '^started' "$fired")" -eq 2 ] || fail "expected two starts: $(cat "$fired")"
  locker_fired() { sed -n '/^started/,$p' "$fired" | grep -q '^locker'; }
  poll 50 locker_fired || fail "swayidle's longer timeout did not fire while the saver ran: $(cat "$fired")"
  grep -qx 'exit 0' "$fired" || fail "the second saver did not exit quietly: $(cat "$fired")"
  [ "$(saver_processes)" = "$first" ] || fail "the first saver does not run alone: $(saver_processes)"
  [ "$(records "$log")" -eq 0 ] || fail "a record was written: $(cat -A "$log")"
  echo "ok: swayidle starts it; a second firing leaves at once, quietly; its longer timeout fires meanwhile"
  # Before the key that ends it: otherwise swayidle starts it again a second later.
  kill "$idle_pid"
  wait "$idle_pid" 2>/dev/null
  key Escape
  poll 100 ended "$first" ||
    fail "the saver still runs 10 s after Escape, $(records "$log") record(s) written;" "$(describe_threads "$first")"
  both_left() { [ "$(grep -c '^exit ' "$fired")" -eq 2 ]; }
  poll 20 both_left
  [ "$(sed -n '$p' "$fired")" = "exit 0" ] || fail "exit status after Escape: $(cat "$fired")"
  check_log "$log" 1
  echo "ok: Escape ends it with status 0 and one record"
}

run_two_outputs() {
  outputs() {
    [ "$(as_user swaymsg -t get_outputs | jq '[.[] | select(.active)] | length')" -eq "$1" ]
  }
  # all_black OUTPUT: a shot of it is all black.
  all_black() { shot "$1" "$work/$1.ppm" && [ "$(lit_bytes "$work/$1.ppm")" -eq 0 ]; }
  as_user swaymsg create_output >/dev/null || fail "sway could not add an output"
  poll 50 outputs 2 || fail "the second output did not appear"
  # Where the user was last: the saver starts with the focus on the second output.
  as_user swaymsg focus output HEADLESS-2 >/dev/null || fail "cannot focus HEADLESS-2"
  start_saver XDG_SESSION_TYPE=wayland
  both() { [ "$(windows_of "$pid" | wc -l)" -eq 2 ] && has_scene "$pid"; }
  poll 150 both || fail "expected the scene and one cover: $(windows_of "$pid")"
  local scene cover scene_output cover_output cover_id
  scene=$(scene_of "$pid")
  cover=$(windows_of "$pid" | awk -v t="$scene_title" '$5 != t')
  read -r scene_output _ _ _ <<<"$scene"
  read -r cover_output cover_id _ _ <<<"$cover"
  [ "$scene_output" = HEADLESS-1 ] || fail "the scene is not on the first output: $scene"
  [ "$cover_output" = HEADLESS-2 ] || fail "the cover is not on the second output: $cover"
  [ "$(awk '{print $3}' <<<"$scene")" = 1 ] || fail "the scene is not full screen: $scene"
  [ "$(awk '{print $3}' <<<"$cover")" = 1 ] || fail "the cover is not full screen: $cover"
  poll 50 all_black HEADLESS-2 || fail "the second output is not all black ($(lit_bytes "$work/HEADLESS-2.ppm") bytes lit)"
  shot HEADLESS-1 "$work/first.ppm"
  [ "$(lit_bytes "$work/first.ppm")" -gt 0 ] || fail "the first output is all black"
  echo "ok: two outputs: each window full screen on its own, the second all black"

  # Keys right after the start, the focus left wherever the saver put it.
  hide_hint
  echo "ok: keys reach the saver after a start on the second output"
  # The focus on the cover: keys act as on the scene.
  as_user swaymsg "[con_id=$cover_id] focus" >/dev/null || fail "cannot focus the cover"
  command_key F1 hidden
  echo "ok: F1 with the focus on the cover shows the help; the walk goes on"

  # An output plugged in while it runs gets a cover of its own.
  as_user swaymsg create_output >/dev/null || fail "sway could not add an output"
  poll 50 outputs 3 || fail "the third output did not appear"
  covered() { windows_of "$pid" | grep -q '^HEADLESS-3 '; }
  poll 50 covered || fail "no cover on the output plugged in: $(windows_of "$pid")"
  [ "$(windows_of "$pid" | wc -l)" -eq 3 ] || fail "expected three windows: $(windows_of "$pid")"
  [ "$(windows_of "$pid" | awk '$1 == "HEADLESS-3" {print $3}')" = 1 ] ||
    fail "the new cover is not full screen: $(windows_of "$pid")"
  poll 50 all_black HEADLESS-3 || fail "the output plugged in is not all black"
  [ "$(scene_of "$pid" | awk '{print $1}')" = HEADLESS-1 ] || fail "the scene moved: $(windows_of "$pid")"
  running "$pid" || fail "plugging in an output ended the run"
  echo "ok: an output plugged in while it runs gets a black full-screen cover"
  escape_ends_it
  echo "ok: Escape then ends it with one record"
}

run_quick_ends() {
  local round
  for round in $(seq "$quick_rounds"); do
    start_shown "round $round: " QT_QPA_PLATFORM=wayland
    ends_with Escape
    check_log "$log" "$round"
  done
  echo "ok: $quick_rounds starts ended at once: each ends with status 0 and its record"
}

# The signals that end a session, a unit or a terminal's program end it as a
# key does, and the process still ends without Qt's teardown. Started with
# them at their defaults, as a unit or a terminal starts it.
run_signals() {
  local sig count=0
  for sig in TERM HUP INT; do
    start_shown "SIG$sig: " --default-signal=TERM,HUP,INT QT_QPA_PLATFORM=wayland
    ends_with "SIG$sig"
    count=$((count + 1))
    check_log "$log" "$count"
  done
  echo "ok: SIGTERM, SIGHUP, SIGINT each end it within 10 s with status 0 and one record"
}

# The two paths to the screen, Wayland's buffers and X11's PutImage, paint
# the same scene: the corner with the start hint is the same pixel for pixel.
# The lane's height is drawn at random at each start, and the walker and the
# readout go with it: a start whose lane runs within lane_clear rows of the
# top is made again, so that nothing but the hint lies in the corner. The
# trench warning beside the hint, which comes at random too, lies right of it.
hint_corner="0,0 250x120"
lane_clear=200
start_tries=10
run_same_as_x11() {
  have_tools Xvfb import || return 0
  # Sizes in device pixels at the scale: the hint's corner, the screen, and
  # the rows the lane must keep clear of.
  local scale=${1:-1}
  local x_folder="$work/x11" x_pid="" try at=${hint_corner% *} corner=${hint_corner#* }
  local geometry clear screen scaled=()
  geometry=$(awk -v g="$corner" -v s="$scale" 'BEGIN { split(g, d, "x"); printf "%dx%d", d[1] * s, d[2] * s }')
  screen=$(awk -v s="$scale" 'BEGIN { printf "%dx%d", 1024 * s, 768 * s }')
  clear=$(awk -v c="$lane_clear" -v s="$scale" 'BEGIN { printf "%d", c * s }')
  [ "$scale" = 1 ] || scaled=(QT_SCALE_FACTOR="$scale")
  local bytes=$((${geometry%x*} * ${geometry#*x} * 3))
  mkdir -p "$x_folder"
  xvfb_pid=""
  start_xvfb "$x_folder" "$screen" || fail "no X server"
  echo "$xvfb_pid" >>"$work/helpers"
  # The first row of a PPM picture of a strip at the left edge that is not
  # black: the lane, which alone reaches the left edge.
  lane_row() { tail -c +"$(($(head -c 64 "$1" | head -n3 | wc -c) + 1))" "$1" | od -An -v -tu1 -w3 |
    awk -v w="$(head -n2 "$1" | tail -n1 | cut -d' ' -f1)" \
      '$1 + $2 + $3 > 0 { print int((NR - 1) / w); found = 1; exit } END { if (!found) print -1 }'; }
  x_hint() {
    import -window root -crop "${geometry}+${at%,*}+${at#*,}" -depth 8 ppm:- >"$work/x11.ppm" 2>/dev/null &&
      [ "$(lit_bytes "$work/x11.ppm")" -gt 0 ]
  }
  for try in $(seq "$start_tries"); do
    "${as_user[@]}" env QT_QPA_PLATFORM=xcb DISPLAY="$DISPLAY" "${scaled[@]}" "$saver" >>"$work/saver.err" 2>&1 &
    x_pid=$!
    echo "$x_pid" >>"$work/helpers"
    poll 150 x_hint || fail "the hint did not show on X11"
    import -window root -crop "1x${screen#*x}+0+0" -depth 8 ppm:- >"$work/x11-edge.ppm" 2>/dev/null
    kill -9 "$x_pid"
    wait "$x_pid" 2>/dev/null
    rm -f "$log.lock"
    [ "$(lane_row "$work/x11-edge.ppm")" -ge "$clear" ] && break
    [ "$try" -eq "$start_tries" ] && fail "the lane ran near the top in $start_tries starts on X11"
  done
  stop_xvfb
  # The output at that scale, its mode the X screen's size.
  as_user swaymsg output HEADLESS-1 mode "$screen" scale "$scale" >/dev/null ||
    fail "sway could not set the output to $screen at $scale"
  for try in $(seq "$start_tries"); do
    start_shown "" QT_QPA_PLATFORM=wayland
    as_user grim -t ppm -g "$hint_corner" - >"$work/wayland.ppm" 2>>"$work/grim.err"
    as_user grim -t ppm -g "0,0 1x768" - >"$work/wayland-edge.ppm" 2>>"$work/grim.err"
    [ "$(lane_row "$work/wayland-edge.ppm")" -ge "$clear" ] && break
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
    rm -f "$log.lock"
    [ "$try" -eq "$start_tries" ] && fail "the lane ran near the top in $start_tries starts on Wayland"
  done
  # The pixels, without the headers the two tools write differently.
  tail -c "$bytes" "$work/x11.ppm" >"$work/x11.rgb"
  tail -c "$bytes" "$work/wayland.ppm" >"$work/wayland.rgb"
  [ "$(wc -c <"$work/x11.rgb")" -eq "$bytes" ] || fail "no picture from X11"
  cmp -s "$work/x11.rgb" "$work/wayland.rgb" ||
    fail "the hint's corner differs between Wayland and X11 ($(cmp -l "$work/x11.rgb" "$work/wayland.rgb" |
      wc -l) bytes)"
  ends_with Escape
  echo "ok: the start hint is the same, pixel for pixel, on Wayland and on X11 at scale $scale"
}
run_same_as_x11_at_1_5() {
  run_same_as_x11 1.5
  as_user swaymsg output HEADLESS-1 mode 1024x768 scale 1 >/dev/null
}

# Each run in a subshell with a fresh walked.log; whatever it left running is
# stopped before the next.
none_left() { [ -z "$(saver_processes)" ]; }
failures=0
runs=(run_one_output run_swayidle run_two_outputs run_quick_ends run_signals run_same_as_x11
  run_same_as_x11_at_1_5)
[ -n "${ONLY_RUN:-}" ] && runs=("$ONLY_RUN")
for run in "${runs[@]}"; do
  rm -f "$log" "$work"/*.err "$work"/out/*
  ( "$run" ) || failures=$((failures + 1))
  stop_helpers
  for stray in $(saver_processes); do kill -9 "$stray" 2>/dev/null; done
  poll 30 none_left
  rm -f "$log.lock"
done
[ "$failures" -eq 0 ] || { echo "FAIL: $failures of ${#runs[@]} runs failed"; exit 1; }
echo "PASS"
