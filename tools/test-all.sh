#!/usr/bin/env bash
# Runs every test: sets the machine up and builds all targets first (tools/setup.sh), then
# the Linux tests (unit and end-to-end, the latter inside private network namespaces), the
# sanitizer builds' tests, the bounded fuzzing run, the Windows x86_64 tests under Wine and
# the checks of the i686 release build. Ends with one summary line and a non-zero exit on
# any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh || { echo "test-all: set-up or build failed"; exit 1; }

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-all: creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi

passed=0
failed=0
status=0
for preset in linux linux-asan linux-tsan fuzz win64 win32; do
  echo "=== tests: $preset"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  [ "$rc" -eq 0 ] || status=1
  rm -f "$log"
done
echo "total: $passed passed, $failed failed"
exit $status
