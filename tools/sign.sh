#!/usr/bin/env bash
# Signs Windows programs, libraries, setup programs and app packages (.msix) in place:
# Authenticode with SHA-256 (a package's block map, written by tools/make_msix.py, uses the
# same hash, as Windows requires), by osslsigncode (2.6 or later for packages), with the
# PKCS#12 certificate and key in CARVEX_SIGN_PKCS12, whose password is the first line of
# CARVEX_SIGN_PASSWORD_FILE (never a command-line argument, which other users can read).
# CARVEX_SIGN_TIMESTAMP_URL, when set, names an RFC 3161 time-stamping server, so that a
# signature outlives its certificate.
# Usage: tools/sign.sh FILE...
set -euo pipefail
: "${CARVEX_SIGN_PKCS12:?names no certificate}"
: "${CARVEX_SIGN_PASSWORD_FILE:?names no password file}"
[ -r "$CARVEX_SIGN_PKCS12" ] || { echo "sign.sh: cannot read $CARVEX_SIGN_PKCS12" >&2; exit 1; }
[ -r "$CARVEX_SIGN_PASSWORD_FILE" ] || { echo "sign.sh: cannot read $CARVEX_SIGN_PASSWORD_FILE" >&2; exit 1; }
timestamp=()
[ -n "${CARVEX_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$CARVEX_SIGN_TIMESTAMP_URL")
for file in "$@"; do
  signed="$file.signed"
  osslsigncode sign -pkcs12 "$CARVEX_SIGN_PKCS12" -readpass "$CARVEX_SIGN_PASSWORD_FILE" -h sha256 \
    -n Carvex -i https://orvane.example/carvex "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null ||
    { rm -f "$signed"; echo "sign.sh: could not sign $file" >&2; exit 1; }
  # The signed copy keeps the file's mode, so a program stays executable.
  chmod --reference="$file" "$signed"
  mv -f "$signed" "$file"
done
