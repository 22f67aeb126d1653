#!/usr/bin/env bash
# The benchmark programs of bench/ (docs/performance.md) on the release build.
#
# usage: scripts/bench.sh          builds them and runs each benchmark once at its smallest size,
#                                  to prove that they run (the CI step; no time is judged)
#        scripts/bench.sh --full   runs every size, writes build/release/bench/<program>.json and
#                                  the plot docs/performance.png from them
set -euo pipefail
cd "$(dirname "$0")/.."

programs=(bench_log bench_initialize bench_address_book bench_bulletin bench_redirect)
# The smallest size of each program's benchmarks.
declare -A smallest=(
  [bench_log]='/lines:100/'
  [bench_initialize]='/profiles:10$'
  [bench_address_book]='/picks:100$'
  [bench_bulletin]='/recipients:100$'
  [bench_redirect]='/folders:1000/'
)

echo "== benchmarks"
start=$(date +%s)
cmake --preset release >/dev/null
available=()
for program in "${programs[@]}"; do
  grep -q "^build $program:" build/release/build.ninja 2>/dev/null && available+=("$program")
done
cmake --build --preset release -j "$(nproc)" --target "${available[@]}"

out=build/release/bench
mkdir -p "$out"
for program in "${available[@]}"; do
  if [ "${1:-}" = --full ]; then
    args=()
  else
    args=(--benchmark_filter="${smallest[$program]}" --benchmark_min_time=0)
  fi
  "build/release/bench/$program" "${args[@]}" --benchmark_out="$out/$program.json" \
    --benchmark_out_format=json
  # A benchmark whose export failed is skipped with an error, which the program's exit code
  # does not show.
  if grep -q '"error_occurred": true' "$out/$program.json"; then
    echo "bench: $program: a benchmark failed" >&2
    exit 1
  fi
done
if [ "${1:-}" = --full ]; then
  # matplotlib comes from Debian's python3-matplotlib (scripts/setup.sh), for the system's python3.
  python=python3
  "$python" -c 'import matplotlib' 2>/dev/null || python=/usr/bin/python3
  "$python" scripts/bench_plot.py docs/performance.png "$out"/*.json
fi
echo "benchmarks: $(( $(date +%s) - start )) s"
