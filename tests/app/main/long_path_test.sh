#!/usr/bin/env bash
# A file in a folder whose path is past 300 characters, split and built back by carvex-cli.exe
# and by carvex.exe (driven through its windows by carvex_exe_test.exe), each result compared
# byte for byte on the Linux side of the same path: what Wine wrote is what is on disk.
# Usage: long_path_test.sh WINE_RUN CARVEX_CLI.exe CARVEX_EXE_TEST.exe
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 WINE_RUN CARVEX_CLI.exe CARVEX_EXE_TEST.exe" >&2; exit 2; }
wine_run=$1 cli=$2 exe_test=$3

root=$(mktemp -d /tmp/carvex-long.XXXXXX)
trap 'rm -rf "$root"' EXIT
segment=$(printf 'long folder name %.0s' {1..4})
folder="$root/$segment 1/$segment 2/$segment 3/$segment 4"
mkdir -p "$folder/cli" "$folder/pieces"
head -c 1000000 /dev/urandom >"$folder/source.bin"
# The Linux root is Wine's drive Z:.
windows() { printf 'Z:%s' "${1//\//\\}"; }
win_folder=$(windows "$folder")
[ ${#win_folder} -gt 300 ] || { echo "the folder path is only ${#win_folder} characters" >&2; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$wine_run" "$cli" split --dest "$win_folder\\cli" --kb 300 --yes -- "$win_folder\\source.bin" ||
  fail "carvex-cli.exe split ended with $?"
[ -f "$folder/cli/source.bin.004.cvx" ] && [ ! -e "$folder/cli/source.bin.005.cvx" ] ||
  fail "the CLI split did not make four pieces: $(ls "$folder/cli")"
mkdir "$folder/cli/built"
"$wine_run" "$cli" build --dest "$win_folder\\cli\\built" --yes -- "$win_folder\\cli\\source.bin.003.cvx" ||
  fail "carvex-cli.exe build ended with $?"
cmp "$folder/source.bin" "$folder/cli/built/source.bin" || fail "the CLI's rebuilt file differs"

CARVEX_LONG_FOLDER=$win_folder "$wine_run" "$exe_test" --gtest_filter='*LongPath*' ||
  fail "carvex_exe_test.exe failed"
cmp "$folder/source.bin" "$folder/pieces/source.bin" || fail "carvex.exe's rebuilt file differs"

[ $failures -eq 0 ] && echo "long paths: passed"
exit $((failures > 0))
