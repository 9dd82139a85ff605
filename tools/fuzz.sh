#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets long, one after another, each from its seed
# corpus into a working corpus in the build tree, with the dictionary from the program's
# headers. Prints the executions each target reached and the coverage it ended with; exits
# non-zero when one crashed (the input is then in build/fuzz/long/<target>/artifacts).
#   tools/fuzz.sh MINUTES [TARGET...]     targets: receive changevar dispatch (default: all)
#   tools/fuzz.sh --runs N [TARGET...]    each target until it has executed N inputs, however
#                                         busy the machine (no time limit)
set -uo pipefail
cd "$(dirname "$0")/.."

usage="usage: tools/fuzz.sh MINUTES|--runs N [TARGET...]"
if [ "${1:-}" = --runs ]; then
  [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "$usage"; exit 2; }
  limit=(-runs="$2")
  shift 2
else
  [[ "${1:-}" =~ ^[0-9]+$ ]] || { echo "$usage"; exit 2; }
  limit=(-max_total_time=$(($1 * 60)))
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(receive changevar dispatch)

nice tools/setup.sh fuzz || exit 1
bin=build/fuzz/tests/fuzz
failed=0
summary=()
for t in "${targets[@]}"; do
  work=build/fuzz/long/$t
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "fuzz: $t (${limit[*]})"
  start=$SECONDS
  nice "$bin/${t}_fuzz" "$work/corpus" "tests/fuzz/corpus_$t" \
    -dict=build/fuzz/tools/fuzz/kiv.dict "${limit[@]}" -close_fd_mask=1 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$work/log" 2>&1
  rc=$?
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$work/log")
  rate=$(grep -oE 'exec/s: [0-9]+' "$work/log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[KMG]?b' "$work/log" | tail -n 1)
  summary+=("$(printf '%-10s %12s executions in %5d s  (%s; %s)  %s' "$t" "${runs:-?}" \
               $((SECONDS - start)) "${rate:-?}" "${cov:-no coverage line}" \
               "$([ $rc -eq 0 ] && echo ok || echo "CRASH, see $work")")")
  [ $rc -eq 0 ] || failed=1
done
printf '%s\n' "${summary[@]}"
exit $failed
