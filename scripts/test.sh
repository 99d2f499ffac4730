#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test once on
# that build: the core's, the Qt layer's offscreen, the real program under
# Xvfb and on the desktops, the idle launcher, and the Debian package (made
# from a plain Release build of its own); then a minute of fuzzing over the
# log reading.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
# ccache's paths relative to the checkout, so that a fresh clone anywhere
# finds what an earlier one built.
export CCACHE_BASEDIR="$PWD"
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT
scripts/sanitize.sh | tee "$summary"
scripts/fuzz.sh 60
awk '/tests passed, [0-9]+ tests failed out of/ { total += $NF; failed += $4 }
     END { printf "total: %d passed, %d failed\n", total - failed, failed }' "$summary"
