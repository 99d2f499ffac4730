#!/usr/bin/env bash
# reachable_as, which the scripts that switch user call before they start
# anything as that user: a file or program inside a private folder, a folder
# the user cannot search, and a sanitizer suppression file it cannot read are
# each named in one clear line; what the user can reach passes.
set -u
source "$(dirname "$0")/as_user.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to check paths as another user"
  exit 77
fi
command -v setpriv >/dev/null || { echo "SKIP: setpriv is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-users.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -m 755 "$work/open" && mkdir -m 700 "$work/private" && mkdir -m 744 "$work/unsearchable"
for folder in open private unsearchable; do
  printf 'data\n' >"$work/$folder/data" && chmod 644 "$work/$folder/data"
  printf '#!/bin/sh\n' >"$work/$folder/program" && chmod 755 "$work/$folder/program"
done
printf 'data\n' >"$work/open/secret" && chmod 600 "$work/open/secret"
printf '#!/bin/sh\n' >"$work/open/own_program" && chmod 744 "$work/open/own_program"

failures=0
# expect PASS|FAIL PATH [ENVIRONMENT...]
expect() {
  local want=$1 path=$2 out status
  shift 2
  out=$(env "$@" bash -c 'source "$1"; reachable_as nobody "$2"' sh \
    "$(dirname "$0")/as_user.sh" "$path" 2>&1)
  status=$?
  if [ "$want" = PASS ]; then
    [ "$status" -eq 0 ] && [ -z "$out" ] && return
  else
    [ "$status" -eq 1 ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] &&
      [[ "$out" == "FAIL: nobody cannot reach "* ]] && return
  fi
  echo "wrong answer for $path ${*:-} (wanted $want): status $status, said: $out"
  failures=$((failures + 1))
}

expect PASS "$work/open/data"
expect PASS "$work/open/program"
expect PASS "$work/open"
expect FAIL "$work/private/data"
expect FAIL "$work/private/program"
expect FAIL "$work/unsearchable"
expect FAIL "$work/unsearchable/data"
expect FAIL "$work/open/secret"
expect FAIL "$work/open/own_program"
expect FAIL "$work/open/missing"
expect PASS "$work/open/data" LSAN_OPTIONS="print_suppressions=0"
expect PASS "$work/open/data" LSAN_OPTIONS="suppressions=$work/open/data:print_suppressions=0"
expect FAIL "$work/open/data" LSAN_OPTIONS="print_suppressions=0:suppressions=$work/private/data"
expect FAIL "$work/open/data" ASAN_OPTIONS="suppressions=$work/private/data"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: every unreachable path is named in one line; reachable ones pass"
