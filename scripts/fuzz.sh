#!/usr/bin/env bash
# Builds the libFuzzer target over the log reading with clang and runs it for
# the given seconds (60 by default) from the seeds in tests/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRENCHWALK_FUZZ=ON \
  -DTRENCHWALK_PLATFORM=OFF -DTRENCHWALK_TESTS=OFF -DTRENCHWALK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target log_fuzz
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# New inputs go to a scratch folder; the seeds in the repository stay as they are.
build-fuzz/tests/fuzz/log_fuzz -artifact_prefix="$work/" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  "$work" tests/fuzz/corpus 2>&1 | tail -n 12
echo "fuzz: ${seconds} s without a finding"
