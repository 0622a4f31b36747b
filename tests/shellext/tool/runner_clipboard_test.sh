#!/usr/bin/env bash
# "Copy path" run through `verbhook run N` under a fresh X server: the path is still on the
# clipboard for a second program after the runner has ended, and the background holder goes
# once another program takes the clipboard.
# Usage: runner_clipboard_test.sh VERBHOOK CLIPBOARD_PROBE
set -uo pipefail
tool=$1 probe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CARVEX_REGISTRY_DB="$work/registry.db" QT_QPA_PLATFORM=xcb
# libxkbcommon-x11, which the X11 platform loads, copies the server's fixed-size names with
# strndup; ASan's strict string check reads them as C strings and stops the program there.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}strict_string_checks=0"
path="$work/a b/ä.txt"

timeout 60 xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  fail() { echo "FAILED: $*"; exit 1; }
  tool=$1 probe=$2 path=$3
  "$probe" select "$path" || fail "selection not recorded"
  "$tool" default /usr/bin/true >/dev/null || fail "default menu not written"
  # Item 5 of the first menu is "Copy path".
  "$tool" run 5 || fail "runner failed"
  got=$("$probe" read)
  [ "$got" = "$path" ] || fail "clipboard holds \"$got\", not \"$path\""
  "$probe" take
  for _ in $(seq 50); do
    pgrep -f -- "$tool hold-clipboard" >/dev/null || exit 0
    sleep 0.1
  done
  fail "the clipboard holder still runs after another program took the clipboard"
' _ "$tool" "$probe" "$path"
