#!/usr/bin/env bash
# The main job end to end: KivFSX with the simulator stand-in and the hub emulator, inside a
# private network namespace. Shows the hub's live view of the blocks, applies a cockpit input
# (heading bug +10 degrees) and stops by itself after the given number of seconds (default 30).
# The hub's browser panel is served on this host's loopback while it runs: a relay (socat)
# joins 127.0.0.1:KIV_PANEL_PORT (default 8088) here to the panel inside the private network.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

tools/setup.sh linux

root=$PWD
build=$root/build/linux
work=$(mktemp -d /tmp/kivfsx-demo.XXXXXX)
store=$work/winsxs/x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_10.0.61259.0_x-ww_demo
mkdir -p "$store"
cp "$build/tools/simulator/SimConnect.dll" "$store/SimConnect.dll"

panel_port=${KIV_PANEL_PORT:-8088}
socat TCP-LISTEN:"$panel_port",bind=127.0.0.1,reuseaddr,fork UNIX-CONNECT:"$work/panel.sock" &
relay=$!
trap 'kill $relay 2>/dev/null' EXIT
echo "demo: working directory $work (log: KivFSX.log); running for $seconds s"
echo "demo: the panel: http://127.0.0.1:$panel_port/ (open it in a browser on this machine)"
tools/private-net bash -c '
  set -u
  work=$1 build=$2 seconds=$3
  cd "$work"
  export KIVFSX_WINSXS=$work/winsxs
  "$build/kivfsx" > kivfsx-console.txt 2>&1 < /dev/null &
  kiv=$!
  socat UNIX-LISTEN:panel.sock,fork TCP:127.0.0.1:8080 &
  relay=$!
  {
    sleep 6
    echo "demo: cockpit turns the heading bug knob: FsxIndex 100 = 2 (+10 degrees)" >&2
    echo "set 100=2"
    sleep $((seconds - 6))
    echo quit
  } | "$build/tools/commgr/commgr" --address 10.77.0.3 --summary-ms 2000 --duration-s "$seconds" \
      --panel 8080
  echo
  echo "----- kivfsx console -----"
  cat kivfsx-console.txt
  kill $kiv $relay 2>/dev/null
  wait 2>/dev/null
  echo "----- end of demo ($work) -----"
' demo "$work" "$build" "$seconds"
