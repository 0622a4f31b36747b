#!/usr/bin/env bash
# Installs what is missing, builds the presets the release needs and writes every release file
# into dist/: the x64 and x86 setup programs, the portable x64 zip, the Debian package and
# SHA256SUMS, which `sha256sum -c` reads.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

version=1.3.0.0
dist="$PWD/dist"
stage="$PWD/build/stage"
rm -rf "$dist" "$stage"
mkdir -p "$dist" "$stage"

for preset in linux win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The programs as they are installed, without their debugging information.
cmake --install build/win64 --prefix "$stage/x64" --strip >/dev/null
cmake --install build/win32 --prefix "$stage/x86" --strip >/dev/null

icon="$PWD/ui/win32/res/carvex.ico"
makensis -V2 -DARCH=x64 -DSTAGE="$stage/x64" -DSTAGE32="$stage/x86" -DICON="$icon" \
  -DOUTFILE="$dist/carvex-$version-setup-x64.exe" packaging/nsis/carvex.nsi
makensis -V2 -DARCH=x86 -DSTAGE="$stage/x86" -DICON="$icon" \
  -DOUTFILE="$dist/carvex-$version-setup-x86.exe" packaging/nsis/carvex.nsi

# The portable program keeps its settings beside itself: its folder has a writable temp\.
portable="$stage/portable/Carvex"
mkdir -p "$portable/temp"
cp -r "$stage/x64/." "$portable/"
(cd "$stage/portable" && zip -q -r -X "$dist/carvex-$version-portable-x64.zip" Carvex)

cmake --build --preset linux --target package
cp build/linux/carvex_${version}_amd64.deb "$dist/"

(cd "$dist" && sha256sum -- *.exe *.zip *.deb > SHA256SUMS)
ls -l "$dist"
