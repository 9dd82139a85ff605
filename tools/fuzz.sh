#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets long, one after another, each from its seed
# corpus into a working corpus in the build tree, with the dictionary from the program's
# headers. Prints the executions each target reached; exits non-zero when one crashed
# (the input is then in build/fuzz/long/<target>/artifacts).
#   tools/fuzz.sh MINUTES [TARGET...]     targets: receive changevar dispatch (default: all)
set -uo pipefail
cd "$(dirname "$0")/.."

minutes=${1:?usage: tools/fuzz.sh MINUTES [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(receive changevar dispatch)

nice tools/setup.sh fuzz || exit 1
bin=build/fuzz/tests/fuzz
failed=0
summary=()
for t in "${targets[@]}"; do
  work=build/fuzz/long/$t
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "fuzz: $t for $minutes min"
  nice "$bin/${t}_fuzz" "$work/corpus" "tests/fuzz/corpus_$t" \
    -dict=build/fuzz/tools/fuzz/kiv.dict -max_total_time=$((minutes * 60)) -close_fd_mask=1 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$work/log" 2>&1
  rc=$?
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$work/log")
  rate=$(grep -oE 'exec/s: [0-9]+' "$work/log" | tail -n 1)
  summary+=("$(printf '%-10s %12s executions  (%s)  %s' "$t" "${runs:-?}" "${rate:-?}" \
               "$([ $rc -eq 0 ] && echo ok || echo "CRASH, see $work")")")
  [ $rc -eq 0 ] || failed=1
done
printf '%s\n' "${summary[@]}"
exit $failed
