#!/usr/bin/env bash
# Installs what is missing, builds the linux, win32, win64 and linux-asan presets, and runs
# every test: the Linux build natively, the x86_64 Windows build under wine64, the Linux build
# again under AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz harness for a while
# (CARVEX_FUZZ_SECONDS, 60 by default) followed by its corpus as a regression set. The i686
# build is the shipped one; these machines cannot run 32-bit code, so it is only compiled.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh || exit 1

# Every command the builds, the tests and tools/package.sh call, checked before anything is
# built: a missing one is named now rather than failing a test half an hour in.
required=(
  cmake ctest ninja c++ clang++ pkg-config
  x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-windres
  /usr/lib/wine/wine64 /usr/lib/wine/wineserver xvfb-run xauth
  zip unzip 7z python3 sha256sum cmp readelf strip gzip help2man
  makensis osslsigncode openssl
  dpkg-deb dpkg-shlibdeps lintian appstreamcli apt-get setpriv iconv dbus-run-session
  nautilus Xvfb xdotool xclip script desktop-file-validate xdg-mime gio
)
missing=()
for command in "${required[@]}"; do
  command -v "$command" >/dev/null || missing+=("$command")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Missing commands: ${missing[*]} (tools/setup.sh should have installed them)"
  exit 1
fi

# Wine maps file names through the Unix locale: non-ASCII names need a UTF-8 one.
export LC_ALL=C.UTF-8

for preset in linux win32 win64 linux-asan; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" || exit 1
done

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== test linux"
ctest --preset linux 2>&1 | tee -a "$log" || status=1

echo "== test win64 (wine64)"
export WINEPREFIX="$PWD/build/win64/wineprefix"
export WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The Wine session keeps the display of the process that started it, so Xvfb comes first;
# a persistent wineserver saves each test a second of start-up. The screen holds the largest
# form at 144 DPI in true colour, for the screenshots. With no window manager on that screen,
# Wine draws the windows' frames itself (and does not wait for a manager to close them).
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  /usr/lib/wine/wineserver -p
  timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
  # A Wine process now and then dies before the test program starts (no output at all); a
  # second run tells that apart from a failing test.
  ctest --preset win64 --repeat until-pass:2
  rc=$?
  /usr/lib/wine/wineserver -k
  exit $rc' 2>&1 | tee -a "$log" || status=1

echo "== test linux-asan"
ctest --preset linux-asan 2>&1 | tee -a "$log" || status=1

# Each harness counts as one test: it passes when neither the fuzzing nor the replay of its
# corpus finds anything. New inputs go to a scratch folder, never into the checked-in corpus;
# what a failure found is kept under build/linux-asan/fuzz-artifacts.
fuzz_seconds=${CARVEX_FUZZ_SECONDS:-60}
fuzz_passed=0 fuzz_failed=0
artifacts="$PWD/build/linux-asan/fuzz-artifacts"
mkdir -p "$artifacts"
for corpus in tests/fuzz/corpus/*/; do
  harness=$(basename "$corpus")
  program="build/linux-asan/bin/$harness"
  # The allocation limit is the one tests/fuzz/CMakeLists.txt gives the corpus replays.
  options=(-timeout=25 -malloc_limit_mb=64 -artifact_prefix="$artifacts/$harness-")
  [ -f "tests/fuzz/$harness.dict" ] && options+=(-dict="tests/fuzz/$harness.dict")
  # The harness's scratch files go below `work` too, so a run that crashes leaves nothing.
  work=$(mktemp -d)
  mkdir "$work/found" "$work/tmp"
  echo "== fuzz $harness (${fuzz_seconds} s)"
  ok=1
  TMPDIR="$work/tmp" "$program" "${options[@]}" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
    "$work/found" "$corpus" >"$work/log" 2>&1 || ok=0
  grep -E '^stat::number_of_executed_units|broken promise|ERROR' "$work/log"
  [ $ok -eq 1 ] || tail -n 60 "$work/log"
  TMPDIR="$work/tmp" "$program" "${options[@]}" -runs=0 "$corpus" >"$work/log" 2>&1 ||
    { ok=0; tail -n 60 "$work/log"; }
  rm -rf "$work"
  if [ $ok -eq 1 ]; then
    fuzz_passed=$((fuzz_passed + 1)) && echo "fuzz $harness: passed"
  else
    fuzz_failed=$((fuzz_failed + 1)) && echo "fuzz $harness: FAILED"
  fi
done

# The release files as users get them, made by tools/package.sh; each check counts as one test.
pkg_passed=0 pkg_failed=0
check() {
  local name=$1
  shift
  echo "== package: $name"
  if "$@"; then
    pkg_passed=$((pkg_passed + 1)) && echo "package $name: passed"
  else
    pkg_failed=$((pkg_failed + 1)) && echo "package $name: FAILED"
  fi
}
# What the x86 setup program holds: it cannot run here (no 32-bit code on these machines).
x86_setup_holds_the_programs() {
  local listing
  listing=$(7z l "dist/carvex-1.3.0.0-setup-x86.exe") || return 1
  echo "$listing" | tail -n 12
  for f in carvex.exe carvex-cli.exe verbhook.dll verbhook.exe verbhookw.exe ZipSFX.bin Contents.htm License.txt; do
    grep -q " $f\$" <<<"$listing" || { echo "missing: $f"; return 1; }
  done
}
# Without a certificate the release ships unsigned and says so; the test run then signs it with
# a throwaway certificate of its own and checks every signature against that certificate.
signing=$(mktemp -d)
trap 'rm -f "$log" "$log".*; rm -rf "$signing"' EXIT
# Its subject is the publisher the Windows 11 menu package names, which tools/package.sh checks.
make_test_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvane Software" \
    -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null &&
    echo "test password $RANDOM" >"$signing/password" &&
    openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -out "$signing/cert.p12" \
      -passout "file:$signing/password"
}
signatures_verify() {
  local file listing failed=0 count=0
  mkdir -p "$signing/portable" "$signing/setup"
  unzip -q -o "dist/carvex-1.3.0.0-portable-x64.zip" -d "$signing/portable" &&
    7z x -y -o"$signing/setup/x64" "dist/carvex-1.3.0.0-setup-x64.exe" >/dev/null &&
    7z x -y -o"$signing/setup/x86" "dist/carvex-1.3.0.0-setup-x86.exe" >/dev/null || return 1
  # The setup programs and what they hold, their uninstallers included, except the setup
  # system's own plugins.
  while IFS= read -r -d '' file; do
    count=$((count + 1))
    if ! osslsigncode verify -CAfile "$signing/cert.pem" -in "$file" >"$signing/verify.log" 2>&1; then
      echo "not signed by the test certificate: $file"
      tail -n 3 "$signing/verify.log"
      failed=1
    fi
  done < <(find dist "$signing/portable" "$signing/setup" -path '*PLUGINSDIR*' -prune -o \
    \( -name '*.exe' -o -name '*.dll' -o -name '*.bin' -o -name '*.msix' \) -type f -print0)
  # 2 setups and the menu package, 6 programs in the portable zip, 8 in the x64 setup with the
  # package it carries and the program that registers that in other accounts, 7 in the x86 one.
  echo "$count files checked"
  [ $count -eq 26 ] && [ $failed -eq 0 ]
}

echo "== package"
tools/package.sh >"$log.unsigned" 2>&1
package_status=$?
tail -n 2 "$log.unsigned"
check "says unsigned without a certificate" \
  bash -c '[ "$0" -eq 0 ] && tail -n 1 "$1" | grep -q "are unsigned"' "$package_status" "$log.unsigned"
if make_test_certificate &&
  CARVEX_SIGN_PKCS12="$signing/cert.p12" CARVEX_SIGN_PASSWORD_FILE="$signing/password" \
    tools/package.sh >"$log.package" 2>&1; then
  tail -n 8 "$log.package"
  check "signatures" signatures_verify
  check "Windows 11 menu package" python3 tests/packaging/msix_test.py dist/carvex-1.3.0.0-shell-x64.msix \
    "$signing/cert.pem" build/stage/x64
  check "setup x64 under wine64" env CARVEX_SIGNING_CERT="$signing/cert.pem" xvfb-run -a -s "-screen 0 1280x1024x24" \
    tests/packaging/setup_test.sh dist/carvex-1.3.0.0-setup-x64.exe build/stage/x64 build/stage/x86 \
    build/win64/bin/dll_holder.exe
  check "setup x86 contents" x86_setup_holds_the_programs
  check "deb" tests/packaging/deb_test.sh dist/carvex_1.3.0.0_amd64.deb dist/carvex-nautilus_1.3.0.0_amd64.deb
  check "SHA256SUMS" bash -c 'cd dist && sha256sum -c SHA256SUMS'
else
  tail -n 40 "$log.package"
  pkg_failed=$((pkg_failed + 1)) && echo "package tools/package.sh: FAILED"
fi

# One line for every run: ctest prints "N% tests passed, F tests failed out of T" per run,
# and each fuzz harness and package check adds one.
read -r passed failed < <(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1 \2/p' "$log" |
  awk -v fp="$((fuzz_passed + pkg_passed))" -v ff="$((fuzz_failed + pkg_failed))" \
    '{ fail += $1; total += $2 } END { print total - fail + fp, fail + ff }')
runs=$(grep -c 'tests failed out of' "$log")
[ "$runs" -eq 3 ] || status=1
[ "${failed:-1}" -eq 0 ] || status=1
echo "tests: ${passed:-0} passed, ${failed:-0} failed"
exit $status
