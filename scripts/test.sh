#!/usr/bin/env bash
# Sets everything up and runs every test: the dev build (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) with all its test programs, and the cross build
# of the production DLL for i686 Windows with a check of its export table.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)

echo "== cross build: TavMgrExchangeAdaptor.dll for i686 Windows"
cmake --preset mingw-i686 -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset mingw-i686 -j "$jobs"
bash scripts/check-dll.sh build/mingw-i686/src/TavMgrExchangeAdaptor.dll
bash scripts/check-mapi-imports.sh build/mingw-i686/src/TavMgrExchangeAdaptor.dll

echo "== dev build (sanitizers)"
cmake --preset dev -DTAV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset dev -j "$jobs"

echo "== tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --preset dev -j "$jobs"
