#!/usr/bin/env bash
# Sets everything up, builds the library and loads it the way the console does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" >/dev/null
exec build/dev/tests/smoke/tav_smoke build/dev/src/libTavMgrExchangeAdaptor.so
