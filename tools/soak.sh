#!/usr/bin/env bash
# tools/soak.sh MINUTES: runs the Linux build for MINUTES minutes in a private network while,
# on a seeded random schedule (SOAK_SEED=N repeats its disruptions), the simulator stand-in
# quits and comes back, the hub emulator goes silent and comes back, bad datagrams arrive and
# library calls fail until the program relaunches itself (following the relaunched instances
# and starting a new chain when the chain limit ends one); the hub sends variable changes all
# the time. Prints descriptors, threads, memory, log size and counts at the start and the
# end. Fails on a crash, a leak (SOAK_RSS_BOUND_KIB, default 1024) or a lost variable change.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/linux

if [ "${1:-}" != --inside ]; then
  minutes=${1:?usage: tools/soak.sh MINUTES}
  seed=${SOAK_SEED:-$(( $(date +%s) % 32768 ))}
  tools/setup.sh --packages linux
  cmake --preset linux >/dev/null
  nice cmake --build build/linux -j2 --target kivfsx commgr SimConnect soak-reap >/dev/null
  work=$(mktemp -d /tmp/kivfsx-soak.XXXXXX)
  echo "soak: seed $seed (SOAK_SEED=$seed to repeat), $minutes min, files in $work"
  exec tools/private-net "$build/tools/soak/soak-reap" "$work/exits.txt" \
    bash "$0" --inside "$minutes" "$seed" "$work"
fi

set +e # inside, every check reports for itself
minutes=$2 seed=$3 work=$4
RANDOM=$seed
bound_kib=${SOAK_RSS_BOUND_KIB:-1024}
kiv=$build/kivfsx
cd "$work"
store=$work/winsxs/x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_10.0.61259.0_x-ww_soak
mkdir -p "$store"
cp "$build/tools/simulator/SimConnect.dll" "$store/"
export KIVFSX_WINSXS=$work/winsxs KIVSIM_JOURNAL=$work/journal.txt KIVSIM_CONTROL=$work/control.txt
export KIVSIM_FRAME_HZ=10
# A harmless scripted failure list: the stand-in journals it when it loads, one line per
# instance.
export KIVSIM_FAIL="Close 0"
: > control.txt
: > exits.txt
: > ledger.txt

failures=()
fail() { failures+=("$*"); echo "soak: FAIL: $*"; }
now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }
say() { printf 'soak: %4ds %s\n' $(( ($(now_ms) - start_ms) / 1000 )) "$*"; }
# Lines of file $1 that hold $2.
count() { grep -c -- "$2" "$1" 2>/dev/null || true; }
# A random whole number from $1 to $2, in PICKED. (Not printed: a command substitution is a
# subshell, and bash seeds RANDOM afresh in each, so the seed would not repeat a run.)
pick() { PICKED=$(($1 + RANDOM % ($2 - $1 + 1))); }

# ----- the programs -----
mkfifo hub.in
"$build/tools/commgr/commgr" --address 10.77.0.3 --record hub.txt --summary-ms 0 --quiet \
  --fields SimConnected < hub.in > hub-out.txt 2>&1 &
hub_pid=$!
exec 3> hub.in
hub_start_ms=$(now_ms)
hub() { echo "$*" >&3; }
control() { echo "$*" >> control.txt; }

# The first instance of a chain; it is left to the namespace's first process, which reaps
# every instance the same way.
start_chain() {
  (
    # Only the standard streams, as a relaunched instance has them.
    for fd in $(ls "/proc/$BASHPID/fd"); do [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done
    "$kiv" >> console.txt 2>&1 < /dev/null &
  )
  chains=$((chains + 1))
}

declare -A count_of=() base=() last=() stopped=() linkups_before=()
current=0 relaunches=0 planned=0 chains=0 exits_seen=0 seq=0

# Follows the newest instance and judges every exit the first process reaped.
follow() {
  local pid
  for pid in $(pgrep -x kivfsx || true); do
    # Read again while it runs: a new instance shows its parent's command line until exec.
    count_of[$pid]=$(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | awk '{print $3 + 0}')
    [ -n "${linkups_before[$pid]:-}" ] || linkups_before[$pid]=$(count console.txt '   Port: ')
    [ "$pid" -gt "$current" ] && current=$pid
  done
  local line code
  while IFS= read -r line; do
    exits_seen=$((exits_seen + 1))
    [[ $line == *comm=kivfsx* ]] || continue
    pid=${line#pid=}; pid=${pid%% *}
    code=${line##* }
    case "$code" in
      exit=0) relaunches=$((relaunches + 1)); say "instance $pid relaunched (count ${count_of[$pid]:-?})" ;;
      exit=100)
        if grep -q "already been reloaded" KivFSX.log; then
          say "instance $pid reached the chain limit; a new chain starts"
          start_chain
        else
          fail "instance $pid ended with exit code 100: $(tail -n 3 KivFSX.log | tr '\n' ' ')"
        fi ;;
      signal=15) [ -n "${stopped[$pid]:-}" ] || fail "instance $pid was killed: $line" ;;
      *) fail "instance $pid crashed or ended unexpectedly: $line" ;;
    esac
  done < <(tail -n +$((exits_seen + 1)) exits.txt)
}

alive() { [ "$current" -gt 0 ] && [ -d "/proc/$current" ]; }

# The current instance accepted the hub's address at least once since it was first seen (its
# monitor waits a tick before its first discovery, so that is always later): the blocks are
# its own, not the last ones of the instance it replaced, and it holds its client socket.
linked() { [ "$(count console.txt '   Port: ')" -gt "${linkups_before[$current]:-0}" ]; }

# Blocks arrived at the hub within the last half second.
blocks_flowing() {
  local t
  t=$(tail -c 3000 hub.txt | grep '^BLOCK ' | tail -n 1 | sed 's/.* t=//') || return 1
  [ -n "$t" ] && [ $(($(now_ms) - hub_start_ms - t)) -le 500 ]
}

# The current instance has loaded the stand-in, and the stand-in's latest connection has been
# set up (not a discarded one, not quit, not one of an earlier load).
session_ready() {
  grep -q SimConnect.dll "/proc/$current/maps" 2>/dev/null &&
  [ "$(tac journal.txt 2>/dev/null | awk '/^CALL AddClientEventToNotificationGroup /{print 1; exit}
      /^CALL Open .*-> 0$/ || /^DELIVER id=3 / || /^CONTROL fail Close 0 /{print 0; exit}')" = 1 ]
}

# "fd threads rss_kib anon_kib log_bytes" of the current instance; descriptors and threads
# at rest (the least of three looks: the log file is open only while an entry is written).
sample() {
  local fd=9999 th=9999 n i rss anon
  for i in 1 2 3; do
    n=$(ls "/proc/$current/fd" 2>/dev/null | wc -l); [ "$n" -lt "$fd" ] && fd=$n
    n=$(awk '/^Threads:/{print $2}' "/proc/$current/status" 2>/dev/null); [ "${n:-9999}" -lt "$th" ] && th=$n
    sleep 0.05
  done
  # What each descriptor is, kept for a look after a failed run.
  echo "$current $(now_ms) $(find "/proc/$current/fd" -mindepth 1 -printf '%f=%l ' 2>/dev/null)" >> samples.txt
  rss=$(awk '/^VmRSS:/{print $2}' "/proc/$current/status" 2>/dev/null)
  anon=$(awk '/^RssAnon:/{print $2}' "/proc/$current/status" 2>/dev/null)
  echo "$fd $th ${rss:-0} ${anon:-0} $(stat -c %s KivFSX.log 2>/dev/null || echo 0)"
}

# ----- variable changes -----
# FsxIndex and the simulator event that carries its value unchanged as data; 13 is unknown
# to the program and refused by it.
CHANGES=("117 AP_ALT_VAR_SET_ENGLISH" "118 AP_SPD_VAR_SET" "110 COM_STBY_RADIO_SET"
         "108 NAV1_STBY_SET" "184 AUTO_THROTTLE_ARM" "13 refused")
# The changes draw from a generator of their own: how many are sent depends on the clock, and
# the disruptions' draws from RANDOM must not.
phase=disrupted change_rng=$seed
draw() { change_rng=$(((change_rng * 1103515245 + 12345) % 2147483648)); DRAWN=$((change_rng >> 16)); }
send_change() {
  draw
  local row=${CHANGES[$((DRAWN % ${#CHANGES[@]}))]}
  seq=$((seq + 1))
  local value=$((100000 + seq))
  hub "set ${row% *}=$value"
  echo "$phase ${row#* } $value" >> ledger.txt
}

# One tick of about 200 ms: follow the instances, maybe send a change, keep the metrics.
next_change=0 next_sample=0
tick() {
  follow
  local now; now=$(now_ms)
  if [ "$now" -ge "$next_change" ] && [ "$now" -lt $((end_ms - 2000)) ]; then
    send_change; draw; next_change=$((now + 200 + DRAWN % 1001))
  fi
  if [ "$phase" = steady ] && [ "$now" -ge "$next_sample" ]; then
    local s; s=$(sample)
    [ -n "${base[$current]:-}" ] || base[$current]="$now $s"
    last[$current]="$now $s"
    next_sample=$((now + 5000))
  fi
  sleep 0.2
}

# Runs ticks until $1 ms from now (or the end).
ticks_for() { local until=$(($(now_ms) + $1)); while [ "$(now_ms)" -lt "$until" ] && [ "$(now_ms)" -lt "$end_ms" ]; do tick; done; }

# Back to steady once the newest instance is linked and its simulator session set up (at
# most 40 s; after that the soak fails: the program did not recover).
recover() {
  phase=disrupted
  local until=$(($(now_ms) + 40000))
  while [ "$(now_ms)" -lt "$until" ] && [ "$(now_ms)" -lt "$end_ms" ]; do
    tick
    if alive && linked && blocks_flowing && session_ready; then
      sleep 0.3; follow
      alive && phase=steady && return 0
    fi
  done
  [ "$(now_ms)" -ge "$end_ms" ] || fail "no recovery within 40 s after: $1"
}

# ----- disruptions -----
hdr() { printf '%08x' "$@" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/g'; }
# class type count version, then 0200 0e00 (source hub, destination this node)
head_of() { echo "$(hdr "$1" "$2" 0 "$3" 0 0 "$4")02000e00"; }
BAD=("$(head_of 3 9 0 503)"                       # unknown class
     "$(head_of 2 9 0 0)"                         # keep-alive with a wrong version
     "$(head_of 2 5 0 0)3130"                     # address with a wrong version
     "$(head_of 2 7 0 503)"                       # unknown network type
     "$(head_of 1 1 0 503)"                       # a block sent to the program
     "$(head_of 1 2 0 503)"                       # variable changes, count 0
     "$(head_of 1 2 1 503)$(hdr 5000 1)"          # an index outside the table
     "$(head_of 1 2 3 503)$(hdr 117 1)"           # a count past the end
     "deadbeef01")                                # shorter than a header

sim_quit() {
  pick 1000 8000; local away=$PICKED
  say "simulator quits for $((away / 1000)) s"; phase=disrupted
  control quit; ticks_for "$away"; control "running 1"; recover "simulator return"
}
hub_silent() {
  pick 2000 10000; local quiet=$PICKED
  say "hub silent for $((quiet / 1000)) s"; phase=disrupted
  hub pause; ticks_for "$quiet"; hub resume; recover "hub return"
}
bad_datagrams() {
  local n i; pick 1 4; n=$PICKED
  say "$n bad datagram(s)"
  for ((i = 0; i < n; i++)); do hub "raw ${BAD[$((RANDOM % ${#BAD[@]}))]}"; tick; done
}
# Library failures (or an oversized datagram) until the program relaunches itself.
RELAUNCHES=("fail TransmitClientEvent -1" "fail RequestDataOnSimObjectType -1"
            "fail CallDispatch 1" "oversized")
relaunch() {
  local how=${RELAUNCHES[$((RANDOM % ${#RELAUNCHES[@]}))]} before=$current
  say "relaunch by: $how"; phase=disrupted; planned=$((planned + 1))
  if [ "$how" = oversized ]; then hub "size 600"; else control "$how"; fi
  local until=$(($(now_ms) + 20000))
  while [ "$current" = "$before" ] && alive && [ "$(now_ms)" -lt "$until" ]; do
    tick
  done
  # Cancelled at once: a relaunched stand-in reads the control file from its start.
  [ "$how" = oversized ] || control "${how% *} 0"
  recover "relaunch by $how"
}

# ----- the run -----
start_ms=$(now_ms)
end_ms=$((start_ms + minutes * 60000))
cleanup() {
  local pid
  for pid in $(pgrep -x kivfsx || true); do stopped[$pid]=1; kill -TERM "$pid" 2>/dev/null || true; done
  kill -TERM "$hub_pid" 2>/dev/null || true
}
trap cleanup EXIT

start_chain
recover "start-up"
ticks_for 8000
start_sample=$(sample)
KINDS=(sim_quit hub_silent bad_datagrams relaunch)
round=()
guard=0
while [ $guard -lt 100000 ] && [ "$(now_ms)" -lt $((end_ms - 10000)) ]; do
  guard=$((guard + 1))
  # Every kind once per round, in a shuffled order.
  if [ ${#round[@]} -eq 0 ]; then
    round=("${KINDS[@]}")
    for ((i = ${#round[@]} - 1; i > 0; i--)); do
      j=$((RANDOM % (i + 1))); k=${round[$i]}; round[$i]=${round[$j]}; round[$j]=$k
    done
  fi
  ${round[0]}; round=("${round[@]:1}")
  pick 3000 12000; ticks_for "$PICKED"
done
ticks_for $((end_ms - $(now_ms)))
follow
end_sample=$(sample)
sleep 1.5 # the last changes reach the journal
cleanup
sleep 0.5
follow

# ----- the checks -----
# What an instance's first and last samples had open, each descriptor that differs.
fd_change() {
  local first last
  first=$(grep "^$1 " samples.txt | head -n 1 | cut -d' ' -f3- | tr ' ' '\n')
  last=$(grep "^$1 " samples.txt | tail -n 1 | cut -d' ' -f3- | tr ' ' '\n')
  echo "first only: $(comm -23 <(sort <<< "$first") <(sort <<< "$last") | tr '\n' ' ')" \
    "last only: $(comm -13 <(sort <<< "$first") <(sort <<< "$last") | tr '\n' ' ')"
}
judged=0 longest=0
for pid in "${!base[@]}"; do
  read -r t0 fd0 th0 rss0 anon0 _ <<< "${base[$pid]}"
  read -r t1 fd1 th1 rss1 anon1 _ <<< "${last[$pid]}"
  [ $((t1 - t0)) -gt "$longest" ] && longest=$((t1 - t0))
  [ $((t1 - t0)) -ge 15000 ] || continue
  judged=$((judged + 1))
  [ "$fd1" -le "$fd0" ] || fail "instance $pid: descriptors grew from $fd0 to $fd1 ($(fd_change "$pid"))"
  [ "$th1" -le "$th0" ] || fail "instance $pid: threads grew from $th0 to $th1"
  [ $((rss1 - rss0)) -le "$bound_kib" ] || fail "instance $pid: RSS grew by $((rss1 - rss0)) KiB"
  [ $((anon1 - anon0)) -le "$bound_kib" ] || fail "instance $pid: anonymous memory grew by $((anon1 - anon0)) KiB"
done

# Every change sent in steady state reached the simulator as its event and value; the
# failed transmissions are either injected or fall where the stand-in had no set-up session
# (a simulator that has just quit, or the first, discarded connection after its return).
read -r sent steady delivered lost refused window unexplained < <(awk '
  FNR == 1 { file++ }
  file == 1 { if ($1 == "CONTROL" && $2 == "fail" && $3 == "TransmitClientEvent") inject = ($4 != 0)
              if ($1 == "CALL" && $2 == "AddClientEventToNotificationGroup") ready = 1
              if (($1 == "CALL" && $2 == "Open" && $NF == 0) || ($1 == "DELIVER" && $2 == "id=3")) ready = 0
              if ($1 == "CALL" && $2 == "TransmitClientEvent") {
                split($5, s, "="); split($6, d, "=")
                if ($NF == 0) got[s[2] " " d[2]] = 1
                else if (!inject) { if (ready) unexplained++; else window++ } } }
  file == 2 { sent++
              if ($2 == "refused") { refused++; next }
              if (($2 " " $3) in got) delivered++
              if ($1 == "steady") { steady++; if (!(($2 " " $3) in got)) { lost++; print "lost: " $0 > "/dev/stderr" } } }
  END { print sent + 0, steady + 0, delivered + 0, lost + 0, refused + 0, window + 0, unexplained + 0 }
' journal.txt ledger.txt 2> lost.txt)
[ "$lost" = 0 ] || fail "$lost variable change(s) sent in steady state never reached the simulator: $(head -n 3 lost.txt | tr '\n' ';')"
[ "$unexplained" = 0 ] || fail "$unexplained failed transmission(s) outside injected failures and reconnection"

row() { printf '  %-34s %12s %12s\n' "$@"; }
read -r sfd sth srss sanon slog <<< "$start_sample"
read -r efd eth erss eanon elog <<< "$end_sample"
echo
echo "soak: seed $seed, $minutes min, $chains chain(s), $relaunches relaunch(es) ($planned planned)"
row "" start end
row "open descriptors" "$sfd" "$efd"
row "threads" "$sth" "$eth"
row "resident memory (KiB)" "$srss" "$erss"
row "anonymous memory (KiB)" "$sanon" "$eanon"
row "log size (bytes)" "$slog" "$elog"
row "relaunches" 0 "$relaunches"
row "link losses" 0 "$(count console.txt 'Connection with CommMgr lost')"
row "link-ups (hub address accepted)" 1 "$(count console.txt '   Port: ')"
row "simulator connections" 1 "$(count console.txt 'Connected to Simulator')"
row "simulator quits" 0 "$(count console.txt 'Quit received')"
row "discoveries heard / answered" "" "$(count hub.txt '^DISCOVERY ') / $(count hub.txt '^ADDRESS ')"
row "blocks received by the hub" "" "$(count hub.txt '^BLOCK ')"
row "var changes sent (steady)" "" "$sent ($steady)"
row "delivered / lost in steady" "" "$delivered / $lost"
row "refused by the program (index 13)" "" "$refused"
row "failed in a reconnection window" "" "$window"
echo "  instances followed: ${#count_of[@]}; leak check on $judged (sampled over 15 s or more; longest $((longest / 1000)) s)"
if [ ${#failures[@]} -gt 0 ]; then
  echo "soak: FAILED (${#failures[@]}): files kept in $work"
  exit 1
fi
echo "soak: passed"
rm -rf "$work"
