#!/usr/bin/env bash
# `verbhook run N --selection-file F` as the file manager's module starts it: the item acts on
# exactly the handed-over paths, bytes that are no UTF-8 included, the hand-off it records
# gives the next reader the same file (never a look-alike), and the file is consumed. Also:
# `import` refuses what is no ordinary file instead of waiting on it.
# Usage: runner_selection_test.sh VERBHOOK
set -uo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CARVEX_REGISTRY_DB="$work/registry.db" QT_QPA_PLATFORM=offscreen
fail() {
  echo "FAILED: $*"
  exit 1
}

mkdir "$work/src" "$work/first" "$work/second"
latin1=$(printf 'report-\351t\351.txt')
lookalike=$(printf 'report-\357\277\275t\357\277\275.txt')
printf 'the chosen file' >"$work/src/$latin1"
printf 'planted' >"$work/src/$lookalike"
cat >"$work/menu.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents]
"1"="<caption>First</caption><command>[copy]</command><commandline>$work/first</commandline>"
"2"="<caption>Second</caption><command>[copy]</command><commandline>$work/second</commandline>"
REG
"$tool" import "$work/menu.reg" || fail "the menu was not imported"

printf '%s\0' "$work/src/$latin1" >"$work/selection"
timeout 60 "$tool" run 1 --selection-file "$work/selection" || fail "the runner failed"
[ ! -e "$work/selection" ] || fail "the selection file was left behind"
cmp -s "$work/first/$latin1" "$work/src/$latin1" || fail "item 1 did not copy the chosen file: $(ls "$work/first")"
# Without a file the runner reads the hand-off the first run recorded.
timeout 60 "$tool" run 2 || fail "the runner failed on the recorded hand-off"
cmp -s "$work/second/$latin1" "$work/src/$latin1" || fail "the hand-off named another file: $(ls "$work/second")"
[ ! -e "$work/second/$lookalike" ] || fail "the look-alike was copied"

printf '/no/end' >"$work/unended"
timeout 30 "$tool" run 1 --selection-file "$work/unended" 2>/dev/null && fail "a selection cut short was run"

# A caption or command that holds terminal control sequences shows them escaped on a terminal.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents]\n"3"="<caption>Hidden\033[8m</caption><command>rm\033]0;x\007</command>"\n' >"$work/evil.reg"
"$tool" import "$work/evil.reg" || fail "the menu with control characters was not imported"
listed=$(CARVEX_REGISTRY_DB="$CARVEX_REGISTRY_DB" script -qec "'$tool' list" /dev/null)
case $listed in
  *$(printf '\033')*) fail "verbhook list wrote a raw escape to the terminal: $(printf '%s' "$listed" | od -c | head -3)" ;;
esac
case $listed in
  *'Hidden\x1b[8m'*'rm\x1b]0;x\x07'*) ;;
  *) fail "verbhook list did not show the escaped caption and command: $listed" ;;
esac

mkfifo "$work/fifo"
timeout 10 "$tool" import "$work/fifo" 2>/dev/null
status=$?
[ $status -eq 1 ] || fail "import of a FIFO ended with $status (124: it waited)"
echo "runner selection test passed"
