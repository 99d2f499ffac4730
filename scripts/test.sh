#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test: the core's, the Qt layer's offscreen, and the real program under
# Xvfb; then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# and a minute of fuzzing over the log reading.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
# ccache's paths relative to the checkout, so that a fresh clone anywhere
# finds what an earlier one built.
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRENCHWALK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT
ctest --test-dir build-test --output-on-failure -j"$(nproc)" | tee -a "$summary"
scripts/sanitize.sh | tee -a "$summary"
scripts/fuzz.sh 60
# One closing line for both suites.
awk '/tests passed, [0-9]+ tests failed out of/ { total += $NF; failed += $4 }
     END { printf "total: %d passed, %d failed\n", total - failed, failed }' "$summary"
