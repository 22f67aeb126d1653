#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang++, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each from its corpus in fuzz/corpus/<target>/ for a while.
#
#   scripts/fuzz.sh                 every target, FUZZ_SECONDS (default 45) each
#   scripts/fuzz.sh TARGET...       those only (wide_format, wide_string_list, proxy_resolution,
#                                   stored_time, marker_names, scenario_loader)
#   FUZZ_SECONDS=3600 FUZZ_JOBS=2 FUZZ_SEED=0 scripts/fuzz.sh scenario_loader
#                                   a long run, two processes, a random seed
#
# The short run starts from seed 1 (FUZZ_SEED), so that it takes the same way each time and a
# finding in it can be repeated; the long run should take a random one (0).
#
# New inputs found go to build/fuzz/corpus/<target>/ (the tree's corpus is only read); a crash,
# leak or violated property leaves its input in build/fuzz/findings/<target>/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(wide_format wide_string_list proxy_resolution stored_time marker_names scenario_loader)
seconds=${FUZZ_SECONDS:-45}
jobs=${FUZZ_JOBS:-1}
seed=${FUZZ_SEED:-1}

cmake --preset fuzz -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
parallel=()
[ "$jobs" -le 1 ] || parallel=(-jobs="$jobs" -workers="$jobs")
status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  mkdir -p "$work" "$findings"
  echo "== fuzz $target (${seconds}s)"
  log=build/fuzz/findings/$target.log
  if build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -seed="$seed" -max_len=4096 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 "${parallel[@]}" \
       -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    grep -h -E '^#[0-9]+.*DONE|stat::number_of_executed_units' "$log" | sed 's/^/  /' || true
  else
    status=1
    tail -n 40 "$log"
    echo "fuzz: $target failed; its input is in $findings/" >&2
  fi
done
exit $status
