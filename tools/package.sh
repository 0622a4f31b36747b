#!/usr/bin/env bash
# Installs what is missing, builds the presets the release needs and writes every release file
# into dist/: the x64 and x86 setup programs, the portable x64 zip, the Debian packages, the
# Windows 11 menu package (.msix, signed releases only) and SHA256SUMS, which `sha256sum -c` reads.
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

# Windows registers a package only when its publisher is the subject of the certificate that
# signed it; a mismatch is found here rather than by the setup on a user's machine.
check_package_publisher() {
  : "${CARVEX_SIGN_PASSWORD_FILE:?names no password file}"
  local publisher subject certificate
  publisher=$(python3 -c 'import sys, xml.etree.ElementTree as ET
print(ET.parse(sys.argv[1]).getroot().find("{*}Identity").get("Publisher"))' packaging/msix/AppxManifest.xml)
  # Certificates made by older tools use algorithms OpenSSL 3 reads only with -legacy.
  certificate=$(openssl pkcs12 -in "$CARVEX_SIGN_PKCS12" -passin "file:$CARVEX_SIGN_PASSWORD_FILE" -nokeys -clcerts 2>/dev/null ||
    openssl pkcs12 -legacy -in "$CARVEX_SIGN_PKCS12" -passin "file:$CARVEX_SIGN_PASSWORD_FILE" -nokeys -clcerts 2>/dev/null) ||
    { echo "package.sh: cannot read the certificate in $CARVEX_SIGN_PKCS12" >&2; return 1; }
  subject=$(openssl x509 -noout -subject -nameopt RFC2253 <<<"$certificate")
  subject=${subject#subject=}
  # The manifest writes a name's parts separated by ", ", RFC 2253 by ",".
  if [[ "${publisher//, /,}" != "$subject" ]]; then
    echo "package.sh: the Windows 11 menu package's publisher \"$publisher\" (packaging/msix/AppxManifest.xml," >&2
    echo "and the msix element of ui/win32/CMakeLists.txt) is not the certificate's subject \"$subject\":" >&2
    echo "Windows would refuse to register the package. Sign with the publisher's certificate or change both names." >&2
    return 1
  fi
}

if [[ -n "${CARVEX_SIGN_PKCS12:-}" ]]; then
  signing="signed with $CARVEX_SIGN_PKCS12"
  sign=(tools/sign.sh)
  check_package_publisher
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

# The package that gives the installed x64 folder an identity for Windows 11's compact File
# Explorer menu. Windows registers no unsigned package, so an unsigned release keeps it out of
# dist/ and out of the setup (which then says it skips that step); it is still made, in
# build/stage/, to be looked at.
msix_name="carvex-$version-shell-x64.msix"
msix_define=()
if [[ "${sign[0]}" == true ]]; then
  python3 tools/make_msix.py packaging/msix "$stage/$msix_name"
  msix_note="The Windows 11 menu package is left out, unsigned: build/stage/$msix_name."
else
  python3 tools/make_msix.py packaging/msix "$dist/$msix_name"
  "${sign[@]}" "$dist/$msix_name"
  msix_define=("-DMSIX=$dist/$msix_name")
  msix_note="The Windows 11 menu package is dist/$msix_name; the x64 setup carries it."
fi

icon="$PWD/ui/win32/res/carvex.ico"
nsis=(makensis -V2 -DICON="$icon")
# The uninstaller is made inside makensis, which signs it through this command before packing it.
[[ "${sign[0]}" == true ]] || nsis+=("-DSIGN_COMMAND=$PWD/tools/sign.sh")
"${nsis[@]}" -DARCH=x64 -DSTAGE="$stage/x64" -DSTAGE32="$stage/x86" "${msix_define[@]}" \
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

(cd "$dist" && shopt -s nullglob && sha256sum -- *.exe *.zip *.deb *.msix > SHA256SUMS)
ls -l "$dist"
echo "$msix_note"
echo "The Windows files are $signing."
