#!/usr/bin/env bash
# Installs what the build and the tests need. Safe to run again: it only installs what is missing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for pkg in cmake ninja-build g++ libgtest-dev libgmock-dev nlohmann-json3-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 python3; do
  have_pkg "$pkg" || need+=("$pkg")
done

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# Wine (32-bit) for running the Windows build, Xvfb for its screenshots.
wine_need=()
for pkg in wine wine32:i386 xvfb xauth; do
  have_pkg "$pkg" || wine_need+=("$pkg")
done
if [ ${#wine_need[@]} -gt 0 ]; then
  echo "setup: installing ${wine_need[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${wine_need[@]}"
fi

have_cmd wine || { echo "setup: wine missing after install" >&2; exit 1; }
have_cmd i686-w64-mingw32-g++ || { echo "setup: i686-w64-mingw32-g++ missing after install" >&2; exit 1; }
echo "setup: ready"
