#!/usr/bin/env bash
# Installs, on Debian 12, everything that the builds and the tests need. Idempotent: it asks
# apt only for what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev googletest
  zlib1g-dev libz-mingw-w64-dev
  libsqlite3-dev libssl-dev libnautilus-extension-dev
  qt6-base-dev fonts-liberation fonts-dejavu-core
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  wine64 xvfb xauth
  zip unzip p7zip-full
  python3-pyatspi at-spi2-core dbus-daemon
  dpkg-dev help2man lintian appstream
  nsis osslsigncode openssl python3
)
# The real GNOME Files for the module's test, and what drives it; without their recommends,
# which would bring a whole desktop.
lean_packages=(nautilus xclip xdotool)

not_installed() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_lean < <(not_installed "${lean_packages[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_lean[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_lean[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
[ ${#missing[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
[ ${#missing_lean[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
