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
  shared-mime-info desktop-file-utils libglib2.0-bin
  nsis openssl python3
)
# The real GNOME Files for the module's test, and what drives it, and the desktop's file-type
# queries (xdg-mime) for the package test; without their recommends, which would bring a whole
# desktop.
lean_packages=(nautilus xclip xdotool xdg-utils)

not_installed() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
# Signing the Windows 11 menu package (.msix) needs osslsigncode 2.6 or later; Debian 12's own
# is 2.5, which signs programs but not packages. bookworm-backports has a newer one.
appx_signer_installed() {
  local version
  version=$(dpkg-query -W -f='${Status} ${Version}' osslsigncode 2>/dev/null) || return 1
  [[ "$version" == "install ok installed "* ]] && dpkg --compare-versions "${version##* }" ge 2.6
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_lean < <(not_installed "${lean_packages[@]}")
signer=()
appx_signer_installed || signer=(osslsigncode)
[ ${#missing[@]} -eq 0 ] && [ ${#missing_lean[@]} -eq 0 ] && [ ${#signer[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_lean[*]} ${signer[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
[ ${#missing[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
[ ${#missing_lean[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
if [ ${#signer[@]} -ne 0 ]; then
  . /etc/os-release
  if [ "${VERSION_CODENAME:-}" = bookworm ]; then
    if ! grep -qs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
      echo "Adding bookworm-backports for osslsigncode 2.6 or later"
      echo "deb http://deb.debian.org/debian bookworm-backports main" |
        "${sudo[@]}" tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    fi
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq -t bookworm-backports osslsigncode
  else
    "${sudo[@]}" apt-get install -y -qq osslsigncode
  fi
  appx_signer_installed || { echo "setup.sh: osslsigncode 2.6 or later is needed to sign the .msix package"; exit 1; }
fi
