#!/usr/bin/env bash
# Installs what the build and the tests need. Safe to run again: it only installs what is missing.
set -euo pipefail

have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# install_missing [apt options...] -- packages...: installs those of the packages that are missing.
install_missing() {
  local options=() missing=()
  while [ "$1" != "--" ]; do options+=("$1"); shift; done
  shift
  for pkg in "$@"; do have_pkg "$pkg" || missing+=("$pkg"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing ${missing[*]}"
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  # wine32 is an i386 package.
  case " ${missing[*]} " in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 ||
               "${sudo_cmd[@]}" dpkg --add-architecture i386 ;;
  esac
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${options[@]}" "${missing[@]}"
}

install_missing --no-install-recommends -- cmake ninja-build g++ libgtest-dev libgmock-dev \
  nlohmann-json3-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 python3
# clang-tidy for the static checks, gcovr for the coverage report.
install_missing --no-install-recommends -- clang-tidy gcovr
# clang and its runtime libraries (libFuzzer, the sanitizers) for the fuzz targets (scripts/fuzz.sh).
install_missing --no-install-recommends -- clang libclang-rt-14-dev
# valgrind memcheck for scripts/valgrind.sh.
install_missing --no-install-recommends -- valgrind
# Google Benchmark for bench/, matplotlib for the plot of docs/performance.md (scripts/bench.sh).
install_missing --no-install-recommends -- libbenchmark-dev python3-matplotlib
# /usr/bin/time for the peak memory scripts/scale.sh prints.
install_missing --no-install-recommends -- time
# Wine (32-bit) for running the Windows build, Xvfb for its screenshots.
install_missing -- wine wine32:i386 xvfb xauth

# The user locales the Wine runs take the resource language from (German scenarios, the translated
# screenshots).
install_missing --no-install-recommends -- locales
for locale in de_DE fr_FR it_IT es_ES; do
  if ! locale -a 2>/dev/null | grep -qix "$locale.utf-\?8"; then
    echo "setup: generating the locale $locale.UTF-8"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done

have_cmd wine || { echo "setup: wine missing after install" >&2; exit 1; }
have_cmd i686-w64-mingw32-g++ || { echo "setup: i686-w64-mingw32-g++ missing after install" >&2; exit 1; }
echo "setup: ready"
