#!/usr/bin/env bash
# Installs what is missing, builds the linux, win32 and win64 presets, and runs every test:
# the Linux build natively, the x86_64 Windows build under wine64. The i686 build is the
# shipped one; these machines cannot run 32-bit code, so it is only compiled.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh || exit 1

# Wine maps file names through the Unix locale: non-ASCII names need a UTF-8 one.
export LC_ALL=C.UTF-8

for preset in linux win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" || exit 1
done

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== test linux"
ctest --preset linux 2>&1 | tee -a "$log" || status=1

echo "== test win64 (wine64)"
export WINEPREFIX="$PWD/build/win64/wineprefix"
export WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The Wine session keeps the display of the process that started it, so Xvfb comes first;
# a persistent wineserver saves each test a second of start-up.
xvfb-run -a bash -c '
  /usr/lib/wine/wineserver -p
  timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  # A Wine process now and then dies before the test program starts (no output at all); a
  # second run tells that apart from a failing test.
  ctest --preset win64 --repeat until-pass:2
  rc=$?
  /usr/lib/wine/wineserver -k
  exit $rc' 2>&1 | tee -a "$log" || status=1

# One line for both runs: ctest prints "N% tests passed, F tests failed out of T" per run.
read -r passed failed < <(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1 \2/p' "$log" |
  awk '{ fail += $1; total += $2 } END { print total - fail, fail + 0 }')
runs=$(grep -c 'tests failed out of' "$log")
[ "$runs" -eq 2 ] || status=1
[ "${failed:-1}" -eq 0 ] || status=1
echo "tests: ${passed:-0} passed, ${failed:-0} failed"
exit $status
