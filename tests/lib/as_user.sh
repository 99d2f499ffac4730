# shellcheck shell=bash
# Sourced by the scripts that run programs as another user (nobody, when the
# tests run as root).
#
# prefix_as ARRAY USER
#   Sets the array ARRAY to the command words that run a program as USER, in
#   USER's own group and no other. They are a program's words (setpriv), not
#   a function, so that they can follow setsid, and a process started in the
#   background with them is the one $! names.
# prefix_as_nobody_if_root ARRAY
#   The same for nobody when the script runs as root (the compositors refuse
#   root, and a test should not need it); no words otherwise.
#
# reachable_as USER PATH...
#   True when USER can read every PATH, and also search it when it is a folder
#   and run it when it is a program. Otherwise says in one line which path
#   that user cannot reach and the usual cause (a private folder above it,
#   such as root's home or a mktemp -d folder), and returns 1: a test that
#   went on would fail later with an abort far from its cause. Suppression
#   files named in ASAN_OPTIONS, LSAN_OPTIONS or UBSAN_OPTIONS are checked
#   too, since the sanitizers' runtime aborts when it cannot read one.
#
# run_unprivileged PROGRAM [ARGUMENT...]
#   For the checks that root passes by its rights alone (a file it cannot
#   read, a folder it cannot write): runs a copy of PROGRAM as nobody, with a
#   TMPDIR of nobody's own, and returns its status. Not as root, where those
#   checks already run as the caller, it says SKIP and returns 77. Run as a
#   script, this file does it: bash as_user.sh PROGRAM [ARGUMENT...].
# The arrays are the caller's, written through a name reference.
# shellcheck disable=SC2034
prefix_as() {
  local -n prefix_as_words=$1
  prefix_as_words=(setpriv --reuid="$2" --regid="$(id -g "$2")" --clear-groups --)
}

# shellcheck disable=SC2034
prefix_as_nobody_if_root() {
  local -n prefix_as_root_words=$1
  if [ "$(id -u)" -eq 0 ]; then
    prefix_as prefix_as_root_words nobody
  else
    prefix_as_root_words=()
  fi
}

reachable_as() {
  local user=$1 path option prefix
  shift
  prefix_as prefix "$user"
  local paths=("$@")
  for option in "${ASAN_OPTIONS:-}" "${LSAN_OPTIONS:-}" "${UBSAN_OPTIONS:-}"; do
    [[ ":$option" =~ :suppressions=([^:]+) ]] && paths+=("${BASH_REMATCH[1]}")
  done
  for path in "${paths[@]}"; do
    # shellcheck disable=SC2016
    if ! "${prefix[@]}" sh -c '
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

run_unprivileged() {
  local work prefix status
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: these checks run as $(id -un) already"
    return 77
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-unprivileged.XXXXXX") || return 1
  chmod 755 "$work"
  mkdir -m 700 "$work/tmp" && chown nobody "$work/tmp" && cp "$1" "$work/program" &&
    chmod 755 "$work/program" && reachable_as nobody "$work/program" || { rm -rf "$work"; return 1; }
  prefix_as prefix nobody
  (cd "$work/tmp" && TMPDIR="$work/tmp" HOME="$work/tmp" "${prefix[@]}" "$work/program" "${@:2}")
  status=$?
  rm -rf "$work"
  return "$status"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  run_unprivileged "$@"
  exit
fi
