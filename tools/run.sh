#!/usr/bin/env bash
# Installs what is missing, builds the Linux preset and starts Carvex.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
exec build/linux/bin/carvex "$@"
