#!/usr/bin/env bash
# Runs every test: installs the missing packages (tools/setup.sh), then builds each preset and
# runs its tests: the Windows x86_64 tests under Wine, the i686 release's checks and its tests
# under 32-bit Wine, the Linux tests (unit and end-to-end, the latter inside private network
# namespaces, with the Wine road of both Windows builds), the Linux i686 build's unit tests
# (the release's x87 arithmetic, natively or under qemu-i386, on every machine), the sanitizer
# builds' unit tests and a bounded fuzzing run. Where this machine cannot run 32-bit Windows
# programs the i686 tests under Wine are skipped, and the summary says why. Prints how long
# each phase took and ends with one summary line and a non-zero exit on any failure.
#   KIV_FUZZ_SECONDS (default 20 here) sets the length of each fuzz target's run.
set -uo pipefail
cd "$(dirname "$0")/.."

export KIV_FUZZ_SECONDS="${KIV_FUZZ_SECONDS:-20}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"

phases=()
passed=0
failed=0
skipped=0

# note LABEL START: notes the duration of a phase that began at START (in $SECONDS).
note() {
  phases+=("$(printf '%-24s %4d s' "$1" $((SECONDS - $2)))")
}

# build PRESET: configures and builds what the preset's tests need; a failure counts as one.
# While tests run in the background the build yields the processors to them (nice).
build() {
  local start=$SECONDS rc=0 targets=""
  # Where no 32-bit program runs, the i686 unit tests could not run either: only the release
  # files are built (their checks run, and the x86_64 build's Wine tests take the stand-in);
  # the summary says why the i686 tests were skipped.
  if [ "$1" = win32 ] && ! cmake/wine-run.sh --can-run-32 >/dev/null 2>&1; then
    targets="kivfsx SimConnect"
  fi
  KIV_BUILD_TARGETS=$targets nice -n "$([ -n "$testing" ] && echo 10 || echo 0)" \
    tools/setup.sh "$1" || rc=$?
  note "build $1" $start
  if [ $rc -ne 0 ]; then
    echo "test-all: building $1 failed"
    failed=$((failed + 1))
  fi
  return $rc
}

# One preset's tests run in the background while the next preset builds: the end-to-end and
# fuzzing runs mostly wait or use one processor.
testing=""   # the preset whose tests run now
tests_pid=0
tests_start=0
tests_log=$(mktemp)

# start_tests PRESET: starts the preset's tests in the background, in a session of their own
# so that they can be stopped as a whole.
start_tests() {
  local leave=()
  testing=$1
  tests_start=$SECONDS
  if [ "$1" = win32 ] && [ ! -f build/win32/tests/kivfsx_unit.exe ]; then
    leave=(-E '^unit$') # not built: no 32-bit program runs here (see build)
    skipped=$((skipped + 1))
  fi
  setsid ctest --preset "$1" "${leave[@]}" >"$tests_log" 2>&1 </dev/null &
  tests_pid=$!
}

# finish_tests: waits for the running tests, shows their output and adds their counts.
finish_tests() {
  local rc=0 line total bad skip waited=$SECONDS took
  [ -n "$testing" ] || return 0
  wait "$tests_pid" || rc=$?
  tests_pid=0
  took=$(sed -nE 's/^Total Test time \(real\) = +([0-9]+).*/\1/p' "$tests_log")
  phases+=("$(printf '%-24s %4d s (waited for %d s)' "tests $testing" \
              "${took:-$((SECONDS - tests_start))}" $((SECONDS - waited)))")
  echo "=== tests: $testing"
  cat "$tests_log"
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$tests_log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    skip=$(grep -c '\*\*\*Skipped' "$tests_log" || true)
    passed=$((passed + total - bad - skip))
    failed=$((failed + bad))
    skipped=$((skipped + skip))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  testing=""
}

# wine_server: makes the Wine prefix once and starts one persistent server for it, so each
# Wine start is cheap. The end-to-end tests copy the prefix: it is complete on disk first.
# The server's boot starts the prefix's services, which live as long as the server: they get
# no terminal or pipe of ours (CTest would wait for the pipe to close).
wine_server() {
  local start=$SECONDS rc=0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    cmake/wine-run.sh wineboot.exe -i >/dev/null 2>&1 </dev/null
    wineserver -w
  fi
  { [ -f "$WINEPREFIX/system.reg" ] && wineserver -p &&
    cmake/wine-run.sh wineboot.exe >/dev/null 2>&1 </dev/null; } || rc=1
  note "wine prefix and server" $start
  [ $rc -eq 0 ] || echo "test-all: no Wine prefix in $WINEPREFIX"
}

# Whatever happens, nothing is left running: background tests, the Wine server and its services.
cleanup() {
  [ "$tests_pid" = 0 ] || kill -- "-$tests_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -f "$tests_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start=$SECONDS
tools/setup.sh --packages || { echo "test-all: set-up failed"; exit 1; }
note "set-up (packages)" $start

# The Windows builds come first: the Linux end-to-end tests also run them under Wine.
for preset in win64 win32 linux linux-i686 linux-asan linux-tsan fuzz; do
  build "$preset"
  ok=$?
  finish_tests
  [ $ok -eq 0 ] || continue
  [ "$preset" != win64 ] || wine_server
  start_tests "$preset"
done
finish_tests
note "all" $start

echo "=== phases (tests run while the next preset builds; then the rest is waited for)"
printf '%s\n' "${phases[@]}"
# How the i686 arithmetic ran: the Linux i686 build's unit tests natively or under qemu-i386
# (tests linux-i686); the release under 32-bit Wine, its unit tests (tests win32) and its Wine
# road (among the Linux end-to-end tests), or skipped for this reason.
echo "i686 arithmetic, Linux build: $(cmake/i686-run.sh --how 2>&1)"
if why=$(cmake/wine-run.sh --can-run-32 2>&1); then
  echo "i686 arithmetic, Windows release: under 32-bit Wine"
else
  echo "i686 arithmetic, Windows release: SKIPPED under 32-bit Wine: ${why:-no reason given}"
fi
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
