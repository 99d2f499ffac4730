#!/usr/bin/env bash
# Installs what is missing, builds the saver and runs it. Any key but F1, H,
# D, Q and keypad + ends it (Q opens the maker's page first).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTRENCHWALK_TESTS=OFF -DTRENCHWALK_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/platform/trenchwalk
