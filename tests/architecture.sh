#!/usr/bin/env bash
# The rules of the design that no compiler holds, read from the sources and
# the built binaries. Each check prints what breaks its rule and fails.
#
# usage: architecture.sh core-includes-no-qt SOURCE_DIR
#        architecture.sh log-reaches-files-through-its-disk SOURCE_DIR
#        architecture.sh platform-rooms-in-order SOURCE_DIR
#        architecture.sh idle-rooms-in-order SOURCE_DIR
#        architecture.sh shipping-holds-no-bench-trace-or-renderer SOURCE_DIR NM
#            LIBRARY_SOURCES SAVER LIBRARY SHIPPED_BINARY...
#          LIBRARY_SOURCES: the platform library's sources, separated by colons.
set -u

check=${1:?usage: architecture.sh CHECK SOURCE_DIR ...}
source_dir=${2:?usage: architecture.sh CHECK SOURCE_DIR ...}
cd "$source_dir" || exit 1

broken() {
  echo "$*"
  exit 1
}

case "$check" in
  # The core never paints and never asks Qt: it stays free of Qt altogether.
  core-includes-no-qt)
    if grep -rnE '#include <Q|Qt::' app shell walk log input; then
      broken "the core names Qt in the lines above"
    fi
    ;;

  # The log's store reaches files only through its LogDisk, so that every
  # fault a disk can have is played in the core's tests.
  log-reaches-files-through-its-disk)
    if grep -nE 'fopen|[io]?fstream|std::filesystem|random_device|#include <(cstdio|filesystem|fstream|random|fcntl\.h|unistd\.h)>|::(open|read|write|close|fsync|rename|link|unlink)\(' \
      log/log_store.cpp; then
      broken "log/log_store.cpp reaches the disk itself in the lines above"
    fi
    ;;

  # The platform's rooms stand in one order, and each includes only rooms
  # below it, so no two include each other: start/ over driver/ over
  # windows/ over surface/ over paint/, and log_folder/ beside paint/, both
  # over system/, which includes no other room. The launcher's likewise:
  # act/ over locks/, dark/ and inhibit/, locks/ and dark/ over sources/ and
  # saver/, sources/ and inhibit/ over bus/, everything over loop/, loop/
  # over the settings file's reading in config/ and that over the pure
  # decisions in decide/. No room holds more than a dozen source files.
  platform-rooms-in-order | idle-rooms-in-order)
    if [ "$check" = platform-rooms-in-order ]; then
      top=platform
      rank() {
        case $1 in
          start) echo 5 ;; driver) echo 4 ;; windows) echo 3 ;; surface) echo 2 ;;
          paint | log_folder) echo 1 ;;
          system) echo 0 ;; *) echo unknown ;;
        esac
      }
    else
      top=idle
      rank() {
        case $1 in
          act) echo 6 ;; locks | dark | inhibit) echo 5 ;; sources) echo 4 ;; saver | bus) echo 3 ;;
          loop) echo 2 ;; config) echo 1 ;; decide) echo 0 ;; *) echo unknown ;;
        esac
      }
    fi
    bad=0
    for room in "$top"/*/; do
      room=$(basename "$room")
      [ "$(rank "$room")" != unknown ] || { echo "$top/$room is no known room"; bad=1; }
      count=$(find "$top/$room" -maxdepth 1 -name '*.cpp' -o -maxdepth 1 -name '*.h' | wc -l)
      [ "$count" -le 12 ] || { echo "$top/$room holds $count source files"; bad=1; }
      while IFS= read -r line; do
        used=${line#*\"$top/}
        used=${used%%/*}
        [ "$used" = "$room" ] && continue
        if [ "$(rank "$used")" = unknown ] || [ "$(rank "$used")" -ge "$(rank "$room")" ]; then
          echo "$top/$room includes $top/$used: ${line%%:*}"
          bad=1
        fi
      done < <(grep -H "#include \"$top/" "$top/$room"/*.cpp "$top/$room"/*.h 2>/dev/null)
    done
    [ "$bad" -eq 0 ] || broken "the $top rooms break their order in the lines above"
    ;;

  # The benchmark trace and the documentation renderer stay out of what
  # ships: the library's source list names neither, and neither the library
  # nor the saver holds their code. The saver must show its own driver's
  # symbols, so that a binary without symbols cannot pass unread.
  shipping-holds-no-bench-trace-or-renderer)
    nm=${3:?} library_sources=${4:?} saver=${5:?} library=${6:?}
    shift 6
    if tr : '\n' <<<"$library_sources" | sed "s#^$source_dir/##" |
      grep -E '^(\.\./|bench/|tools/)|bench_trace|render_main|tick_observer\.cpp'; then
      broken "the platform library is built from the sources above"
    fi
    "$nm" -C "$saver" | grep -q 'tw::platform::Saver::tick()' || broken "no symbols to read in the saver"
    if "$nm" -C "$library" | grep -E ' T main$'; then
      broken "the platform library holds an entry point"
    fi
    for binary in "$@"; do
      if "$nm" -C "$binary" | grep -E 'BenchTrace|tw::bench::|RenderServices'; then
        broken "$binary holds the benchmark trace or the renderer"
      fi
    done
    ;;

  *) broken "no check called $check" ;;
esac
