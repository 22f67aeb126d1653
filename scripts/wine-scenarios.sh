#!/usr/bin/env bash
# Runs every scenario of the corpus (examples/ and tests/scenarios/) through the Windows console
# emulator under Wine, against the real TavMgrExchangeAdaptor.dll, and requires each transcript to
# equal the Linux one in the scenario's .expected.txt. The fields that differ by platform are
# masked on both sides first (docs/scenarios.md lists them):
#   - the window rectangle of the "Choose Folders" dialog: Windows lays the template out with the
#     real dialog font, the portable host with fixed metrics.
#
#   scripts/wine-scenarios.sh [build-dir] [scenario...]
# Wine runs with its null graphics driver, in a prefix of its own below the build directory, and
# with the user locale of the UI language the scenario's setup names (scripts/scenario_locale.py):
# Wine chooses the resource language from the locale, not from the thread's UI language.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw-i686}" && pwd)
shift || true
console=$build/tools/console/tavmgr-console.exe
[ -f "$console" ] || { echo "wine-scenarios: $console is not built" >&2; exit 1; }

source "$root/scripts/wine-prefix.sh"
wine_prefix "$build/wineprefix" null

mask() { sed -E 's/^( +caption ".*", window )\([-0-9]+,[-0-9]+\)-\([-0-9]+,[-0-9]+\)/\1(platform)/'; }

if [ $# -eq 0 ]; then
  set -- "$root"/examples/*.scenario.json "$root"/tests/scenarios/*.scenario.json
fi
out=$build/wine-transcripts
mkdir -p "$out"
failed=0
for scenario in "$@"; do
  name=$(basename "$scenario" .scenario.json)
  expected=${scenario%.scenario.json}.expected.txt
  status=0
  locale=$(python3 "$root/scripts/scenario_locale.py" "$scenario") || {
    echo "FAIL $name: no locale for its UI language"; failed=$((failed + 1)); continue; }
  # A dialog the script cannot close would hold the console: the run is bounded.
  (cd "$(dirname "$scenario")" &&
     LANG=$locale LC_ALL=$locale timeout -k 10 180 wine "$console" "$(basename "$scenario")") \
    >"$out/$name.txt" 2>"$out/$name.err" || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; then
    echo "FAIL $name: the console exited with $status"; sed 's/^/    /' "$out/$name.err" | head -20
    failed=$((failed + 1)); continue
  fi
  if diff <(mask <"$expected") <(mask <"$out/$name.txt") >"$out/$name.diff"; then
    echo "ok   $name"
  else
    echo "FAIL $name: the Windows transcript differs from the Linux one"; head -40 "$out/$name.diff"
    failed=$((failed + 1))
  fi
done
wineserver -k 2>/dev/null || true
if [ "$failed" -ne 0 ]; then
  echo "wine-scenarios: $failed of $# scenario(s) failed" >&2
  exit 1
fi
echo "wine-scenarios: all $# scenario(s) give the Linux transcript"
