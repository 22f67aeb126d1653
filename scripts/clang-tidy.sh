#!/usr/bin/env bash
# clang-tidy over the library (src/) and the simulator (sim/) with the checks of .clang-tidy,
# every warning an error. Uses the compile commands of the dev build (configured here if
# missing). The Win32-only sources are left out: the Linux compile commands do not build them.
#
# usage: scripts/clang-tidy.sh [FILE...]   (default: every .cpp of src/ and sim/)
set -euo pipefail
cd "$(dirname "$0")/.."

[ -f build/dev/compile_commands.json ] || cmake --preset dev >/dev/null
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files 'src/*.cpp' 'sim/*.cpp' | grep -v '/win32/')
fi
echo "clang-tidy: ${#files[@]} files"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/dev --quiet >"$out" 2>/dev/null ||
  status=$?
if grep -qE '(error|warning):' "$out" || [ "$status" -ne 0 ]; then
  cat "$out"
  echo "clang-tidy: findings above (exit $status); fix them or mark them NOLINT with a reason" >&2
  exit 1
fi
echo "clang-tidy: no findings"
