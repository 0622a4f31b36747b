#!/usr/bin/env bash
# Installs what is missing, builds the Linux preset and starts Carvex. `tools/run.sh --windows`
# builds the x86_64 Windows program instead and starts carvex.exe under wine64 on this display.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
if [[ "${1:-}" == --windows ]]; then
  shift
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target carvex
  export WINEPREFIX="${WINEPREFIX:-$PWD/build/win64/wineprefix}"
  export WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  exec /usr/lib/wine/wine64 build/win64/bin/carvex.exe "$@"
fi
cmake --preset linux >/dev/null
cmake --build --preset linux
exec build/linux/bin/carvex "$@"
