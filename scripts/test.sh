#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test: the core's, the Qt layer's offscreen, and the real binary under
# Xvfb; then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# and a minute of fuzzing over the log reading.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRENCHWALK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
ctest --test-dir build-test --output-on-failure -j"$(nproc)"
scripts/sanitize.sh
scripts/fuzz.sh 60
