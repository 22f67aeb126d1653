#!/usr/bin/env bash
# The fault sweep (docs/reliability.md): every scenario of the corpus and the demo, re-run once
# per MAPI call site with each failure code and once per sampled MAPI buffer allocation with it
# failing, under the dev build (AddressSanitizer, UndefinedBehaviorSanitizer). The faults are
# shared out over one sweep process per core. Fails when any run broke a rule or a process died;
# prints the counts and the time taken.
#
# usage: scripts/sweep.sh [DRIVER OPTIONS] [SCENARIO...]   (default: the corpus and the demo;
#        --all sweeps every call and allocation, a run of about an hour)
# SWEEP_PRESET=coverage runs it on the coverage build instead (scripts/coverage.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${SWEEP_PRESET:-dev}
cmake --preset "$preset" -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target tav-fault-sweep TavMgrExchangeAdaptor

options=() scenarios=()
for arg in "$@"; do
  case "$arg" in -*) options+=("$arg") ;; *) scenarios+=("$arg") ;; esac
done
[ ${#scenarios[@]} -gt 0 ] || scenarios=(tests/scenarios/*.scenario.json examples/demo.scenario.json)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
jobs=$(nproc)
out=build/$preset/sweep
mkdir -p "$out"
rm -f "$out"/shard*
start=$(date +%s)
pids=()
for ((shard = 0; shard < jobs; ++shard)); do
  build/$preset/tests/sweep/tav-fault-sweep --library build/$preset/src/libTavMgrExchangeAdaptor.so \
    --quiet --shard "$shard/$jobs" --sites "$out/shard$shard.sites" "${options[@]}" \
    "${scenarios[@]}" >"$out/shard$shard.txt" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
cat "$out"/shard*.txt
# The shares' figures together (the call sites of the shares overlap).
sites=$(cat "$out"/shard*.sites 2>/dev/null | sort -u | wc -l)
awk -v sites="$sites" '/^fault sweep:/ {
    for (i = 1; i <= NF; ++i) {
      if ($(i + 1) == "faulted") calls += $i
      if ($(i + 1) == "failed" && $(i + 2) == "allocations,") allocations += $i
      if ($(i + 1) == "runs,") runs += $i
      if ($(i + 1) == "runs" && $(i + 2) == "broke") broken += $i
    }
  }
  END { printf "fault sweep, all shares: %d call sites, %d faulted calls, %d failed allocations, %d runs, %d broke a rule\n", sites, calls, allocations, runs, broken }' "$out"/shard*.txt
echo "fault sweep: $(( $(date +%s) - start )) s with $jobs processes"
exit "$status"
