#!/usr/bin/env bash
# Sets everything up and runs every test: the cross build for i686 Windows (the production DLL
# with checks of its exports, imports and resources; the simulator's provider DLL and the Windows
# console), the whole scenario corpus through the Windows console under Wine compared with the
# Linux transcripts, the screenshots under Xvfb, then the dev build (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) with all its test programs, clang-tidy over src/
# and sim/, and the coverage build that runs the suite again and reports coverage of src/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)

echo "== cross build: TavMgrExchangeAdaptor.dll for i686 Windows"
cmake --preset mingw-i686 -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset mingw-i686 -j "$jobs"
bash scripts/check-dll.sh build/mingw-i686/src/TavMgrExchangeAdaptor.dll
bash scripts/check-mapi-imports.sh build/mingw-i686/src/TavMgrExchangeAdaptor.dll

echo "== scenarios under Wine"
source scripts/wine-prefix.sh
if host_runs_i386; then
  bash scripts/wine-scenarios.sh build/mingw-i686
  bash scripts/wine-screenshots.sh build/mingw-i686
else
  # Nothing 32-bit runs on such a machine; the checks of the DLL above are all it can do.
  echo "wine: NOT RUN: this machine's kernel executes no 32-bit x86 program (ENOEXEC), so Wine cannot run the i686 build here; the corpus under Wine and the screenshots are skipped"
fi

echo "== dev build (sanitizers)"
cmake --preset dev -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset dev -j "$jobs"

echo "== tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --preset dev -j "$jobs"

echo "== fault sweep"
bash scripts/sweep.sh

echo "== clang-tidy (src/, sim/)"
bash scripts/clang-tidy.sh

echo "== coverage of src/"
bash scripts/coverage.sh 90

echo "== fuzzing"
bash scripts/fuzz.sh  # each libFuzzer target for 45 s from fuzz/corpus/ (about 5 minutes)

echo "== valgrind"
bash scripts/valgrind.sh

echo "== benchmarks"
bash scripts/bench.sh  # the benchmarks of bench/ on the release build, each once at its smallest size

echo "== scale"
bash scripts/scale.sh  # 100,000 folders on the release build, 10,000 under Wine (about 2 minutes)
