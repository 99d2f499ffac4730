#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, with
# warnings as errors (the benchmarks too, so that they cannot rot unnoticed),
# and runs the whole test suite on it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRENCHWALK_SANITIZE=ON \
  -DTRENCHWALK_WERROR=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The leaks that libraries below Qt keep for good are suppressed inside each
# sanitized program (CMakeLists.txt), so a program run as another user needs
# no file from the checkout to find them.
export LSAN_OPTIONS="print_suppressions=0"
# The desktop runs spend most of their time waiting out idle delays, so one
# run more than there are cores keeps the cores busy; the heaviest runs count
# as two (their PROCESSORS).
ctest --test-dir build-asan --output-on-failure -j"$(($(nproc) + 1))"
