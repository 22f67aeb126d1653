#!/usr/bin/env bash
# Checks that the DLL imports from MAPI32.DLL only names MAPI32 exports (src/mapi/win32/mapi32.def),
# so no call fails at load time on a name the system's MAPI32 lacks.
set -euo pipefail
dll=${1:?usage: check-mapi-imports.sh TavMgrExchangeAdaptor.dll}
def=$(dirname "$0")/../src/mapi/win32/mapi32.def
exported=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | awk 'NF && $1 !~ /^;/ {print $1}')
dump=$(i686-w64-mingw32-objdump -p "$dll")
imported=$(awk '/DLL Name: MAPI32.DLL/ {on=1; getline; next} on && /^[[:space:]]*$/ {on=0} on {print $NF}' <<<"$dump")
[ -n "$imported" ] || { echo "check-mapi-imports: $dll imports nothing from MAPI32.DLL" >&2; exit 1; }
status=0
for name in $imported; do
  grep -qxF "$name" <<<"$exported" || { echo "check-mapi-imports: MAPI32.DLL does not export $name" >&2; status=1; }
done
[ $status -eq 0 ] && echo "check-mapi-imports: $(wc -w <<<"$imported") MAPI32 imports, all under names MAPI32 exports"
exit $status
