#!/usr/bin/env bash
# Checks the two Debian packages as a user meets them. Each package: its control fields, the
# exact list of files with their owners and modes, and lintian. Unpacked: carvex-cli at work
# (from outside the build tree, so it can only find its data files through its rule that
# share/carvex lies beside bin/). Installed with apt-get as a user installs them: the first menu
# that verbhook writes names files that exist, and its "Split with Carvex" item, run by the
# installed runner on a selected file, opens the installed Carvex with that file in its list,
# read back through the accessibility bus as a screen reader reads it; a piece has its own type,
# whose default program is Carvex, and opened as the desktop opens it shows its whole set in
# Build mode, while the desktop entry started without a file still opens split mode; and in the
# real GNOME Files the installed module hands that runner the files of the window its menu was
# opened in (nautilus_test.sh). Removed again: no file of either package is left, and the piece
# has lost its type.
#
# Usage: tests/packaging/deb_test.sh carvex_1.3.0.0_amd64.deb carvex-nautilus_1.3.0.0_amd64.deb
#
# It installs into this machine and removes what it installed (a carvex installed before is
# removed first), so it needs root or sudo without a password; CI runs it as root on a machine
# of its own. The selection is recorded by build/linux/bin/clipboard_probe, a test program of the
# linux preset that calls the function the file manager's module calls.
set -euo pipefail

fail() {
  echo "deb_test: FAILED: $*" >&2
  exit 1
}

[ $# -eq 2 ] || fail "usage: $0 carvex_VERSION_amd64.deb carvex-nautilus_VERSION_amd64.deb"
deb=$(realpath -e "$1") || fail "no package at $1"
nautilus_deb=$(realpath -e "$2") || fail "no package at $2"
here=$(cd "$(dirname "$0")" && pwd)
probe="$here/../../build/linux/bin/clipboard_probe"
[ -x "$probe" ] || fail "no $probe: build the linux preset first"
for tool in dpkg-deb dpkg-query lintian appstreamcli readelf unzip cmp iconv apt-get setpriv xvfb-run \
  dbus-run-session timeout desktop-file-validate xdg-mime gio; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing (tools/setup.sh installs it)"

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo -n)

work=$(mktemp -d)
installed=0
cleanup() {
  # The window that the test opened, if it still runs (its id may have gone to another program).
  if [ -s "$work/user/carvex.pid" ]; then
    local pid
    pid=$(cat "$work/user/carvex.pid")
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" != /usr/bin/carvex ] || kill -9 "$pid" 2>/dev/null || true
  fi
  if [ $installed -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive timeout 300 "${as_root[@]}" apt-get remove -y -q carvex carvex-nautilus \
      >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# apt reads the packages as its own unprivileged user, and the user steps below run as one.
chmod 755 "$work"

version=$(dpkg-deb --field "$deb" Version)

# ---- Each package: control fields, files, lintian
# check_package DEB NAME EXPECTED_FILES
check_package() {
  local file=$1 name=$2 expected=$3 info="$work/$2.info" contents="$work/$2.contents"
  field() { dpkg-deb --field "$file" "$1"; }
  timeout 60 dpkg-deb --info "$file" >"$info" || fail "dpkg-deb cannot read $file"
  [ "$(field Package)" = "$name" ] || fail "$file is the package '$(field Package)', not $name"
  [ "$(field Version)" = "$version" ] || fail "$name has version $(field Version), carvex $version"
  [ "$(field Source)" = carvex ] || fail "$name comes from the source '$(field Source)', not carvex"
  [ "$(field Architecture)" = amd64 ] || fail "the architecture of $name is '$(field Architecture)', not amd64"
  [ "$(field Section)" = utils ] || fail "the section of $name is '$(field Section)', not utils"
  [ "$(basename "$file")" = "${name}_${version}_amd64.deb" ] || fail "$file is not named after $name $version"
  if ! grep -q '^ Description: .\+' "$info" || ! grep -q '^  [^ ]' "$info"; then
    fail "$name lacks a short or a long description"
  fi

  # Exactly these files, owned by root, with Debian's modes. Anything else (a test program, a
  # benchmark, a header, a file of the other package) has no place in the package.
  timeout 60 dpkg-deb --contents "$file" >"$contents"
  awk '$1 !~ /^d/ { print $1, $6 }' "$contents" | sort >"$work/files"
  diff <(sort <<<"$expected") "$work/files" >"$work/diff" ||
    fail "the files of $name differ from the expected ones (< expected, > packaged):"$'\n'"$(cat "$work/diff")"
  awk '$2 != "root/root" || ($1 ~ /^d/ && $1 != "drwxr-xr-x")' "$contents" >"$work/odd"
  [ ! -s "$work/odd" ] || fail "entries of $name not owned by root or with odd folder modes:"$'\n'"$(cat "$work/odd")"

  # lintian: errors and warnings fail the test, the rest is shown. It exits 2 on what
  # --fail-on names, 1 when it cannot run.
  local status=0
  timeout 600 lintian --pedantic --display-info --fail-on error,warning "$file" >"$work/lintian" 2>&1 || status=$?
  grep -E '^[A-Z]: ' "$work/lintian" || true
  if grep -qE '^[EW]: ' "$work/lintian" || [ $status -eq 2 ]; then fail "lintian reports errors or warnings on $name"; fi
  [ $status -eq 0 ] || fail "lintian did not run on $name:"$'\n'"$(cat "$work/lintian")"
}

check_package "$deb" carvex "\
-rwxr-xr-x ./usr/bin/carvex
-rwxr-xr-x ./usr/bin/carvex-cli
-rwxr-xr-x ./usr/bin/verbhook
-rwxr-xr-x ./usr/lib/carvex/ZipSFX.bin
-rw-r--r-- ./usr/share/applications/carvex.desktop
-rw-r--r-- ./usr/share/carvex/Contents.htm
-rw-r--r-- ./usr/share/carvex/License.txt
lrwxrwxrwx ./usr/share/carvex/ZipSFX.bin
-rw-r--r-- ./usr/share/doc/carvex/changelog.gz
-rw-r--r-- ./usr/share/doc/carvex/copyright
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/carvex.svg
-rw-r--r-- ./usr/share/icons/hicolor/scalable/mimetypes/application-x-carvex-piece.svg
-rw-r--r-- ./usr/share/man/man1/carvex-cli.1.gz
-rw-r--r-- ./usr/share/man/man1/carvex.1.gz
-rw-r--r-- ./usr/share/man/man1/verbhook.1.gz
-rw-r--r-- ./usr/share/metainfo/example.orvane.Carvex.metainfo.xml
-rw-r--r-- ./usr/share/mime/packages/carvex.xml"
check_package "$nautilus_deb" carvex-nautilus "\
-rw-r--r-- ./usr/lib/x86_64-linux-gnu/nautilus/extensions-4/libverbhook-nautilus.so
-rw-r--r-- ./usr/share/doc/carvex-nautilus/changelog.gz
-rw-r--r-- ./usr/share/doc/carvex-nautilus/copyright"

# Libraries that only dpkg-shlibdeps, reading the programs, would name; the file manager's own
# library is the module's alone, so installing Carvex does not bring in the file manager.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libqt6widgets6 libsqlite3-0 libssl3; do
  [[ ", $depends," == *", $library "* ]] || fail "carvex's Depends does not name $library: '$depends'"
done
[[ "$depends" != *nautilus* ]] || fail "carvex depends on the file manager: '$depends'"
depends=$(dpkg-deb --field "$nautilus_deb" Depends)
for needed in "carvex (= $version)" "libnautilus-extension4 " "libglib2.0-0 "; do
  [[ ", $depends," == *", $needed"* ]] || fail "carvex-nautilus's Depends does not name $needed: '$depends'"
done
description=$(dpkg-deb --field "$nautilus_deb" Description)
for words in "nautilus -q" "verbhook default"; do
  grep -qF "$words" <<<"$description" || fail "carvex-nautilus's description does not mention '$words'"
done

# ---- The unpacked programs
root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$nautilus_deb" "$root"
for program in usr/bin/carvex usr/bin/carvex-cli usr/bin/verbhook usr/lib/carvex/ZipSFX.bin \
  usr/lib/x86_64-linux-gnu/nautilus/extensions-4/libverbhook-nautilus.so; do
  ! readelf -d "$root/$program" | grep -qE 'RPATH|RUNPATH' || fail "$program carries a library search path"
  ! readelf -S "$root/$program" | grep -q '\.symtab' || fail "$program is not stripped"
done
timeout 120 appstreamcli validate --no-net "$root/usr/share/metainfo/example.orvane.Carvex.metainfo.xml" \
  >"$work/log" 2>&1 || fail "the AppStream metadata does not validate:"$'\n'"$(cat "$work/log")"
timeout 60 desktop-file-validate "$root/usr/share/applications/carvex.desktop" >"$work/log" 2>&1 ||
  fail "the desktop entry does not validate:"$'\n'"$(cat "$work/log")"
for page in carvex carvex-cli verbhook; do
  [ "$(head -c 2 "$root/usr/share/man/man1/$page.1.gz" | od -An -tx1 | tr -d ' ')" = 1f8b ] ||
    fail "the manual page of $page is not gzipped"
done

# The user's settings and scratch files go to a folder of this test's own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
unset CARVEX_DATA_FOLDER CARVEX_REGISTRY_DB QT_QPA_PLATFORM
mkdir -p "$HOME" "$work/pieces" "$work/built" "$work/zip-pieces" "$work/zip-built"
cli="$root/usr/bin/carvex-cli"
run() { timeout 120 "$cli" "$@" --yes </dev/null >"$work/log" 2>&1 || fail "carvex-cli $*:"$'\n'"$(tail -n 20 "$work/log")"; }

said=$(timeout 30 "$cli" --version) || fail "carvex-cli --version failed: $said"
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

# ---- Installed as a user installs them
export DEBIAN_FRONTEND=noninteractive
for package in carvex-nautilus carvex; do
  if dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^.[^n]'; then
    echo "deb_test: removing the $package installed before"
    timeout 300 "${as_root[@]}" apt-get purge -y -q "$package" >"$work/log" 2>&1 ||
      fail "cannot remove the $package installed before:"$'\n'"$(tail -n 20 "$work/log")"
  fi
done
mkdir -m 755 "$work/pool"
cp "$deb" "$nautilus_deb" "$work/pool/"
chmod 644 "$work/pool/"*.deb
installed=1
timeout 900 "${as_root[@]}" apt-get install -y -q "$work/pool/$(basename "$deb")" \
  "$work/pool/$(basename "$nautilus_deb")" >"$work/log" 2>&1 ||
  fail "apt-get cannot install the packages:"$'\n'"$(tail -n 20 "$work/log")"
for package in carvex carvex-nautilus; do
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}${Version}' "$package")" = "ii $version" ] ||
    fail "$package $version is not installed after apt-get install"
done

# The user: an unprivileged one when the test runs as root, since root may write where a user
# cannot (the program keeps its settings in its own folder when it may write there).
user="$work/user"
mkdir -p "$user/home" "$user/config" "$user/bin" "$user/runtime"
chmod 700 "$user/runtime"
cp "$probe" "$here/atspi_list_rows.py" "$here/nautilus_test.sh" "$here/nautilus_drive.py" "$user/bin/"
selected="$user/to split/big file.bin"
mkdir -p "$(dirname "$selected")"
head -c 300000 /dev/urandom >"$selected"
# A set of three pieces; the middle one is opened, as any piece may be.
set_folder="$user/a set"
mkdir -p "$set_folder"
for n in 1 2 3; do head -c $((n * 1000)) /dev/urandom >"$set_folder/movie clip.avi.00$n.cvx"; done
opened="$set_folder/movie clip.avi.002.cvx"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$user"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
export HOME="$user/home" XDG_CONFIG_HOME="$user/config" XDG_RUNTIME_DIR="$user/runtime"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY

said=$(timeout 30 "${as_user[@]}" /usr/bin/verbhook default) || fail "verbhook default failed: $said"
[ "$said" = "The first menu has been written." ] || fail "verbhook default said: $said"
list=$(timeout 30 "${as_user[@]}" /usr/bin/verbhook list) || fail "verbhook list failed: $list"
timeout 30 "${as_user[@]}" /usr/bin/verbhook export "$user/menu.reg" || fail "verbhook export failed"
# Every program and icon file the menu names, from its records as exported (UTF-16).
iconv -f UTF-16 -t UTF-8 "$user/menu.reg" >"$work/menu.txt" || fail "the exported menu is not UTF-16"
grep -o '<command>[^<]*</command>' "$work/menu.txt" | sed 's/<[^>]*>//g' | grep -v '^\[' >"$work/commands" || true
grep -o '<icon>[^<]*</icon>' "$work/menu.txt" | sed 's/<[^>]*>//g; s/,[-0-9]*$//' >"$work/icons" || true
[ "$(wc -l <"$work/commands")" -eq 3 ] && [ "$(wc -l <"$work/icons")" -eq 3 ] ||
  fail "the first menu does not name three programs and three icons:"$'\n'"$(cat "$work/menu.txt")"
while read -r program; do
  [ -x "$program" ] && [ -f "$program" ] || fail "the first menu starts '$program', which is no program"
done <"$work/commands"
while read -r icon; do
  [ -f "$icon" ] || fail "the first menu shows the icon of '$icon', which does not exist"
done <"$work/icons"

# "Split with Carvex" through the installed runner, on a selection recorded as the module
# records it; the window it opens must list the file, read through AT-SPI.
item=$(awk '/"Split with Carvex"/ { print $1; exit }' <<<"$list")
[[ "$item" =~ ^[0-9]+$ ]] || fail "verbhook list shows no \"Split with Carvex\" item:"$'\n'"$list"
timeout 30 "${as_user[@]}" "$user/bin/clipboard_probe" select "$selected" || fail "the selection was not recorded"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# xvfb-run, dbus-run-session and the steps inside each end on their own; the outer timeout is
# the last resort. The process id of the window goes to a file, so cleanup can close it whatever
# happens.
status=0
timeout 240 "${as_user[@]}" xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- bash -c '
  item=$1 selected=$2 bin=$3 pidfile=$4 rows=$5
  timeout 30 /usr/bin/verbhook run "$item" || { echo "verbhook run $item failed"; exit 1; }
  timeout 90 /usr/bin/python3 "$bin/atspi_list_rows.py" carvex "$selected" 60 >"$rows" ||
    { echo "no Carvex window lists $selected"; exit 1; }
  head -n 1 "$rows" >"$pidfile"
  pid=$(cat "$pidfile")
  tr "\0" "\n" <"/proc/$pid/cmdline" >"$rows.cmdline"
  readlink "/proc/$pid/exe" >"$rows.exe"
  kill "$pid"
  for _ in $(seq 50); do
    [ -e "/proc/$pid" ] || exit 0
    sleep 0.1
  done
  kill -9 "$pid"
  echo "the Carvex window did not close on SIGTERM"
  exit 1
' _ "$item" "$selected" "$user/bin" "$user/carvex.pid" "$user/rows" >"$user/log" 2>&1 || status=$?
[ $status -eq 0 ] || fail "the Split with Carvex item:"$'\n'"$(cat "$user/log")"
# The list's row for the file: its name, size and full path, as the window shows them.
tail -n +2 "$user/rows" | awk -F '\t' -v name="$(basename "$selected")" -v path="$selected" \
  '$1 == name && $3 == path { found = 1 } END { exit !found }' ||
  fail "the Carvex window lists no row for $selected:"$'\n'"$(tail -n +2 "$user/rows")"
[ "$(head -n 1 "$user/rows.cmdline")" = /usr/bin/carvex ] ||
  fail "the window's program was started as '$(head -n 1 "$user/rows.cmdline")', not /usr/bin/carvex"
[ "$(cat "$user/rows.exe")" = /usr/bin/carvex ] || fail "the window's program is $(cat "$user/rows.exe"), not /usr/bin/carvex"
[ "$(sed -n 2,3p "$user/rows.cmdline")" = "/s"$'\n'"$selected" ] ||
  fail "carvex was started with '$(tail -n +2 "$user/rows.cmdline" | tr '\n' ' ')', not /s and the selection"

# ---- A piece opens its set. The file manager's view of the type (GNOME's, through gio) and of
# its default program, then the piece opened as the desktop opens it, through the desktop entry's
# Exec line: Carvex in Build mode listing every piece of the set. The same entry started from the
# menu, with no file, still opens Carvex in split mode.
type=$(timeout 30 "${as_user[@]}" env XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$opened") ||
  fail "xdg-mime cannot tell the type of $opened"
[ "$type" = application/x-carvex-piece ] || fail "a piece has the type '$type', not application/x-carvex-piece"
default=$(timeout 30 "${as_user[@]}" xdg-mime query default application/x-carvex-piece) ||
  fail "xdg-mime cannot tell the default program of a piece"
[ "$default" = carvex.desktop ] || fail "a piece opens with '$default', not carvex.desktop"
status=0
timeout 240 "${as_user[@]}" xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- bash -c '
  opened=$1 last=$2 bin=$3 pidfile=$4 out=$5
  # show WHAT CELL TITLE: the Carvex window with that title (and a list with that cell), its
  # process id kept for the cleanup, its command line and program recorded, then closed.
  show() {
    timeout 90 /usr/bin/python3 "$bin/atspi_list_rows.py" carvex "$2" 60 "$3" >"$out.$1" ||
      { echo "no Carvex window \"$3\" after $1"; return 1; }
    head -n 1 "$out.$1" >"$pidfile"
    local pid
    pid=$(cat "$pidfile")
    tr "\0" "\n" <"/proc/$pid/cmdline" >"$out.$1.cmdline"
    readlink "/proc/$pid/exe" >"$out.$1.exe"
    kill "$pid"
    for _ in $(seq 50); do
      [ -e "/proc/$pid" ] || return 0
      sleep 0.1
    done
    kill -9 "$pid"
    echo "the Carvex window did not close on SIGTERM"
    return 1
  }
  timeout 30 gio open "$opened" || { echo "gio open $opened failed"; exit 1; }
  show open "$last" "Carvex - Build Mode" || exit 1
  timeout 30 gio launch /usr/share/applications/carvex.desktop || { echo "gio launch failed"; exit 1; }
  show menu "" "Carvex - Split Mode" || exit 1
' _ "$opened" "$set_folder/movie clip.avi.003.cvx" "$user/bin" "$user/carvex.pid" "$user/piece" \
  >"$user/log" 2>&1 || status=$?
[ $status -eq 0 ] || fail "opening a piece:"$'\n'"$(cat "$user/log")"
for n in 1 2 3; do
  printf '%s\t%s\n' "movie clip.avi.00$n.cvx" "$set_folder/movie clip.avi.00$n.cvx"
done >"$work/set"
tail -n +2 "$user/piece.open" | awk -F '\t' '{ print $1 "\t" $3 }' | diff "$work/set" - >"$work/diff" ||
  fail "the window opened with a piece does not list its set (< expected, > listed):"$'\n'"$(cat "$work/diff")"
for launch in open menu; do
  [ "$(cat "$user/piece.$launch.exe")" = /usr/bin/carvex ] ||
    fail "the window of '$launch' is the program $(cat "$user/piece.$launch.exe"), not /usr/bin/carvex"
done
arguments() { tail -n +2 "$user/piece.$1.cmdline"; }
[ "$(arguments open)" = "/b"$'\n'"$opened" ] ||
  fail "the piece started carvex with '$(arguments open | tr '\n' ' ')', not /b and the piece"
[ "$(arguments menu)" = "/b" ] || fail "the menu started carvex with '$(arguments menu | tr '\n' ' ')', not /b alone"

# ---- The installed module in the real GNOME Files, with the installed runner.
timeout 300 "${as_user[@]}" bash "$user/bin/nautilus_test.sh" /usr/bin/verbhook >"$user/nautilus.log" 2>&1 ||
  fail "the module in GNOME Files:"$'\n'"$(tail -n 40 "$user/nautilus.log")"
tail -n 1 "$user/nautilus.log"

# ---- Removed: nothing of either package stays on disk. A folder may stay only while another
# installed package owns it too.
timeout 300 "${as_root[@]}" apt-get remove -y -q carvex carvex-nautilus >"$work/log" 2>&1 ||
  fail "apt-get cannot remove the packages:"$'\n'"$(tail -n 20 "$work/log")"
installed=0
type=$(timeout 30 "${as_user[@]}" env XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$opened") || true
[ "$type" != application/x-carvex-piece ] || fail "a piece keeps its type after the packages are removed"
for package in carvex carvex-nautilus; do
  ! dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^.[^n]' ||
    fail "$package is still known to dpkg as '$(dpkg-query -W -f='${db:Status-Abbrev}' "$package")'"
done
cat "$work/carvex.contents" "$work/carvex-nautilus.contents" | awk '{ print $1, $6 }' |
  while read -r mode path; do
    path=${path#.}
    path=${path%/}
    if [[ "$mode" == d* ]]; then
      [ ! -e "$path" ] || dpkg-query -S "$path" >/dev/null 2>&1 || echo "$path/"
    elif [ -e "$path" ] || [ -L "$path" ]; then
      echo "$path"
    fi
  done >"$work/left"
[ ! -s "$work/left" ] || fail "removing the packages left:"$'\n'"$(cat "$work/left")"

echo "deb_test: $(basename "$deb") and $(basename "$nautilus_deb") passed"
