#!/usr/bin/env bash
# Checks the cross-built DLL: a PE32 i386 DLL whose export table holds the library's exports
# under their plain names, which needs no toolchain runtime DLL, and which carries the library's
# resources (string table and dialog 200 in five languages, bitmap 201, version information).
set -euo pipefail
dll=${1:?usage: check-dll.sh TavMgrExchangeAdaptor.dll}
def=$(dirname "$0")/../src/res/TavMgrExchangeAdaptor.def
dump=$(i686-w64-mingw32-objdump -p "$dll")

grep -q 'file format pei-i386' <<<"$dump" || { echo "check-dll: $dll is not a PE32 i386 image" >&2; exit 1; }
grep -qi 'DLL' <<<"$(grep -A12 '^Characteristics' <<<"$dump")" || { echo "check-dll: $dll is not a DLL" >&2; exit 1; }

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*$/ {exit} on {print $NF}' <<<"$dump")
status=0
for name in $(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | awk '{print $1}'); do
  grep -qx "$name" <<<"$exports" || { echo "check-dll: export $name missing" >&2; status=1; }
done
extra=$(grep -vxF -f <(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | awk '{print $1}') <<<"$exports" || true)
[ -z "$extra" ] || { echo "check-dll: unexpected exports: $extra" >&2; status=1; }

imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print tolower($3)}' | sort -u)
for dllname in $imports; do
  case "$dllname" in
    libgcc*|libstdc++*|libwinpthread*) echo "check-dll: depends on toolchain runtime $dllname" >&2; status=1 ;;
  esac
done
version=$(sed -n 's/^project(TavMgrExchangeAdaptor VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
python3 "$(dirname "$0")/check_resources.py" "$dll" "$version" || status=1
# The resource scripts' own tests, the checker's included against this DLL.
tests=$(TAV_DLL="$dll" TAV_VERSION="$version" python3 "$(dirname "$0")/test_resources.py" 2>&1) ||
  { echo "$tests" >&2; echo "check-dll: scripts/test_resources.py failed" >&2; status=1; }
[ $status -eq 0 ] && echo "check-dll: $(basename "$dll") is a PE32 i386 DLL exporting $(wc -w <<<"$exports") functions; imports: $(tr '\n' ' ' <<<"$imports")"
exit $status
