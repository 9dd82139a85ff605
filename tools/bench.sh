#!/usr/bin/env bash
# Measures the Linux build with the simulator stand-in (a record of each block every visual
# frame, 60 a second) and the hub emulator linked, inside a private network namespace, beside
# bare reference loops run at the same time, and prints one table.
#   tools/bench.sh [--seconds N] [--json FILE]     (steady-state interval, default 20 s)
# The whole run takes about N + 20 seconds and stops by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) args+=(--seconds "$2"); shift 2 ;;
    --json) args+=(--json "$(realpath -m "$2")"); shift 2 ;;
    *) echo "usage: tools/bench.sh [--seconds N] [--json FILE]" >&2; exit 2 ;;
  esac
done
tools/setup.sh linux > /dev/null
build=$PWD/build/linux
exec timeout 900 tools/private-net "$build/tools/bench/kivbench" --build "$build" "${args[@]}"
