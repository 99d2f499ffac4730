#!/usr/bin/env bash
# The Debian package on this machine, from build to purge:
#   build    scripts/package.sh makes trenchwalk_VERSION_amd64.deb, lintian
#            finds no error, and it holds every file the install rules install
#   install  apt-get install ./trenchwalk_*.deb puts them in place, and
#            switches the idle launcher's user unit on for every user
#   run      an unprivileged user, under Xvfb, runs /usr/bin/trenchwalk and
#            ends it with Escape: the record lands behind a fresh banner in
#            that user's ~/.local/state/trenchwalk/walked.log, and keypad +
#            reports what is there
#   remove   the installed files are gone (the configuration files and the
#            unit's links at the purge) and the user's log stays as it was
#   again    installed, reinstalled and removed twice more
#   per-user a CMake install into a ~/.local of that user keeps its log beside
#            the executable
# The machine is left as it was found: the package is purged on every way out.
# Runs of this script on the same machine take turns.
#
# usage: package.sh SOURCE_DIR PACKAGE_BUILD_DIR PER_USER_BUILD_DIR
#   PER_USER_BUILD_DIR  the build the per-user install is made from
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/lib/xvfb.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "$0")/lib/as_user.sh"

source_dir=${1:?usage: package.sh SOURCE_DIR PACKAGE_BUILD_DIR PER_USER_BUILD_DIR}
package_build=${2:?usage: package.sh SOURCE_DIR PACKAGE_BUILD_DIR PER_USER_BUILD_DIR}
user_build=${3:?usage: package.sh SOURCE_DIR PACKAGE_BUILD_DIR PER_USER_BUILD_DIR}

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
require_tools apt-get dpkg-deb dpkg-query file Xvfb xdotool setpriv import flock

package=trenchwalk
title=Trenchwalk
# The blue message panel lies in this part of the scene; its text is pure
# blue, which nothing else on the scene is.
panel_crop=520x240+0+0
panel_min_shown=100
panel_max_empty=20
# Set while this script has the package installed; found at the start, it
# tells the leftover of a run that was killed from an install of the machine's
# own, which is left alone.
marker=/run/trenchwalk-package-test.installed
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600)

installed() {
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'
}
known_to_dpkg() {
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv 'not-installed'
}

# Purges whatever dpkg still has of the package: apt-get for an installed one;
# dpkg itself for the configuration files a removal left, since apt knows no
# archive that holds the package.
purge_leftover() {
  if installed; then
    "${apt[@]}" purge "$package"
  elif known_to_dpkg; then
    dpkg --purge "$package"
  fi
}

exec {turn}>/run/lock/trenchwalk-package-test.lock
if ! flock -w 600 "$turn"; then
  echo "FAIL: another run of this test held the machine for 10 minutes"
  exit 1
fi
if known_to_dpkg; then
  if [ -e "$marker" ]; then
    echo "note: purging the package a killed run of this test left installed"
    purge_leftover >/dev/null || { echo "FAIL: cannot purge the leftover package"; exit 1; }
  else
    echo "SKIP: $package is installed on this machine; the test would replace it"
    exit 77
  fi
fi
rm -f "$marker"

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-deb.XXXXXX")
chmod 755 "$work"
pid=""
xvfb_pid=""
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  stop_xvfb
  purge_leftover >"$work/cleanup.out" 2>&1 ||
    echo "the package could not be purged: $(cat "$work/cleanup.out")"
  known_to_dpkg || rm -f "$marker"
  [ -e /usr/bin/trenchwalk ] && echo "/usr/bin/trenchwalk is still there"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail_report() { show_logs "$work/package.out" "$work/apt.out" "$work/saver.out" "$work/xvfb.log"; }

# --- Build: the README's command, into a folder of this test's own. Niced:
# the suite's desktop runs beside it come first, and it takes what they leave.
mkdir -m 755 "$work/out"
nice -n 19 "$source_dir/scripts/package.sh" "$work/out" "$package_build" >"$work/package.out" 2>&1 ||
  fail "scripts/package.sh failed"
debs=("$work"/out/trenchwalk_*_amd64.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] ||
  fail "no single trenchwalk_VERSION_amd64.deb: $(ls "$work/out")"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "trenchwalk_${version}_amd64.deb" ] ||
  fail "$(basename "$deb") does not name version $version"
grep -q '^E: ' "$work/package.out" && fail "lintian found errors"
for field in Maintainer Description Section Priority; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done
depends=$(dpkg-deb -f "$deb" Depends)
for needed in qt6-wayland fonts-liberation xdg-utils 'libqt6widgets6 (>=' 'libc6 (>='; do
  [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | sort >"$work/contents"

# Every file the install rules install is packaged, a manual page compressed.
DESTDIR="$work/staged" cmake --install "$package_build" >/dev/null || fail "cmake --install failed"
(cd "$work/staged" && find . ! -type d | sed 's|^\.||') | sort >"$work/installed"
[ -s "$work/installed" ] || fail "the install rules installed nothing"
# Debian's places for what a per-user install keeps under share.
while read -r file; do
  case $file in
    */man/man*/*) file=$file.gz ;;
    /usr/share/systemd/user/*) file=/usr/lib/systemd/user/${file##*/} ;;
    /usr/share/trenchwalk/*.desktop) file=/etc/xdg/autostart/${file##*/} ;;
  esac
  grep -qxF "$file" "$work/contents" || fail "$file is installed by CMake but not packaged"
done <"$work/installed"
# The idle launcher, when the build has it: its unit runs the packaged
# launcher and is switched on for every user; its autostart entry is a
# configuration file, skipped once the launcher is gone.
unit=/usr/lib/systemd/user/trenchwalk-idle.service
entry=/etc/xdg/autostart/trenchwalk-idle.desktop
enabled_link=/etc/systemd/user/graphical-session.target.wants/trenchwalk-idle.service
idle=0
if grep -qxF /usr/bin/trenchwalk-idle "$work/installed"; then
  idle=1
  for file in "$unit" "$entry" /usr/share/man/man1/trenchwalk-idle.1.gz; do
    grep -qxF "$file" "$work/contents" || fail "$file is not packaged"
  done
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$unit" |
    grep -qx 'ExecStart=/usr/bin/trenchwalk-idle' ||
    fail "the packaged unit does not start /usr/bin/trenchwalk-idle"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$entry" |
    grep -qx 'TryExec=/usr/bin/trenchwalk-idle' ||
    fail "the packaged autostart entry is not skipped once the launcher is gone"
fi
# Nothing of an earlier switching-on may pass for this package's.
[ -e "$enabled_link" ] || [ -L "$enabled_link" ] && fail "$enabled_link is there before the install"

for file in /usr/bin/trenchwalk /usr/share/man/man6/trenchwalk.6.gz \
  /usr/share/doc/trenchwalk/copyright \
  /usr/share/doc/trenchwalk/changelog.gz /usr/share/applications/trenchwalk.desktop; do
  grep -qxF "$file" "$work/contents" || fail "$file is not packaged"
done
echo "ok: $(basename "$deb") is built, lintian finds no error, and it holds what CMake installs"

# --- Install, with the user's own tool.
touch "$marker"
(cd "$work/out" && "${apt[@]}" install "./$(basename "$deb")") >"$work/apt.out" 2>&1 ||
  fail "apt-get install failed"
installed || fail "dpkg does not list the package as installed"
dpkg-query -L "$package" | sort >"$work/listed"
conffiles=$(dpkg-query -W -f='${Conffiles}' "$package" | awk 'NF {print $1}')
# The files (not folders) the package put in place.
: >"$work/files"
while read -r path; do
  [ -d "$path" ] && [ ! -L "$path" ] && continue
  [ -e "$path" ] || fail "$path is listed but not installed"
  echo "$path" >>"$work/files"
done <"$work/listed"
[ -x /usr/bin/trenchwalk ] || fail "/usr/bin/trenchwalk is not installed"
if [ "$idle" = 1 ]; then
  grep -qxF "$entry" <<<"$conffiles" || fail "$entry is not a configuration file: $conffiles"
  [ "$(readlink "$enabled_link")" = "$unit" ] ||
    fail "the user unit is not switched on for every user"
fi
file -b /usr/bin/trenchwalk | grep -q ', stripped' || fail "/usr/bin/trenchwalk is not stripped"
echo "ok: apt-get install puts $(wc -l <"$work/files") files in place"

# --- Run it as nobody, with a home of its own, under Xvfb.
home="$work/home"
mkdir -m 700 "$home" "$work/runtime" && chown nobody:nogroup "$home" "$work/runtime"
state="$home/.local/state/trenchwalk"
log="$state/walked.log"
start_xvfb "$work" 1024x768 -ac || fail "no X server"

# Runs $1 as nobody, with HOME $2 and nothing else of this script's
# environment; its pid in $pid.
as_nobody=()
prefix_as as_nobody nobody
start_as_nobody() {
  "${as_nobody[@]}" env -i HOME="$2" PATH=/usr/bin:/bin \
    DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$1" \
    >>"$work/saver.out" 2>&1 &
  pid=$!
  find_window 150 "^${title}\$" >/dev/null || fail "no saver window"
}

escape_ends_it() {
  xdotool key Escape
  wait_exit "$pid" 100 "the saver, after Escape,"
  pid=""
  [ "$status" -eq 0 ] || fail "exit status $status after Escape"
}

# The blue pixels of the message panel: "count signature".
panel() {
  local mask
  mask=$(import -window root -crop "$panel_crop" +repage -depth 8 rgb:- 2>/dev/null |
    od -An -v -tu1 -w3 | awk '$1 < 64 && $2 < 64 && $3 >= 192 { print NR }')
  echo "$(printf '%s' "$mask" | grep -c .) $(printf '%s' "$mask" | md5sum | cut -c1-12)"
}

# True when the panel has shown the same message, whole, for a quarter of a
# second: a message still being drawn would pass for another.
panel_steady_for=250000
panel_now=""
panel_last=""
panel_since=0
panel_steady() {
  panel_now=$(panel)
  if [ "$panel_now" != "$panel_last" ]; then
    panel_last=$panel_now
    panel_since=$(microseconds)
    return 1
  fi
  [ "${panel_now% *}" -ge "$panel_min_shown" ] &&
    [ $(($(microseconds) - panel_since)) -ge "$panel_steady_for" ]
}
# Waits up to 10 s for the panel to show a message; prints it.
shown_panel() {
  panel_last=""
  poll 100 panel_steady || return 1
  echo "$panel_now"
}

panel_hidden() {
  panel_now=$(panel)
  [ "${panel_now% *}" -le "$panel_max_empty" ]
}
hidden_panel() { poll 100 panel_hidden; }

# Hides the start hint with H, then shows the report with keypad +; its
# picture in $report_now.
report_now=""
report() {
  shown_panel >/dev/null || fail "the start hint is not shown"
  xdotool key h
  hidden_panel || fail "H did not hide the hint"
  xdotool key KP_Add
  report_now=$(shown_panel) || fail "keypad + showed no report"
  xdotool search --onlyvisible --name '^Disk Access Error$' >/dev/null 2>&1 && fail "keypad + could not read the log"
}

start_as_nobody /usr/bin/trenchwalk "$home"
shown_panel >/dev/null || fail "the saver shows no start hint"
escape_ends_it
check_log "$log" 1
[ "$(stat -c '%U %a' "$state")" = "nobody 700" ] || fail "the state folder is $(stat -c '%U %a' "$state")"
ls "$state"/walked.log.bak* >/dev/null 2>&1 && fail "a backup was made of a log that did not exist"
[ -e /usr/bin/walked.log ] && fail "a log was written beside /usr/bin/trenchwalk"
echo "ok: /usr/bin/trenchwalk as nobody: Escape writes one record behind a fresh banner in ~/.local/state/trenchwalk"

# The report reads that log: two different totals show two different reports.
start_as_nobody /usr/bin/trenchwalk "$home"
report
first_report=$report_now
escape_ends_it
check_log "$log" 2
printf '1234.56 mts 12-08-2026 17:04:09\r\n' >>"$log"
start_as_nobody /usr/bin/trenchwalk "$home"
report
second_report=$report_now
escape_ends_it
check_log "$log" 4
[ "$first_report" != "$second_report" ] ||
  fail "keypad + shows the same report for a log 1234.56 m longer ($first_report)"
echo "ok: keypad + reports the log in ~/.local/state/trenchwalk (blue pixels: ${first_report% *}, then ${second_report% *})"

# apt-get remove: the package's files go, but for its configuration files;
# then the purge: those go too. $1 says which time, for the messages.
remove_and_purge() {
  local what=$1 path
  "${apt[@]}" remove "$package" >"$work/apt.out" 2>&1 || fail "$what: apt-get remove failed"
  installed && fail "$what: the package is still installed after apt-get remove"
  while read -r path; do
    grep -qxF "$path" <<<"$conffiles" && continue
    [ -e "$path" ] || [ -L "$path" ] && fail "$what: $path is still there after apt-get remove"
  done <"$work/files"
  # What stays until the purge does nothing: the unit is masked, and the
  # autostart entry names a launcher that is gone.
  if [ "$idle" = 1 ]; then
    [ "$(readlink "/etc/systemd/user/${unit##*/}")" = /dev/null ] ||
      fail "$what: the removed unit is not masked"
    [ ! -e /usr/bin/trenchwalk-idle ] && grep -qx 'TryExec=/usr/bin/trenchwalk-idle' "$entry" ||
      fail "$what: the autostart entry left until the purge still runs something"
  fi
  purge_leftover >"$work/apt.out" 2>&1 || fail "$what: the purge failed"
  known_to_dpkg && fail "$what: dpkg still knows the package after the purge"
  while read -r path; do
    [ -e "$path" ] || [ -L "$path" ] && fail "$what: $path is still there after the purge"
  done <"$work/files"
  local traces
  traces=$(find /etc/systemd/user /var/lib/systemd/deb-systemd-user-helper-enabled \
    /var/lib/systemd/deb-systemd-user-helper-masked -name 'trenchwalk*' 2>/dev/null)
  [ -z "$traces" ] || fail "$what: the purge left $traces"
}

# --- Remove: the files go; the log stays.
log_before=$(md5sum <"$log")
remove_and_purge "the first removal"
[ "$(md5sum <"$log")" = "$log_before" ] || fail "removing the package changed the user's log"
echo "ok: removed and purged: its files are gone, the user's log stays"

# --- Twice more: each time installed, and installed again over itself; the
# second time also removed without the purge and installed again, which
# takes the removal's mask away and switches the unit back on.
# Checks that the package's files are in place after apt-get $1 in round $2.
check_installed() {
  local how=$1 round=$2 path
  installed || fail "round $round: not installed after apt-get $how"
  while read -r path; do
    [ -e "$path" ] || fail "round $round: $path is missing after apt-get $how"
  done <"$work/files"
  if [ "$idle" = 1 ]; then
    [ "$(readlink "$enabled_link")" = "$unit" ] || fail "round $round: the unit is off after apt-get $how"
    [ -L "/etc/systemd/user/${unit##*/}" ] && fail "round $round: the unit is still masked after apt-get $how"
  fi
}
for round in 1 2; do
  hows=(install "install --reinstall")
  [ "$round" = 2 ] && hows+=(remove install)
  for how in "${hows[@]}"; do
    if [ "$how" = remove ]; then
      "${apt[@]}" remove "$package" >"$work/apt.out" 2>&1 || fail "round $round: apt-get remove failed"
      known_to_dpkg || [ -z "$conffiles" ] || fail "round $round: the removal took the configuration files"
      continue
    fi
    # shellcheck disable=SC2086
    (cd "$work/out" && "${apt[@]}" $how "./$(basename "$deb")") >"$work/apt.out" 2>&1 ||
      fail "round $round: apt-get $how failed"
    check_installed "$how" "$round"
  done
  remove_and_purge "round $round"
done
rm -f "$marker"
echo "ok: installed, reinstalled, removed, installed again and purged: twice more"

# --- A per-user CMake install keeps its log beside its executable.
user_home="$work/user"
mkdir -m 700 "$user_home"
cmake --install "$user_build" --prefix "$user_home/.local" >/dev/null || fail "the per-user install failed"
chown -R nobody:nogroup "$user_home"
start_as_nobody "$user_home/.local/bin/trenchwalk" "$user_home"
escape_ends_it
check_log "$user_home/.local/bin/walked.log" 1
[ -e "$user_home/.local/state/trenchwalk" ] && fail "the per-user install wrote to ~/.local/state/trenchwalk"
echo "ok: a per-user install keeps its log beside the executable"
echo "PASS"
