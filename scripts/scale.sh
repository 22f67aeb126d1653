#!/usr/bin/env bash
# The console at scale (docs/scale.md): the scenario on the generator's mailbox of 100,000
# folders on the release build, and, when the Windows build is there, the 10,000-folder one under
# Wine against its Linux transcript. The scenarios' own expectations (the results, the one change
# to the stored state, every marker unchanged, no leaks) decide; the time and the peak memory
# (/usr/bin/time) are printed for the record, not checked.
#
# usage: scripts/scale.sh [WINDOWS-BUILD-DIR]   (default build/mingw-i686)
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tavmgr-console TavMgrExchangeAdaptor

out=build/release/scale
mkdir -p "$out"
scenario=tests/scale/folder_redirection_100k_folders.scenario.json
echo "== scale: $scenario"
status=0
/usr/bin/time -v -o "$out/100k.time" build/release/tools/console/tavmgr-console \
  --library build/release/src/libTavMgrExchangeAdaptor.so "$scenario" >"$out/100k.txt" || status=$?
grep -E 'Elapsed|Maximum resident' "$out/100k.time" | sed 's/^\s*/scale: /'
if [ "$status" -ne 0 ]; then
  grep -E 'failed|Expectations' "$out/100k.txt" | head -20 || true
  echo "scale: the 100,000-folder scenario failed (exit $status); transcript in $out/100k.txt" >&2
  exit 1
fi
echo "scale: 100,000 folders: expectations met"

windows=${1:-build/mingw-i686}
source scripts/wine-prefix.sh
if [ -f "$windows/tools/console/tavmgr-console.exe" ] && ! host_runs_i386; then
  echo "scale: 10,000 folders under Wine: not run, this machine executes no 32-bit x86 program"
elif [ -f "$windows/tools/console/tavmgr-console.exe" ]; then
  start=$(date +%s)
  bash scripts/wine-scenarios.sh "$windows" tests/scale/folder_redirection_10k_folders.scenario.json
  echo "scale: 10,000 folders under Wine: $(( $(date +%s) - start )) s"
fi
