#!/usr/bin/env bash
# The same as run.sh, with the Windows build under Wine: sets everything up, cross-builds the
# real TavMgrExchangeAdaptor.dll, the simulator's provider DLL and the Windows console, and runs
# a scenario (default: the demo) through tavmgr-console.exe, printing the transcript. Arguments
# go to the console: a scenario file, --json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh >/dev/null
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$(nproc)" >/dev/null
build=$root/build/mingw-i686
source scripts/wine-prefix.sh
wine_prefix "$build/wineprefix" null
args=()
scenario=$root/examples/demo.scenario.json
for arg in "$@"; do
  case $arg in
    -*) args+=("$arg") ;;
    *) scenario=$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg") ;;
  esac
done
cd "$(dirname "$scenario")"
exec timeout -k 10 300 wine "$build/tools/console/tavmgr-console.exe" "${args[@]}" "$(basename "$scenario")"
