#!/usr/bin/env bash
# Builds the Debian package trenchwalk_VERSION_amd64.deb and checks it with
# lintian, which must find no error.
#
# usage: scripts/package.sh [OUTPUT_FOLDER [BUILD_FOLDER]]
#   OUTPUT_FOLDER  where the package goes; the top folder by default
#   BUILD_FOLDER   a Release build of its own; build-deb by default
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-.}")
build=${2:-build-deb}
scripts/deps.sh package

# The hardening flags every Debian package is built with (bindnow included).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTRENCHWALK_TESTS=OFF -DTRENCHWALK_BENCH=OFF -DTRENCHWALK_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/trenchwalk_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/trenchwalk_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "cpack made no package in $build" >&2; exit 1; }
mkdir -p "$output"
cp "${debs[0]}" "$output/"
deb="$output/$(basename "${debs[0]}")"

# lintian fails on errors only; what it warns about is listed in
# packaging/debian.cmake with the reason each is kept. Its note that it runs
# as root is not about the package.
status=0
findings=$(lintian --fail-on error "$deb" 2>&1) || status=$?
printf '%s\n' "$findings" | grep -v -e '^running with root privileges' -e '^$' || true
[ "$status" -eq 0 ] || { echo "lintian found errors in $deb" >&2; exit 1; }
echo "$deb"
