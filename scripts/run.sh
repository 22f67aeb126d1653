#!/usr/bin/env bash
# Sets everything up, builds the library and the console emulator, and runs the bundled demo
# scenario (examples/demo.scenario.json) on the bundled sample organisation, printing the
# transcript. Arguments go to tavmgr-console: a scenario file, --json, --library PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tavmgr-console >/dev/null
exec build/dev/tools/console/tavmgr-console "$@"
