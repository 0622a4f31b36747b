#!/usr/bin/env bash
# Installs what is missing, builds the Linux preset and starts Carvex.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
app=build/linux/bin/carvex
if [ -x "$app" ]; then
  exec "$app" "$@"
fi
cat <<'MSG'
Carvex has no window yet: the engine (piece naming, size texts, path helpers, the builder
batch file) and the platform layer are built, with their tests. Run them with:
    tools/test.sh
MSG
