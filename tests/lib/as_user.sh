# shellcheck shell=bash
# Sourced by the scripts that run programs as another user (nobody, when the
# tests run as root).
#
# reachable_as USER PATH...
#   True when USER can read every PATH, and also search it when it is a folder
#   and run it when it is a program. Otherwise says in one line which path
#   that user cannot reach and the usual cause (a private folder above it,
#   such as root's home or a mktemp -d folder), and returns 1: a test that
#   went on would fail later with an abort far from its cause. Suppression
#   files named in ASAN_OPTIONS, LSAN_OPTIONS or UBSAN_OPTIONS are checked
#   too, since the sanitizers' runtime aborts when it cannot read one.
reachable_as() {
  local user=$1 path option
  shift
  local paths=("$@")
  for option in "${ASAN_OPTIONS:-}" "${LSAN_OPTIONS:-}" "${UBSAN_OPTIONS:-}"; do
    [[ ":$option" =~ :suppressions=([^:]+) ]] && paths+=("${BASH_REMATCH[1]}")
  done
  for path in "${paths[@]}"; do
    # shellcheck disable=SC2016
    if ! setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups -- sh -c '
        test -r "$1" || exit 1
        if [ -d "$1" ]; then test -x "$1"; exit; fi
        [ "$2" = program ] && { test -x "$1"; exit; }
        exit 0' sh "$path" "$([ -f "$path" ] && [ -x "$path" ] && echo program)" 2>/dev/null; then
      echo "FAIL: $user cannot reach $path (is a folder above it private to $(id -un)?);" \
        "the test runs programs as $user and needs it"
      return 1
    fi
  done
}
