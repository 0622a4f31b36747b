#include "join_script.h"

#include "checksums.h"
#include "mod_public.h"
#include "platform/files.h"
#include "platform/printable.h"
#include "platform/zipio.h"

namespace carvex {

namespace {

// Inside single quotes sh takes every byte as it is, line breaks included; a quote of the
// name ends the quoting, adds itself escaped and starts it again. No name can run a command.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

// The part that is the same for every set. It rests on N.sha256 as Carvex writes it: line k
// for piece k, then the line of the whole file.
constexpr char kBody[] = R"SH(tmp=$name.join-$$
ours=no

# A file of the set as messages show it: the set's name with its control characters escaped,
# so that no name can drive the terminal, then the rest of the file's name.
display() { printf '%s%s' "$shown" "${1#"$name"}"; }

# The temporary file is removed only once this script has set out to make it.
fail() {
  printf '%s\n' "$*" >&2
  [ $ours = no ] || rm -f -- "$tmp"
  exit 1
}
trap '[ $ours = no ] || rm -f -- "$tmp"; exit 130' HUP INT TERM

# The pieces lie beside this script, wherever it is started from.
case $0 in */*) cd -- "${0%/*}" || exit 1 ;; esac

for piece do
  [ -f "$piece" ] || fail "The piece $(display "$piece") is missing; nothing was built."
done
if [ -e "$name" ] || [ -L "$name" ]; then
  fail "$shown already exists here; move it away and run this script again."
fi

verify=no
if [ -f "$sums" ]; then
  if command -v sha256sum >/dev/null 2>&1; then
    digest_of() { sha256sum < "$1"; }
  elif command -v shasum >/dev/null 2>&1; then
    digest_of() { shasum -a 256 < "$1"; }
  else
    fail "Neither sha256sum nor shasum is installed, so the pieces cannot be checked against $(display "$sums"); delete it to build without checking."
  fi
  verify=yes
fi

# Line $1 of the checksum file, its digest alone.
expected() {
  line=$(sed -n "$1p" < "$sums") || fail "$(display "$sums") cannot be read."
  line=${line#\\}
  line=${line%% *}
  case $line in
    *[!0-9a-fA-F]*|'') fail "Line $1 of $(display "$sums") is not a checksum line." ;;
  esac
  [ ${#line} -eq 64 ] || fail "Line $1 of $(display "$sums") is not a checksum line."
  printf '%s' "$line" | tr 'A-F' 'a-f'
}

if [ $verify = yes ]; then
  k=0
  for piece do
    k=$((k + 1))
    want=$(expected $k) || exit 1
    got=$(digest_of "$piece") || fail "The piece $(display "$piece") cannot be read; nothing was built."
    [ "${got%% *}" = "$want" ] ||
      fail "The piece $(display "$piece") does not match its checksum in $(display "$sums"): it has changed since the split. Nothing was built."
  done
fi

if [ -e "$tmp" ] || [ -L "$tmp" ]; then
  fail "$(display "$tmp") is in the way; move it away and run this script again. Nothing was built."
fi
ours=yes
# With noclobber the file is made afresh or not at all: a file or link planted under its name
# in a folder others can write is never written through.
(set -C; exec cat -- "$@" > "$tmp") ||
  fail "The pieces could not be joined into $(display "$tmp") (a file of that name may have appeared meanwhile); nothing was built."

if [ $verify = yes ]; then
  want=$(expected $(($# + 1))) || exit 1
  got=$(digest_of "$tmp") || fail "The joined file cannot be read; nothing was built."
  [ "${got%% *}" = "$want" ] ||
    fail "The joined file does not match the checksum of $shown in $(display "$sums"); nothing was built."
fi

mv -- "$tmp" "$name" || fail "The joined file could not be renamed to $shown."
trap - HUP INT TERM
if [ $verify = yes ]; then
  printf '%s\n' "$shown has been rebuilt and matches its checksum."
else
  printf '%s\n' "$shown has been rebuilt."
fi
)SH";

}  // namespace

std::string JoinScriptFileName(const std::string& name) { return name + ".sh"; }

std::string JoinScriptText(const std::string& name, std::int64_t pieceCount) {
  std::string text = "#!/bin/sh\n";
  text += "# Carvex join script for Linux and macOS.\n";
  // No name goes into a comment: a line break in it would end the comment and run the rest.
  text += "# Run it with sh from any folder: it rebuilds the file beside its pieces.\n";
  text += "set -u\n";
  text += "name=" + ShellQuoted(name) + "\n";
  text += "shown=" + ShellQuoted(platform::EscapeControlCharacters(name)) + "\n";
  text += "sums=" + ShellQuoted(ChecksumFileName(name)) + "\n";
  text += "set --";
  for (std::int64_t k = 1; k <= pieceCount; ++k) text += " \\\n  " + ShellQuoted(PieceFileName(name, k));
  return text + "\n" + kBody;
}

void WriteJoinScriptFile(const std::string& folder, const std::string& name, std::int64_t pieceCount) {
  const std::string path = folder + JoinScriptFileName(name);
  platform::WriteWholeFile(path, JoinScriptText(name, pieceCount));
  platform::MakeExecutable(path);
}

}  // namespace carvex
