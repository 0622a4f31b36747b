#!/usr/bin/env bash
# The x64 setup program as a user meets it, in a throwaway Wine prefix: a silent install, what
# it put on disk and in the registry, the first menu for this and every other account, a second
# install over the first, the installed command-line program at work, an upgrade and an
# uninstall while a program holds the shell extension loaded, a file that cannot be replaced,
# and an upgrade of an installation in a folder of the user's choice. Along the way: a piece
# opened as a double-click opens it, with and without another program's association of .cvx,
# and the shell package of the Windows 11 menu, registered through a stand-in PowerShell that
# fails, only on Windows 11 and never at the cost of the classic install.
# Usage: setup_test.sh SETUP.exe STAGE64 STAGE32 DLL_HOLDER.exe   (inside Xvfb, as tools/test.sh
# runs it). STAGE64 and STAGE32 are the installed programs the setup was made from; the test
# makes the next version's setup from them with the same script.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 SETUP.exe STAGE64 STAGE32 DLL_HOLDER.exe" >&2; exit 2; }
setup=$(realpath "$1")
stage64=$(realpath "$2")
stage32=$(realpath "$3")
holder=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/carvex-setup-test.XXXXXX)
# No menu builder: it would copy the prefix's associations and shortcuts to this machine's desktop.
export WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=(timeout -k 10 300 /usr/lib/wine/wine64)
work=$(mktemp -d /tmp/carvex-setup-work.XXXXXX)
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# `reg query` prints "    name    REG_SZ    data"; the data of one value, or nothing.
reg_value() {  # key name [/reg:32]
  "${wine[@]}" reg query "$1" /v "$2" ${3:-} 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -1
}
reg_default() {  # key [/reg:32]
  "${wine[@]}" reg query "$1" /ve ${2:-} 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *(Default) *REG_[A-Z_]* *//p' | head -1
}
key_exists() { "${wine[@]}" reg query "$1" ${2:-} >/dev/null 2>&1; }
expect_value() {  # what got want
  [[ "$2" == "$3" ]] || fail "$1: got '$2', want '$3'"
}

"${wine[@]}" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# Wine reports the version that the registry names; Windows 11 still calls itself 10.0.
windows_build() {  # build number
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion' v
  for v in CurrentBuild CurrentBuildNumber; do "${wine[@]}" reg add "$key" /v $v /d "$1" /f >/dev/null; done
  [[ "$("${wine[@]}" cmd /c ver | tr -d '\r')" == *"10.0.$1"* ]] || fail "Wine does not report build $1"
}
"${wine[@]}" winecfg /v win10
windows_build 19045
# Wine has no PowerShell: the stand-in records each start in calls.txt and fails.
powershell_dir="$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0"
mkdir -p "$powershell_dir"
cp "$(dirname "$holder")/powershell_standin.exe" "$powershell_dir/powershell.exe"
calls="$powershell_dir/calls.txt"
powershell_calls() { [[ ! -f "$calls" ]] || tr -d '\r' <"$calls"; }
# A signed release carries the package; an unsigned one cannot, for Windows installs no
# unsigned package.
packaged=$([[ -n "${CARVEX_SIGNING_CERT:-}" ]] && echo 1 || echo 0)

install_dir="$WINEPREFIX/drive_c/Program Files/Orvane Software/Carvex"
win_dir='C:\Program Files\Orvane Software\Carvex'
clsid='{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}'
menu='HKCU\SOFTWARE\Orvane Software\Carvex\Ravelin\Contents'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Carvex'
shell_setup='HKLM\Software\Microsoft\Active Setup\Installed Components\{7F4251AA-207D-4A1F-B7FC-E85A01F5D669}'
classes='HKLM\Software\Classes'
# What the stand-in records of the setup's PowerShell commands, which run without a console.
powershell_line="hidden \"C:\\windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -NonInteractive"
powershell_line+=" -Command \"\$ErrorActionPreference = 'Stop';"
add_package_call() {  # windows-folder: the registration of its package for the running account
  local quoted=${1//\'/\'\'}
  echo "$powershell_line Add-AppxPackage -Path '$quoted\\carvex-shell.msix' -ExternalLocation '$quoted'\""
}

"${wine[@]}" "$setup" /S
/usr/lib/wine/wineserver -w

files=(carvex.exe carvex-cli.exe verbhook.dll verbhook.exe verbhookw.exe ZipSFX.bin Contents.htm License.txt
  uninstall.exe x86/verbhook.dll)
shell_files=(carvex-shell.msix carvex-shell.exe Assets/StoreLogo.png Assets/Square44x44Logo.png Assets/Square150x150Logo.png)
((packaged)) && files+=("${shell_files[@]}")
for f in "${files[@]}"; do
  [[ -f "$install_dir/$f" ]] || fail "not installed: $f"
done
# The package's logos lie in its external location too.
if ((packaged)); then
  for f in "${shell_files[@]}"; do
    if [[ $f == Assets/* ]]; then
      cmp -s "$source_root/packaging/msix/$f" "$install_dir/$f" || fail "$f is not the package's logo"
    fi
  done
fi
# A signed release signs the uninstaller too, which the setup writes only when it installs, and
# the package's registration program, which it makes.
if [[ -n "${CARVEX_SIGNING_CERT:-}" ]]; then
  for f in uninstall.exe carvex-shell.exe; do
    osslsigncode verify -CAfile "$CARVEX_SIGNING_CERT" -in "$install_dir/$f" >"$work/verify.log" 2>&1 ||
      fail "the installed $f is not signed: $(tail -n 2 "$work/verify.log")"
  done
fi
# Windows 10 has no menu for the package.
[[ -z "$(powershell_calls)" ]] || fail "the setup started PowerShell on Windows 10: $(powershell_calls)"
key_exists "$shell_setup" && fail "an Active Setup entry for the package on Windows 10"
# Run as invoked, never with file virtualization, and reach paths past 260 characters: each
# program's manifest says so.
for f in carvex.exe carvex-cli.exe verbhook.exe verbhookw.exe ZipSFX.bin; do
  grep -q 'requestedExecutionLevel level="asInvoker"' "$install_dir/$f" || fail "$f asks for no asInvoker level"
  grep -q '<longPathAware [^>]*>true</longPathAware>' "$install_dir/$f" || fail "$f does not declare longPathAware"
done
[[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Carvex.lnk" ]] ||
  fail "no Start-menu shortcut"

# A piece is a Carvex piece with its icon, opened in Build mode; .cvx, which had no default,
# gets this one.
expect_value "piece type" "$(reg_default "$classes\\Carvex.Piece")" "Carvex piece"
expect_value "piece icon" "$(reg_default "$classes\\Carvex.Piece\\DefaultIcon")" "$win_dir\\carvex.exe,-103"
expect_value "piece open verb" "$(reg_default "$classes\\Carvex.Piece\\shell\\open\\command")" \
  "\"$win_dir\\carvex.exe\" /b \"%1\""
lists_piece_type() { "${wine[@]}" reg query "$classes\\.cvx\\OpenWithProgids" /v Carvex.Piece >/dev/null 2>&1; }
lists_piece_type || fail ".cvx does not list Carvex.Piece"
expect_value ".cvx default" "$(reg_default "$classes\\.cvx")" Carvex.Piece

# The x86_64 library registered itself in the 64-bit view; the i686 one has its class entries
# in the 32-bit view; the handler keys are shared.
expect_value "64-bit class" "$(reg_default "HKCR\\CLSID\\$clsid")" "Carvex by Orvane Software"
server64=$(reg_default "HKCR\\CLSID\\$clsid\\InprocServer32")
[[ "${server64,,}" == *verbhook.dll && "${server64,,}" != *x86* ]] || fail "64-bit server: '$server64'"
expect_value "64-bit threading" "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel)" Apartment
expect_value "32-bit class" "$(reg_default "HKCR\\CLSID\\$clsid" /reg:32)" "Carvex by Orvane Software"
server32=$(reg_default "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:32)
[[ "${server32,,}" == *x86*verbhook.dll ]] || fail "32-bit server: '$server32'"
expect_value "32-bit threading" "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel /reg:32)" Apartment
for root in '*' Directory; do
  expect_value "$root handler" "$(reg_default "HKCR\\$root\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex")" "$clsid"
  expect_value "$root handler key" "$(reg_default "HKCR\\$root\\shellex\\ContextMenuHandlers\\Carvex")" "$clsid"
done
# File Explorer looks one level below ContextMenuHandlers and creates the class it finds there:
# the walk does the same, in the 64-bit view as 64-bit Explorer, and must create ours for files
# and folders from the installed library.
walker="$(dirname "$holder")/explorer_walk.exe"
"${wine[@]}" "$walker" >"$work/walk.log" 2>&1 ||
  fail "File Explorer's lookup does not create the handler after install: $(tr -d '\r' <"$work/walk.log")"

expect_value DisplayName "$(reg_value "$uninstall" DisplayName)" Carvex
expect_value DisplayVersion "$(reg_value "$uninstall" DisplayVersion)" 1.3.0.0
expect_value Publisher "$(reg_value "$uninstall" Publisher)" "Orvane Software"
expect_value InstallLocation "$(reg_value "$uninstall" InstallLocation)" "$win_dir"
expect_value DisplayIcon "$(reg_value "$uninstall" DisplayIcon)" "$win_dir\\carvex.exe,0"
expect_value UninstallString "$(reg_value "$uninstall" UninstallString)" "\"$win_dir\\uninstall.exe\""
expect_value QuietUninstallString "$(reg_value "$uninstall" QuietUninstallString)" "\"$win_dir\\uninstall.exe\" /S"
expect_value NoModify "$(reg_value "$uninstall" NoModify)" 0x1
expect_value NoRepair "$(reg_value "$uninstall" NoRepair)" 0x1
size=$(reg_value "$uninstall" EstimatedSize)
[[ -n "$size" && $((size)) -gt 100 ]] || fail "EstimatedSize: '$size'"

# The first menu: the program's items in a "Carvex" submenu.
split_record=$(reg_value "$menu\\0001Carvex" 1)
expect_value "split item" "$split_record" \
  "<caption>Split with Carvex</caption><command>$win_dir\\carvex.exe</command><commandline>/s</commandline><sendfile><icon>$win_dir\\carvex.exe,0</icon><description>Splits the selection into pieces with Carvex</description>"
for n in 2 3 5 6; do
  [[ -n "$(reg_value "$menu\\0001Carvex" $n)" ]] || fail "menu item $n missing"
done

# Every other account gets the first menu at its next logon, through Active Setup; the stub runs
# without a console window and writes only into an empty menu.
active_setup='HKLM\Software\Microsoft\Active Setup\Installed Components\{2D797F61-FE27-43B4-8DFD-5E741BA70240}'
stub=$(reg_value "$active_setup" StubPath)
expect_value StubPath "$stub" "\"$win_dir\\verbhookw.exe\" default \"$win_dir\\carvex.exe\""
expect_value "Active Setup version" "$(reg_value "$active_setup" Version)" 1,3,0,0
expect_value "Active Setup IsInstalled" "$(reg_value "$active_setup" IsInstalled)" 0x1
expect_value "installing account's Active Setup version" \
  "$(reg_value "HKCU\\${active_setup#HKLM\\}" Version)" 1,3,0,0
"${wine[@]}" reg delete "$menu" /f >/dev/null
# As Active Setup runs it: the command line as it stands.
printf '%s\r\n' "$stub" >"$work/stub.bat"
"${wine[@]}" cmd /c "Z:${work//\//\\}\\stub.bat" >/dev/null 2>&1 || fail "the Active Setup stub failed"
/usr/lib/wine/wineserver -w
expect_value "split item written by the stub" "$(reg_value "$menu\\0001Carvex" 1)" "$split_record"

# A second install keeps the user's menu as it is, even one the user changed. It runs on
# Windows 11, where a signed release registers its package; the stand-in's failure leaves the
# classic install as it was.
"${wine[@]}" reg add "$menu\\0001Carvex" /v 1 /d '<caption>Mine</caption><command>[copypath]</command>' /f >/dev/null
"${wine[@]}" reg delete "$menu\\0001Carvex" /v 6 /f >/dev/null
windows_build 22000
rc=0
"${wine[@]}" "$setup" /S || rc=$?
/usr/lib/wine/wineserver -w
expect_value "exit code of the install on Windows 11" "$rc" 0
"${wine[@]}" "$walker" >"$work/walk.log" 2>&1 ||
  fail "File Explorer's lookup does not find the handler after the Windows 11 install: $(tr -d '\r' <"$work/walk.log")"
if ((packaged)); then
  expect_value "registration for the installing account" "$(powershell_calls)" "$(add_package_call "$win_dir")"
  expect_value "package Active Setup stub" "$(reg_value "$shell_setup" StubPath)" "\"$win_dir\\carvex-shell.exe\""
  expect_value "package Active Setup IsInstalled" "$(reg_value "$shell_setup" IsInstalled)" 0x1
  # The failed registration is tried again at the account's next logon.
  [[ -z "$(reg_value "HKCU\\${shell_setup#HKLM\\}" Version)" ]] ||
    fail "a failed registration is marked done for the installing account"
  rm -f "$calls"
  printf '@%s\r\n@exit %%ERRORLEVEL%%\r\n' "$(reg_value "$shell_setup" StubPath)" >"$work/shell-stub.bat"
  "${wine[@]}" cmd /c "Z:${work//\//\\}\\shell-stub.bat" >/dev/null 2>&1 && fail "the package stub hid the failure"
  /usr/lib/wine/wineserver -w
  expect_value "registration by the Active Setup stub" "$(powershell_calls)" "$(add_package_call "$win_dir")"
else
  [[ -z "$(powershell_calls)" ]] || fail "an unsigned release started PowerShell: $(powershell_calls)"
fi
rm -f "$calls"
expect_value "changed item after reinstall" "$(reg_value "$menu\\0001Carvex" 1)" '<caption>Mine</caption><command>[copypath]</command>'
[[ -z "$(reg_value "$menu\\0001Carvex" 6)" ]] || fail "a reinstall wrote the deleted item again"

# The installed command-line program splits and rebuilds a file.
head -c 300000 /dev/urandom > "$work/data.bin"
mkdir -p "$work/pieces" "$work/out"
work_win="Z:${work//\//\\}"
"${wine[@]}" "$install_dir/carvex-cli.exe" split "$work_win\\data.bin" --bytes 100000 --dest "$work_win\\pieces" --yes \
  >"$work/split.log" 2>&1 || fail "installed carvex-cli split: $(tail -3 "$work/split.log")"
"${wine[@]}" "$install_dir/carvex-cli.exe" build "$work_win\\pieces\\data.bin.001.cvx" --dest "$work_win\\out" --yes \
  >"$work/build.log" 2>&1 || fail "installed carvex-cli build: $(tail -3 "$work/build.log")"
cmp -s "$work/data.bin" "$work/out/data.bin" || fail "the rebuilt file differs"
# Opened as File Explorer opens a double-clicked piece: Build mode, with the whole set.
opener="$(dirname "$holder")/open_piece.exe"
"${wine[@]}" "$opener" "$work_win\\pieces\\data.bin.002.cvx" >"$work/open.log" 2>&1 || true
expect_value "a piece opened" "$(tr -d '\r' <"$work/open.log")" \
  "$(printf 'Carvex - Build Mode\ndata.bin.001.cvx\ndata.bin.002.cvx\ndata.bin.003.cvx')"

# A Windows command line as it stands: NSIS reads `/D=` and `_?=` only unquoted, and wine64
# quotes every argument that holds a blank. Its exit code, which Wine hands on modulo 256.
run_line() {
  printf '@%s\r\n@exit %%ERRORLEVEL%%\r\n' "$1" >"$work/line.bat"
  "${wine[@]}" cmd /c "$(winpath "$work/line.bat")"
}
# What a setup's exit code 3010 ("done, restart needed") becomes on the way out of Wine.
reboot_needed=$((3010 % 256))
# The uninstaller copies itself out of the folder it removes and returns at once; run that way
# by hand (`_?=` names the folder), it reports its exit code.
uninstall_in() {  # windows-folder unix-folder -> exit code
  local copy="$work/Au_.exe"
  cp "$2/uninstall.exe" "$copy"
  local rc=0
  run_line "\"$(winpath "$copy")\" /S _?=$1" || rc=$?
  rm -f "$copy"
  return $rc
}
# A program that holds a file: `hold load|lock FILE` returns once the file is held.
hold() {
  rm -f "$work/held"
  "${wine[@]}" "$holder" "$1" "$(winpath "$2")" "$(winpath "$work/held")" &
  holder_pid=$!
  for _ in $(seq 100); do [[ -e "$work/held" ]] && return 0; sleep 0.2; done
  fail "the holder did not take $2"
}
release() {
  rm -f "$work/held"
  wait "$holder_pid" || true
}
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
pending() {
  "${wine[@]}" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    2>/dev/null | tr -d '\r' || true
}

# ---- The next version, made from the same programs with a higher version in each.
next="$work/next"
mkdir -p "$next"
cp -r "$stage64" "$next/x64"
cp -r "$stage32" "$next/x86"
for f in "$next"/x64/*.exe "$next"/x64/*.dll "$next"/x86/*.exe "$next"/x86/*.dll; do
  "$here/pe_version.py" "$f" 1.3.0.1
done
for f in "$next"/x64/Contents.htm "$next"/x64/ZipSFX.bin; do printf '\n' >>"$f"; done
next_setup="$work/carvex-1.3.0.1-setup-x64.exe"
# The next version carries a package whatever the release does: the Windows 11 steps below run
# with it.
printf 'stand-in package %s\n' "$RANDOM" >"$next/carvex-shell.msix"
makensis -V1 -DARCH=x64 -DVERSION=1.3.0.1 -DSTAGE="$next/x64" -DSTAGE32="$next/x86" -DMSIX="$next/carvex-shell.msix" \
  -DICON="$source_root/ui/win32/res/carvex.ico" -DOUTFILE="$next_setup" \
  "$source_root/packaging/nsis/carvex.nsi" >"$work/makensis.log" 2>&1 ||
  { cat "$work/makensis.log"; fail "the next version's setup could not be made"; }
installed_is() {  # x64-folder x86-folder: every installed file is the one of these folders
  local f source
  for f in "${files[@]}"; do
    [[ $f == uninstall.exe || $f == carvex-shell.* || $f == Assets/* ]] && continue
    source="$1/$f"
    [[ $f == x86/* ]] && source="$2/${f#x86/}"
    cmp -s "$source" "$install_dir/$f" || { echo "$f"; return 1; }
  done
}

# ---- An upgrade while File Explorer holds the shell extension: every file new, the new library
# registered, the old one left for the restart, and the restart reported.
hold load "$install_dir/verbhook.dll"
cp "$install_dir/License.txt" "$work/License.copy"
"${wine[@]}" cmd /c copy /y "$(winpath "$work/License.copy")" "$win_dir\\verbhook.dll" >/dev/null 2>&1 &&
  fail "the holder does not hold verbhook.dll: Windows would have let the setup write it"
# The setup runs in the process wine64 waits for. (No `wineserver -w` while something is held:
# it would wait for the holder.)
rc=0
"${wine[@]}" "$next_setup" /S || rc=$?
expect_value "upgrade exit code" "$rc" $reboot_needed
cmp -s "$next/carvex-shell.msix" "$install_dir/carvex-shell.msix" || fail "the upgrade did not install its package"
for f in "${files[@]}"; do
  case $f in *.exe | *.dll)
    expect_value "version of $f after the upgrade" "$("$here/pe_version.py" "$install_dir/$f")" 1.3.0.1 ;;
  esac
done
mismatch=$(installed_is "$next/x64" "$next/x86") || fail "after the upgrade $mismatch is not the new version's"
server64=$(reg_default "HKCR\\CLSID\\$clsid\\InprocServer32")
[[ "${server64,,}" == *verbhook.dll && "${server64,,}" != *x86* ]] || fail "64-bit server after the upgrade: '$server64'"
expect_value "DisplayVersion after the upgrade" "$(reg_value "$uninstall" DisplayVersion)" 1.3.0.1
aside=$(cd "$install_dir" && ls verbhook.dll.old-* 2>/dev/null || true)
[[ -n "$aside" ]] || fail "the loaded library was not moved aside"
[[ "$(pending)" == *"verbhook.dll.old-"* ]] || fail "the old library is not scheduled for removal: $(pending)"
release

# ---- An uninstall while the library is held: everything else goes, the library at the restart.
hold load "$install_dir/verbhook.dll"
rm -f "$calls"
rc=0
uninstall_in "$win_dir" "$install_dir" || rc=$?
expect_value "uninstall exit code while the library is held" "$rc" $reboot_needed
expect_value "package removal" "$(powershell_calls)" \
  "$powershell_line Get-AppxPackage -AllUsers -Name OrvaneSoftware.Carvex | Remove-AppxPackage -AllUsers\""
key_exists "$shell_setup" && fail "the package's Active Setup entry left"
for key in Carvex.Piece .cvx; do
  key_exists "$classes\\$key" && fail "$key left after uninstall"
done
for f in "${files[@]}" "${shell_files[@]}"; do
  [[ $f == verbhook.dll ]] && continue
  [[ ! -e "$install_dir/$f" ]] || fail "left after uninstall: $f"
done
[[ "$(pending)" == *'Carvex\verbhook.dll'* ]] || fail "the held library is not scheduled for removal: $(pending)"
[[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Carvex.lnk" ]] ||
  fail "shortcut left after uninstall"
key_exists "$uninstall" && fail "uninstall entry left"
key_exists "$active_setup" && fail "Active Setup entry left"
key_exists "HKCR\\CLSID\\$clsid" && fail "64-bit class left"
key_exists "HKCR\\CLSID\\$clsid" /reg:32 && fail "32-bit class left"
key_exists "HKCR\\*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex" && fail "handler key left"
for root in '*' Directory; do
  key_exists "HKCR\\$root\\shellex\\ContextMenuHandlers\\Carvex" && fail "$root handler key left"
done
# Nothing of ours is found any more, though the held library is still loaded.
rc=0
"${wine[@]}" "$walker" >"$work/walk.log" 2>&1 || rc=$?
[[ $rc -ne 0 ]] && ! grep -q "$clsid" "$work/walk.log" ||
  fail "File Explorer's lookup still finds the handler after uninstall (exit $rc): $(tr -d '\r' <"$work/walk.log")"
key_exists "HKCR\\*\\shellex\\ContextMenuHandlers\\Orvane Software" || fail "the vendor key went"
expect_value "menu after uninstall" "$(reg_value "$menu\\0001Carvex" 1)" '<caption>Mine</caption><command>[copypath]</command>'
release
# What the restart would do.
rm -rf "$install_dir"
"${wine[@]}" reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f \
  >/dev/null 2>&1 || true

# ---- A folder of the user's choice is upgraded in place; a file that cannot be replaced stops
# the setup with nothing changed. Another program's association of .cvx stays throughout.
custom_win="C:\\Owner's tools\\Carvex"
custom="$WINEPREFIX/drive_c/Owner's tools/Carvex"
"${wine[@]}" reg add "$classes\\.cvx" /ve /d Other.Piece /f >/dev/null
run_line "\"$(winpath "$setup")\" /S /D=$custom_win" || fail "install into $custom_win failed"
/usr/lib/wine/wineserver -w
[[ -f "$custom/carvex.exe" ]] || fail "nothing installed in $custom_win"
expect_value "InstallLocation of the custom install" "$(reg_value "$uninstall" InstallLocation)" "$custom_win"
expect_value "another program's .cvx default after install" "$(reg_default "$classes\\.cvx")" Other.Piece
lists_piece_type || fail ".cvx does not list Carvex.Piece beside another program's association"

install_dir=$custom
hold lock "$custom/ZipSFX.bin"
rc=0
"${wine[@]}" "$next_setup" /S || rc=$?
release
[[ $rc -ne 0 && $rc -ne $reboot_needed ]] || fail "a setup that could not replace ZipSFX.bin exited $rc"
mismatch=$(installed_is "$stage64" "$stage32") || fail "a failed upgrade changed $mismatch"
ls "$custom" | grep -q '\.old-' && fail "a failed upgrade left copies aside: $(ls "$custom")"

rm -f "$calls"
rc=0
"${wine[@]}" "$next_setup" /S || rc=$?
/usr/lib/wine/wineserver -w
expect_value "upgrade exit code with nothing held" "$rc" 0
expect_value "registration in the custom folder" "$(powershell_calls)" "$(add_package_call "$custom_win")"
mismatch=$(installed_is "$next/x64" "$next/x86") || fail "the custom folder's upgrade left $mismatch old"
[[ ! -e "$WINEPREFIX/drive_c/Program Files/Orvane Software/Carvex" ]] ||
  fail "the upgrade installed a second copy in the default folder"
rc=0
uninstall_in "$custom_win" "$custom" || rc=$?
expect_value "uninstall exit code" "$rc" 0
[[ ! -e "$custom" ]] || fail "left after uninstall: $(ls -R "$custom")"
expect_value "another program's .cvx default after uninstall" "$(reg_default "$classes\\.cvx")" Other.Piece
lists_piece_type && fail ".cvx still lists Carvex.Piece after uninstall"
key_exists "$classes\\Carvex.Piece" && fail "Carvex.Piece left after uninstall"

if ((failures)); then
  echo "setup test: $failures failures"
  exit 1
fi
echo "setup test: passed"
