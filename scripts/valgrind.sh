#!/usr/bin/env bash
# valgrind memcheck on the release build: the console demo (what scripts/run.sh runs) and a
# sample of the fault sweep (every 25th fault of three scenarios). Fails on any memcheck error or
# definite leak.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" \
  --target tavmgr-console tav-fault-sweep TavMgrExchangeAdaptor

memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=yes -q)
library=build/release/src/libTavMgrExchangeAdaptor.so
start=$(date +%s)

echo "== valgrind: console demo"
"${memcheck[@]}" build/release/tools/console/tavmgr-console --library "$library" \
  examples/demo.scenario.json >/dev/null

echo "== valgrind: fault sweep sample"
"${memcheck[@]}" build/release/tests/sweep/tav-fault-sweep --library "$library" --every 25 \
  examples/demo.scenario.json tests/scenarios/folder_redirection.scenario.json \
  tests/scenarios/bulletin.scenario.json

echo "valgrind: clean, $(( $(date +%s) - start )) s"
