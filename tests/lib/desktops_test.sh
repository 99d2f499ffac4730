#!/usr/bin/env bash
# The reader of the client's protocol trace in desktops.sh says "ok" only for
# what a full-screen, focused Trenchwalk window leaves in the trace, and for
# anything less says what it saw: a window that never asked for the full
# screen, one configured or drawn at another size, the focus elsewhere, a
# protocol error, no such window at all. Object ids that come back for a new
# object start afresh, and the trace is read from the offset given.
set -u
# shellcheck source=tests/lib/desktops.sh
source "$(dirname "$0")/desktops.sh"
require_tools awk

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-desktops.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The lines a client writes with WAYLAND_DEBUG=client, in order: the scene's
# surface 11 gets its toplevel 13 and asks for the full screen, the compositor
# configures it at the output's size, a buffer of that size is attached, and
# the keyboard enters the surface.
surface='[100.001]  -> wl_compositor@4.create_surface(new id wl_surface@11)'
xdg='[100.002]  -> xdg_wm_base@8.get_xdg_surface(new id xdg_surface@12, wl_surface@11)'
toplevel='[100.003]  -> xdg_surface@12.get_toplevel(new id xdg_toplevel@13)'
title='[100.004]  -> xdg_toplevel@13.set_title("Trenchwalk")'
fullscreen='[100.005]  -> xdg_toplevel@13.set_fullscreen(nil)'
configure='[100.006] xdg_toplevel@13.configure(1920, 1080, array[4])'
buffer='[100.007]  -> wl_shm_pool@15.create_buffer(new id wl_buffer@16, 0, 1920, 1080, 7680, 1)'
attach='[100.008]  -> wl_surface@11.attach(wl_buffer@16, 0, 0)'
enter='[100.009] wl_keyboard@20.enter(27, wl_surface@11, array[0])'
story=("$surface" "$xdg" "$toplevel" "$title" "$fullscreen" "$configure" "$buffer" "$attach" "$enter")

# expect NAME WANT LINE...: the reader's verdict on a trace of these lines.
expect() {
  local name=$1 want=$2 got
  shift 2
  printf '%s\n' "$@" >"$work/trace"
  got=$(desktop_trace_fullscreen "$work/trace" 0)
  [ "$got" = "$want" ] || wrong "($name): \"$got\", not \"$want\""
}

expect "the whole story" ok "${story[@]}"
expect "no full screen asked" \
  "window asked for full screen: no, configured at 1920x1080, buffer 1920x1080" \
  "$surface" "$xdg" "$toplevel" "$title" "$configure" "$buffer" "$attach" "$enter"
expect "configured at another size" \
  "window asked for full screen: yes, configured at 800x600, buffer 1920x1080" \
  "$surface" "$xdg" "$toplevel" "$title" "$fullscreen" \
  '[100.006] xdg_toplevel@13.configure(800, 600, array[4])' "$buffer" "$attach" "$enter"
expect "a buffer of another size" \
  "window asked for full screen: yes, configured at 1920x1080, buffer 800x600" \
  "$surface" "$xdg" "$toplevel" "$title" "$fullscreen" "$configure" \
  '[100.007]  -> wl_shm_pool@15.create_buffer(new id wl_buffer@16, 0, 800, 600, 3200, 1)' \
  "$attach" "$enter"
expect "a dmabuf buffer of the output's size" ok \
  "$surface" "$xdg" "$toplevel" "$title" "$fullscreen" "$configure" \
  '[100.007]  -> zwp_linux_buffer_params_v1@15.create_immed(new id wl_buffer@16, 1920, 1080, 875713112, 0)' \
  "$attach" "$enter"
expect "the focus on another surface" "full screen, but the keyboard focus is elsewhere" \
  "${story[@]:0:8}" '[100.009] wl_keyboard@20.enter(27, wl_surface@30, array[0])'
expect "the focus gone again" "full screen, but the keyboard focus is elsewhere" \
  "${story[@]}" '[100.010] wl_keyboard@20.leave(28, wl_surface@11)'
expect "a protocol error" \
  "protocol error: xdg_toplevel@13, 0, \"invalid size\"" \
  "${story[@]}" '[100.011] wl_display@1.error(xdg_toplevel@13, 0, "invalid size")'
expect "another window only" "no Trenchwalk window in the trace" \
  "$surface" "$xdg" "$toplevel" '[100.004]  -> xdg_toplevel@13.set_title("Cover")' \
  "$fullscreen" "$configure" "$buffer" "$attach" "$enter"
expect "an empty trace" "no Trenchwalk window in the trace"
# A cover's toplevel freed, its id given to the scene's, which never asks
# for the full screen: nothing of the cover counts for it.
expect "an id used again" \
  "window asked for full screen: no, configured at 1920x1080, buffer 1920x1080" \
  "$surface" "$xdg" "$toplevel" '[100.004]  -> xdg_toplevel@13.set_title("Cover")' \
  "$fullscreen" "$configure" '[100.020] wl_display@1.delete_id(13)' \
  '[100.021]  -> xdg_surface@12.get_toplevel(new id xdg_toplevel@13)' "$title" \
  '[100.022] xdg_toplevel@13.configure(1920, 1080, array[4])' "$buffer" "$attach" "$enter"

# Read from an offset: an earlier run's full screen does not count for the
# run that began there.
printf '%s\n' "${story[@]}" >"$work/trace"
offset=$(stat -c %s "$work/trace")
got=$(desktop_trace_fullscreen "$work/trace" "$offset")
[ "$got" = "no Trenchwalk window in the trace" ] || wrong "(an earlier run): \"$got\""
printf '%s\n' "${story[@]}" >>"$work/trace"
got=$(desktop_trace_fullscreen "$work/trace" "$offset")
[ "$got" = ok ] || wrong "(the run after the offset): \"$got\""

passed "the trace reader tells a full-screen focused window from each kind of less"
