#!/usr/bin/env bash
# Installs what is missing, builds the presets the release needs and writes every release file
# into dist/: the x64 and x86 setup programs, the portable x64 zip, the Debian packages and
# SHA256SUMS, which `sha256sum -c` reads.
# With CARVEX_SIGN_PKCS12 and CARVEX_SIGN_PASSWORD_FILE (and optionally
# CARVEX_SIGN_TIMESTAMP_URL; see tools/sign.sh) every Windows program, library and setup
# program is signed; without them the release ships unsigned, and this script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

version=1.3.0.0
dist="$PWD/dist"
stage="$PWD/build/stage"
rm -rf "$dist" "$stage"
mkdir -p "$dist" "$stage"

if [[ -n "${CARVEX_SIGN_PKCS12:-}" ]]; then
  signing="signed with $CARVEX_SIGN_PKCS12"
  sign=(tools/sign.sh)
else
  signing="unsigned: no certificate was given (CARVEX_SIGN_PKCS12)"
  sign=(true)
fi
echo "The Windows files will be $signing."

for preset in linux win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The programs as they are installed, without their debugging information.
cmake --install build/win64 --prefix "$stage/x64" --strip >/dev/null
cmake --install build/win32 --prefix "$stage/x86" --strip >/dev/null
"${sign[@]}" "$stage"/x64/*.exe "$stage"/x64/*.dll "$stage"/x64/ZipSFX.bin \
  "$stage"/x86/*.exe "$stage"/x86/*.dll "$stage"/x86/ZipSFX.bin

icon="$PWD/ui/win32/res/carvex.ico"
nsis=(makensis -V2 -DICON="$icon")
# The uninstaller is made inside makensis, which signs it through this command before packing it.
[[ "${sign[0]}" == true ]] || nsis+=("-DSIGN_COMMAND=$PWD/tools/sign.sh")
"${nsis[@]}" -DARCH=x64 -DSTAGE="$stage/x64" -DSTAGE32="$stage/x86" \
  -DOUTFILE="$dist/carvex-$version-setup-x64.exe" packaging/nsis/carvex.nsi
"${nsis[@]}" -DARCH=x86 -DSTAGE="$stage/x86" -DOUTFILE="$dist/carvex-$version-setup-x86.exe" packaging/nsis/carvex.nsi
"${sign[@]}" "$dist"/carvex-$version-setup-x64.exe "$dist"/carvex-$version-setup-x86.exe

# The portable program keeps its settings beside itself: its folder has a writable temp\.
portable="$stage/portable/Carvex"
mkdir -p "$portable/temp"
cp -r "$stage/x64/." "$portable/"
(cd "$stage/portable" && zip -q -r -X "$dist/carvex-$version-portable-x64.zip" Carvex)

cmake --build --preset linux --target package
cp build/linux/carvex_${version}_amd64.deb build/linux/carvex-nautilus_${version}_amd64.deb "$dist/"

(cd "$dist" && sha256sum -- *.exe *.zip *.deb > SHA256SUMS)
ls -l "$dist"
echo "The Windows files are $signing."
