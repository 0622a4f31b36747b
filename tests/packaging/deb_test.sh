#!/usr/bin/env bash
# Checks the Debian package as a user meets it: its control fields, the exact list of files with
# their owners and modes, the unpacked carvex-cli at work (from outside the build tree, so it can
# only find its data files through its rule that share/carvex lies beside bin/), and lintian.
# Usage: tests/packaging/deb_test.sh build/linux/carvex_1.3.0.0_amd64.deb
set -euo pipefail

fail() {
  echo "deb_test: FAILED: $*" >&2
  exit 1
}

[ $# -eq 1 ] || fail "usage: $0 PACKAGE.deb"
deb=$1
[ -f "$deb" ] || fail "no package at $deb"
for tool in dpkg-deb lintian appstreamcli readelf unzip cmp; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- Control fields
dpkg-deb --info "$deb" >"$work/info" || fail "dpkg-deb cannot read $deb"
field() { dpkg-deb --field "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = carvex ] || fail "the package is called '$(field Package)', not carvex"
[ "$(field Architecture)" = amd64 ] || fail "the architecture is '$(field Architecture)', not amd64"
[ "$(field Section)" = utils ] || fail "the section is '$(field Section)', not utils"
[ "$(basename "$deb")" = "carvex_${version}_amd64.deb" ] || fail "$deb is not named after version $version"
if ! grep -q '^ Description: .\+' "$work/info" || ! grep -q '^  [^ ]' "$work/info"; then
  fail "the package lacks a short or a long description"
fi
# Libraries that only dpkg-shlibdeps, reading both programs, would name.
depends=$(field Depends)
for library in libc6 libqt6widgets6 libsqlite3-0 libssl3; do
  [[ ", $depends," == *", $library "* ]] || fail "Depends does not name $library: '$depends'"
done

# ---- Files: exactly these, owned by root, with Debian's modes. Anything else (a test program, a
# benchmark, a header) has no place in the package.
expected="\
-rwxr-xr-x ./usr/bin/carvex
-rwxr-xr-x ./usr/bin/carvex-cli
-rwxr-xr-x ./usr/bin/verbhook
-rwxr-xr-x ./usr/lib/carvex/ZipSFX.bin
-rw-r--r-- ./usr/lib/x86_64-linux-gnu/nautilus/extensions-4/libverbhook-nautilus.so
-rw-r--r-- ./usr/share/applications/carvex.desktop
-rw-r--r-- ./usr/share/carvex/Contents.htm
-rw-r--r-- ./usr/share/carvex/License.txt
lrwxrwxrwx ./usr/share/carvex/ZipSFX.bin
-rw-r--r-- ./usr/share/doc/carvex/changelog.gz
-rw-r--r-- ./usr/share/doc/carvex/copyright
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/carvex.svg
-rw-r--r-- ./usr/share/man/man1/carvex-cli.1.gz
-rw-r--r-- ./usr/share/man/man1/carvex.1.gz
-rw-r--r-- ./usr/share/man/man1/verbhook.1.gz
-rw-r--r-- ./usr/share/metainfo/example.orvane.Carvex.metainfo.xml"
dpkg-deb --contents "$deb" >"$work/contents"
awk '$1 !~ /^d/ { print $1, $6 }' "$work/contents" | sort >"$work/files"
diff <(sort <<<"$expected") "$work/files" >"$work/diff" ||
  fail "the package's files differ from the expected ones (< expected, > packaged):"$'\n'"$(cat "$work/diff")"
awk '$2 != "root/root" || ($1 ~ /^d/ && $1 != "drwxr-xr-x")' "$work/contents" >"$work/odd"
[ ! -s "$work/odd" ] || fail "entries not owned by root or with odd folder modes:"$'\n'"$(cat "$work/odd")"

# ---- The unpacked programs
root="$work/root"
dpkg-deb -x "$deb" "$root"
for program in usr/bin/carvex usr/bin/carvex-cli usr/lib/carvex/ZipSFX.bin; do
  ! readelf -d "$root/$program" | grep -qE 'RPATH|RUNPATH' || fail "$program carries a library search path"
  ! readelf -S "$root/$program" | grep -q '\.symtab' || fail "$program is not stripped"
done
appstreamcli validate --no-net "$root/usr/share/metainfo/example.orvane.Carvex.metainfo.xml" >"$work/log" 2>&1 ||
  fail "the AppStream metadata does not validate:"$'\n'"$(cat "$work/log")"
for page in carvex carvex-cli; do
  [ "$(head -c 2 "$root/usr/share/man/man1/$page.1.gz" | od -An -tx1 | tr -d ' ')" = 1f8b ] ||
    fail "the manual page of $page is not gzipped"
done

# The user's settings and scratch files go to a folder of this test's own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
unset CARVEX_DATA_FOLDER CARVEX_REGISTRY_DB
mkdir -p "$HOME" "$work/pieces" "$work/built" "$work/zip-pieces" "$work/zip-built"
cli="$root/usr/bin/carvex-cli"
run() { "$cli" "$@" --yes </dev/null >"$work/log" 2>&1 || fail "carvex-cli $*:"$'\n'"$(tail -n 20 "$work/log")"; }

said=$("$cli" --version) || fail "carvex-cli --version failed: $said"
[ "$said" = "Carvex Version: $version" ] || fail "carvex-cli says '$said' in package version $version"

# Three pieces and the builder batch file, then the file again, byte for byte.
head -c 250000 /dev/urandom >"$work/data.bin"
run split "$work/data.bin" --dest "$work/pieces" --kb 100
for piece in data.bin.001.cvx data.bin.002.cvx data.bin.003.cvx data.bin.Bat; do
  [ -f "$work/pieces/$piece" ] || fail "the split wrote no $piece"
done
run build "$work/pieces/data.bin.001.cvx" --dest "$work/built"
cmp "$work/data.bin" "$work/built/data.bin" || fail "the rebuilt file differs from the original"

# A self-extracting zip starts with the stub, which the program reads from its data folder: the
# rebuilt archive begins with share/carvex/ZipSFX.bin and holds the original file.
run split "$work/data.bin" --dest "$work/zip-pieces" --kb 100 --zip packed --sfx
run build "$work/zip-pieces/packed.exe.001.cvx" --dest "$work/zip-built"
stub="$root/usr/share/carvex/ZipSFX.bin"
cmp -n "$(stat -L -c %s "$stub")" "$stub" "$work/zip-built/packed.exe" ||
  fail "the self-extractor does not start with the packaged stub"
unzip -p "$work/zip-built/packed.exe" data.bin | cmp - "$work/data.bin" ||
  fail "the self-extractor does not hold the original file"

# ---- lintian: errors fail the test, the rest is shown. It exits 2 on errors, 1 when it cannot run.
status=0
lintian --pedantic --fail-on error "$deb" >"$work/lintian" 2>&1 || status=$?
grep -E '^[A-Z]: ' "$work/lintian" || true
if grep -q '^E: ' "$work/lintian" || [ $status -eq 2 ]; then fail "lintian reports errors"; fi
[ $status -eq 0 ] || fail "lintian did not run:"$'\n'"$(cat "$work/lintian")"

echo "deb_test: $deb passed"
