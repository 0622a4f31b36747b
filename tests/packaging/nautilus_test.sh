#!/usr/bin/env bash
# Checks the installed Verbhook module inside the real GNOME Files, as a user meets it: a folder
# window, a file selected with the mouse, its context menu opened from the keyboard, the Carvex
# submenu walked with the arrow keys. The first menu is written with a stand-in for Carvex that
# records its arguments, so the test sees exactly what the program would be started with; the
# clipboard is read by another process, as a user's paste reads it. A piece double-clicked opens
# the installed Carvex itself, read through the accessibility bus. nautilus_drive.py drives the
# windows and names the checks.
#
# Usage: tests/packaging/nautilus_test.sh [VERBHOOK]
#
# VERBHOOK is the runner program (default /usr/bin/verbhook); the module must already be in
# GNOME Files' extension folder (the carvex-nautilus package puts it there), and Carvex installed
# with its piece type (the carvex package). Everything the user owns (settings store, home,
# caches, runtime folder, session bus, display) is a throwaway one of this test's.
# CARVEX_TEST_SCREENSHOTS=FOLDER keeps screenshots of each menu just before its item is chosen,
# and of the screen at each failure.
set -euo pipefail

fail() {
  echo "nautilus_test: FAILED: $*" >&2
  exit 1
}

[ $# -le 1 ] || fail "usage: $0 [VERBHOOK]"
runner=${1:-/usr/bin/verbhook}
[ -x "$runner" ] && [ -f "$runner" ] || fail "no runner program at $runner"
runner=$(realpath -e "$runner")
here=$(cd "$(dirname "$0")" && pwd)
for tool in nautilus Xvfb dbus-run-session xdotool xclip timeout dpkg-query; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing (tools/setup.sh installs it)"
if [ -n "${CARVEX_TEST_SCREENSHOTS:-}" ]; then
  command -v import >/dev/null || fail "CARVEX_TEST_SCREENSHOTS needs import (imagemagick)"
  mkdir -p "$CARVEX_TEST_SCREENSHOTS"
  CARVEX_TEST_SCREENSHOTS=$(realpath -e "$CARVEX_TEST_SCREENSHOTS")
fi
# GNOME Files loads modules only from its own extension folder.
extensions=$(dpkg-query -L nautilus | grep '/nautilus/extensions-4$') ||
  fail "the nautilus package has no extensions-4 folder"
[ -f "$extensions/libverbhook-nautilus.so" ] || fail "the module is not installed in $extensions"

work=$(mktemp -d)
# Every process of the run carries this variable, the ones the session bus starts on demand and
# the clipboard holders that outlive their runner too, so the cleanup can find each by its id.
marker="CARVEX_NAUTILUS_TEST=$$-$RANDOM$RANDOM"
kill_marked() {
  local signal=$1 environ pid found=()
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    if grep -zqxF "$marker" "$environ" 2>/dev/null; then found+=("$pid"); fi
  done
  [ ${#found[@]} -eq 0 ] || kill "-$signal" "${found[@]}" 2>/dev/null || true
  echo "${#found[@]}"
}
cleanup() {
  local left
  left=$(kill_marked TERM)
  if [ "$left" -gt 0 ]; then
    echo "nautilus_test: ended $left process(es) of the run that were still there"
    sleep 1
    kill_marked KILL >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# ---- The user and the files
user="$work/user"
mkdir -p "$user/home" "$user/config" "$user/data" "$user/cache" "$user/tmp" "$user/runtime"
chmod 700 "$user/runtime"
# Search indexing has nothing to find here and only takes the two cores: the session bus
# starts a failing program instead (services of the user's own data folder come first).
mkdir -p "$user/data/dbus-1/services"
for name in org.freedesktop.Tracker3.Miner.Files org.freedesktop.Tracker3.Miner.Files.Control \
  org.freedesktop.Tracker3.Miner.Extract; do
  printf '[D-BUS Service]\nName=%s\nExec=/bin/false\n' "$name" >"$user/data/dbus-1/services/$name.service"
done

files="$work/files"
# Quotes, a dollar, blanks, a letter beyond ASCII, and an underscore, which a menu caption
# would otherwise take for an access key.
single="$files/single/a \"quoted\" \$HOME é_1.txt"
mkdir -p "$files/single" "$files/six-files" "$files/pieces"
printf 'one file\n' >"$single"
for n in 1 2 3 4 5 6; do
  head -c $((n * 100)) /dev/zero >"$files/six-files/part $n.dat"
done
piece="$files/pieces/movie.avi.001.cvx"
head -c 1000 /dev/zero >"$piece"

# The stand-in for Carvex: its arguments, NUL-separated, in one file that appears whole.
recording="$work/recorded"
standin="$work/carvex-standin"
cat >"$standin" <<EOF
#!/bin/sh
printf '%s\\0' "\$@" >'$recording.part' && mv '$recording.part' '$recording'
EOF
chmod 755 "$standin"

export HOME="$user/home" XDG_CONFIG_HOME="$user/config" XDG_DATA_HOME="$user/data" XDG_CACHE_HOME="$user/cache"
export XDG_RUNTIME_DIR="$user/runtime" TMPDIR="$user/tmp" CARVEX_REGISTRY_DB="$user/registry.db"
export VERBHOOK_RUNNER="$runner" LANG=C.UTF-8 LC_ALL=C.UTF-8
# GTK 4 under Xvfb: the cairo renderer, settings in memory (no dconf service to start).
export GSK_RENDERER=cairo GDK_BACKEND=x11 GSETTINGS_BACKEND=memory
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY NO_AT_BRIDGE LANGUAGE

said=$(timeout 30 "$runner" default "$standin") || fail "verbhook default failed: $said"
[ "$said" = "The first menu has been written." ] || fail "verbhook default said: $said"
list=$(timeout 30 "$runner" list) || fail "verbhook list failed: $list"
grep -F '"Split with Carvex"' <<<"$list" | grep -F "\"$standin\"" | grep -F '"/s"' >/dev/null ||
  fail "the first menu's \"Split with Carvex\" does not start the stand-in with /s:"$'\n'"$list"

# ---- GNOME Files, driven
start=$SECONDS
# The X server picks a free display itself and names it when it is ready: two tests that start
# a display at the same moment cannot take the same number, as they can with xvfb-run -a. By
# default it resets whenever its last client leaves, and a client connecting meanwhile is
# refused: an early short-lived client made GNOME Files fail to open the display now and then.
env "$marker" Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  grep -q '^[0-9]\+$' "$work/display" 2>/dev/null && break
  sleep 0.2
done
grep -q '^[0-9]\+$' "$work/display" || fail "Xvfb did not start:"$'\n'"$(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
status=0
timeout -k 10 120 env "$marker" dbus-run-session -- \
  /usr/bin/python3 "$here/nautilus_drive.py" --recording "$recording" --single "$single" \
  --six "$files/six-files" --piece "$piece" --log "$work/nautilus.log" --seconds 100 \
  ${CARVEX_TEST_SCREENSHOTS:+--screenshots "$CARVEX_TEST_SCREENSHOTS"} 2>"$work/session.log" || status=$?
# The clipboard holders end with the display.
kill "$xvfb" 2>/dev/null || true
wait "$xvfb" 2>/dev/null || true
if [ $status -ne 0 ]; then
  echo "nautilus_test: GNOME Files said:"
  tail -n 30 "$work/nautilus.log" || true
  echo "nautilus_test: the session (display, bus, accessibility, driver) said:"
  grep -v 'Activating service\|Successfully activated' "$work/session.log" | tail -n 40 || true
  echo "nautilus_test: the X server on $DISPLAY said:"
  tail -n 20 "$work/xvfb.log" || true
  fail "GNOME Files with the Verbhook module (exit $status, $((SECONDS - start))s)"
fi
echo "nautilus_test: passed in $((SECONDS - start))s"
