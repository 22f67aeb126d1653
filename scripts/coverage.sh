#!/usr/bin/env bash
# Line and branch coverage of the library (src/) by every GoogleTest program and every scenario
# of the corpus, and by the fault sweep: builds the coverage preset, runs its CTest suite, prints coverage per folder of
# src/ and writes the HTML report to build/coverage/report/index.html. The simulator, the console
# emulator and the tests are built instrumented too but not counted.
#
# usage: scripts/coverage.sh [MINIMUM]   fails when the line coverage of src/ is below MINIMUM %
set -euo pipefail
cd "$(dirname "$0")/.."
minimum=${1:-90}

cmake --preset coverage -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset coverage -j "$(nproc)"
# Counters from an earlier run would add to this one's.
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$(nproc)"
# The fault sweep reaches the failure paths of every MAPI call the corpus makes.
SWEEP_PRESET=coverage bash scripts/sweep.sh >build/coverage/sweep.log 2>&1 ||
  { tail -n 40 build/coverage/sweep.log; exit 1; }
tail -n 2 build/coverage/sweep.log

report=build/coverage/report
mkdir -p "$report"
gcovr --root . --object-directory build/coverage --filter 'src/' \
  --exclude-unreachable-branches --exclude-throw-branches \
  --json-summary "$report/summary.json" --html-details "$report/index.html" >/dev/null
python3 scripts/coverage_table.py "$report/summary.json" "$minimum"
echo "coverage: HTML report in $report/index.html"
