#!/usr/bin/env bash
# The first menu that `verbhook default` writes starts the carvex that lies beside verbhook,
# wherever the two are installed, also where the data files lie in another folder; and
# `verbhook default --replace` repairs a first menu that names a program that is not there.
# Usage: default_program_test.sh VERBHOOK
set -uo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset CARVEX_DATA_FOLDER
status=0
fail() {
  echo "FAILED: $*"
  status=1
}

# Each layout: the folder that holds verbhook, and a data folder made beside it ("-" for none).
bin_folders=("usr/bin" "opt/carvex 2/bin" "build/linux/bin")
data_folders=("usr/share/carvex" "opt/carvex 2/share/carvex" "-")
for n in "${!bin_folders[@]}"; do
  bin_folder=${bin_folders[$n]} data_folder=${data_folders[$n]}
  layout=$bin_folder
  root="$work/root $n"
  mkdir -p "$root/$bin_folder"
  [ "$data_folder" = - ] || mkdir -p "$root/$data_folder"
  cp "$tool" "$root/$bin_folder/verbhook"
  program="$root/$bin_folder/carvex"
  export CARVEX_REGISTRY_DB="$work/registry-$n.db"
  verbhook="$root/$bin_folder/verbhook"

  "$verbhook" default >/dev/null || fail "$layout: default failed"
  list=$("$verbhook" list)
  for item in "Split with Carvex" "Zip and split with Carvex" "Build with Carvex"; do
    grep -qF "\"$item\"  command \"$program\"" <<<"$list" ||
      fail "$layout: \"$item\" does not start $program:"$'\n'"$list"
  done

  # A menu that names a program elsewhere stays without --replace and is repaired with it;
  # the user's own record stays either way.
  rm -f "$CARVEX_REGISTRY_DB"
  "$verbhook" default "$work/missing/carvex" >/dev/null || fail "$layout: default PROGRAM failed"
  printf 'REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents]\n"mine"="<caption>Mine</caption><command>mine</command>"\n' \
    >"$work/mine.reg"
  "$verbhook" import "$work/mine.reg" || fail "$layout: import failed"
  said=$("$verbhook" default)
  grep -q "left as it is" <<<"$said" || fail "$layout: default without --replace said: $said"
  [ "$("$verbhook" list | grep -cF "$work/missing/carvex")" -eq 3 ] || fail "$layout: the menu changed without --replace"
  "$verbhook" default --replace >/dev/null || fail "$layout: default --replace failed"
  list=$("$verbhook" list)
  [ "$(grep -cF "command \"$program\"" <<<"$list")" -eq 3 ] || fail "$layout: --replace did not repair the menu:"$'\n'"$list"
  ! grep -qF "$work/missing" <<<"$list" || fail "$layout: --replace left the old program:"$'\n'"$list"
  grep -qF '"Mine"  command "mine"' <<<"$list" || fail "$layout: --replace took the user's record:"$'\n'"$list"
done

# Usage: a second operand or an unknown flag is refused with the usage text.
for args in "default a b" "default --replace a b" "default --force"; do
  # shellcheck disable=SC2086
  "$tool" $args >/dev/null 2>"$work/err"
  [ $? -eq 2 ] && grep -q "default \[PROGRAM\] \[--replace\]" "$work/err" || fail "verbhook $args was not refused with the usage"
done
# After -- a word that looks like an option is a file: the menu goes out to and comes back
# from a file named --replace.
(cd "$work" && "$tool" export -- --replace) || fail "verbhook export -- --replace failed"
[ -s "$work/--replace" ] || fail "verbhook export -- --replace wrote no file named --replace"
(cd "$work" && "$tool" import --replace -- --replace) || fail "verbhook import --replace -- --replace failed"
help=$("$tool" --help) || fail "verbhook --help failed"
grep -q "default \[PROGRAM\] \[--replace\]" <<<"$help" || fail "verbhook --help does not name --replace: $help"
exit $status
