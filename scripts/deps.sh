#!/usr/bin/env bash
# Installs the Debian 12 packages Trenchwalk needs, and only those missing.
#   scripts/deps.sh run      what building and running the saver needs
#   scripts/deps.sh package  that, plus what building the Debian package needs
#   scripts/deps.sh test     all of that, plus what the tests and benchmarks need
set -euo pipefail

# qt6-wayland: Qt's Wayland support, for Wayland sessions (with or without
# XWayland); xdg-utils: xdg-open, through which Q opens the maker's page.
# trenchwalk-idle: libwayland-dev (libwayland-client and wayland-scanner) and
# wayland-protocols for the Wayland idle protocols, libsystemd-dev (sd-bus)
# for GNOME's D-Bus interfaces, libxcb-sync-dev for the X server's idle time,
# libxcb-screensaver0-dev and libxcb-dpms0-dev for its screen gone dark.
# qt6-base-private-dev and libwayland-dev: the scene goes straight to the
# compositor on the surface Qt made for it.
build_packages=(cmake g++ make pkgconf qt6-base-dev qt6-base-private-dev qt6-wayland libgl-dev
  libxcb1-dev libfontconfig-dev fonts-liberation fonts-dejavu-core xdg-utils libwayland-dev
  wayland-protocols libsystemd-dev libxcb-sync-dev libxcb-screensaver0-dev libxcb-dpms0-dev)
# dpkg-dev: dpkg-shlibdeps and dpkg-buildflags; file tells CPack which files
# are executables; lintian checks the package (scripts/package.sh).
package_packages=(dpkg-dev file lintian)
# x11-xserver-utils: xrandr and xset, for the monitors and the idle daemons
# the end-to-end runs set up; xautolock and xss-lock are those daemons. sway,
# swayidle, grim, wtype and jq run the Wayland end-to-end test on a headless
# compositor; util-linux's setpriv runs it as an unprivileged user.
# imagemagick: import and convert, which tell a lit X screen from a black one.
# dbus: a session bus for the desktops the idle launcher is tried on.
# strace fails a system call on purpose (a flush to the disk); util-linux's
# prlimit sets the limits the saver is tried under. libwayland-bin
# (wayland-scanner): the bare Wayland client bench/wayland_cost.sh measures
# the saver against.
# mutter and kwin-wayland run the GNOME and KDE end-to-end tests headless, each
# on a session bus of its own (dbus, dbus-send from dbus-bin); python3-dbus
# sends keys through mutter's remote desktop interface and, with python3-gi,
# stands in for GNOME's session manager; plasma-wayland-protocols
# (with libwayland-dev, above) builds the program that sends keys to kwin; procps's
# pgrep sees that a compositor's processes are gone. i3lock, xsecurelock and
# swaylock are the lockers the launcher must never run under; gnome-shell runs
# GNOME's own lock screen, blank and overview headless; gjs runs the shell's
# org.gnome.ScreenSaver service, which Debian's gnome-shell leaves out (with
# python3-dbus and python3-gi, a stand-in for gdm lets the shell lock). ccache
# keeps what the tests' three builds compiled for the next run.
test_packages=(i3lock xsecurelock swaylock gnome-shell gjs googletest libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils x11-xserver-utils
  xautolock xss-lock clang libclang-rt-14-dev sway swayidle grim wtype jq util-linux imagemagick
  dbus dbus-bin strace libwayland-bin mutter kwin-wayland python3-dbus python3-gi
  plasma-wayland-protocols procps ccache)

case "${1:-run}" in
  run) wanted=("${build_packages[@]}") ;;
  package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|package|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
