#!/usr/bin/env bash
# The x64 setup program as a user meets it, in a throwaway Wine prefix: a silent install, what
# it put on disk and in the registry, the first menu, a second install over the first, the
# installed command-line program at work, and a silent uninstall.
# Usage: setup_test.sh <carvex-...-setup-x64.exe>   (inside Xvfb, as tools/test.sh runs it)
set -euo pipefail
setup=$(realpath "$1")

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/carvex-setup-test.XXXXXX)
export WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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

install_dir="$WINEPREFIX/drive_c/Program Files/Orvane Software/Carvex"
win_dir='C:\Program Files\Orvane Software\Carvex'
clsid='{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}'
menu='HKCU\SOFTWARE\Orvane Software\Carvex\Ravelin\Contents'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Carvex'

"${wine[@]}" "$setup" /S
/usr/lib/wine/wineserver -w

for f in carvex.exe carvex-cli.exe verbhook.dll verbhook.exe ZipSFX.bin Contents.htm License.txt uninstall.exe x86/verbhook.dll; do
  [[ -f "$install_dir/$f" ]] || fail "not installed: $f"
done
[[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Carvex.lnk" ]] ||
  fail "no Start-menu shortcut"

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
done

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

# A second install keeps the user's menu as it is, even one the user changed.
"${wine[@]}" reg add "$menu\\0001Carvex" /v 1 /d '<caption>Mine</caption><command>[copypath]</command>' /f >/dev/null
"${wine[@]}" reg delete "$menu\\0001Carvex" /v 6 /f >/dev/null
"${wine[@]}" "$setup" /S
/usr/lib/wine/wineserver -w
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

# The uninstaller returns at once and finishes in a copy of itself.
"${wine[@]}" "$install_dir/uninstall.exe" /S
/usr/lib/wine/wineserver -w
for f in carvex.exe carvex-cli.exe verbhook.dll verbhook.exe x86/verbhook.dll uninstall.exe; do
  [[ ! -e "$install_dir/$f" ]] || fail "left after uninstall: $f"
done
[[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Carvex.lnk" ]] ||
  fail "shortcut left after uninstall"
key_exists "$uninstall" && fail "uninstall entry left"
key_exists "HKCR\\CLSID\\$clsid" && fail "64-bit class left"
key_exists "HKCR\\CLSID\\$clsid" /reg:32 && fail "32-bit class left"
key_exists "HKCR\\*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex" && fail "handler key left"
key_exists "HKCR\\*\\shellex\\ContextMenuHandlers\\Orvane Software" || fail "the vendor key went"
expect_value "menu after uninstall" "$(reg_value "$menu\\0001Carvex" 1)" '<caption>Mine</caption><command>[copypath]</command>'

if ((failures)); then
  echo "setup test: $failures failures"
  exit 1
fi
echo "setup test: passed"
