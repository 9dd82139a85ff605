#!/usr/bin/env bash
# tools/fault-soak.sh MINUTES [SEED]: the fault soak (tools/soak/fault_soak.py) for MINUTES
# minutes: KivFSX with the simulator stand-in and the hub emulator playing a bad network (20 %
# loss, 5 % duplication, 10 % reordering, 1 % corruption, 0 to 20 ms delay, unless
# SOAK_FAULTS says otherwise) in a private network; prints its table (Markdown) and fails on
# what the datagrams that arrived do not explain, a crash or a leak.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: tools/fault-soak.sh MINUTES [SEED]}
seed=${2:-$(( $(date +%s) % 32768 ))}
build=$PWD/build/linux
tools/setup.sh --packages linux
cmake --preset linux >/dev/null
nice cmake --build build/linux -j2 --target kivfsx commgr SimConnect soak-reap >/dev/null
exits=$(mktemp /tmp/kivfsx-fault-exits.XXXXXX)
echo "fault soak: seed $seed, $minutes min"
KIV_BIN=$build/kivfsx KIV_COMMGR=$build/tools/commgr/commgr \
KIV_STANDIN=$build/tools/simulator/SimConnect.dll \
  tools/private-net "$build/tools/soak/soak-reap" "$exits" /usr/bin/python3 \
  tools/soak/fault_soak.py --exits "$exits" --seconds $((minutes * 60)) --seed "$seed" \
  --faults "${SOAK_FAULTS:-loss=20,dup=5,reorder=10,corrupt=1,delay=0-20}" \
  --pause-s "${SOAK_PAUSE_S:-8}" --markdown
