#!/usr/bin/env bash
# Screenshots of the real "Choose Folders" dialog and of a warning box, rendered by Wine's X11
# driver under Xvfb while the Windows console emulator runs two scenarios of the corpus:
#   <build>/screenshots/choose-folders.png  the dialog for Alice Baker (folder_redirection)
#   <build>/screenshots/warning-box.png     the warning after a failed logon (lifecycle_first_run)
#   <build>/screenshots/choose-folders-de.png, -fr.png, -it.png, -es.png
#                                           the dialog from the translated templates
#                                           (tests/screenshots/, with that user locale)
#
#   scripts/wine-screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw-i686}" && pwd)
console=$build/tools/console/tavmgr-console.exe
shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots/raw"

source "$root/scripts/wine-prefix.sh"
wine_prefix "$build/wineprefix-x11" x11

shoot() {  # scenario, folder for its BMP files[, locale]
  mkdir -p "$2"
  # Wine must not be running without the X server (winepath would start it so): the folder's
  # Windows name is Z: and the Unix path.
  wineserver -k 2>/dev/null || true
  (cd "$(dirname "$1")" &&
     LANG=${3:-C.UTF-8} LC_ALL=${3:-C.UTF-8} TAV_CONSOLE_SCREENSHOTS="Z:${2//\//\\}" timeout -k 10 180 \
       xvfb-run -a -s "-screen 0 1280x1024x24" wine "$console" "$(basename "$1")") >/dev/null 2>&1 || true
}
shoot "$root/tests/scenarios/folder_redirection.scenario.json" "$shots/raw/folders"
shoot "$root/tests/scenarios/lifecycle_first_run.scenario.json" "$shots/raw/lifecycle"
shoot "$root/tests/screenshots/choose_folders.scenario.json" "$shots/raw/de" de_DE.UTF-8
shoot "$root/tests/screenshots/choose_folders.scenario.json" "$shots/raw/fr" fr_FR.UTF-8
shoot "$root/tests/screenshots/choose_folders.scenario.json" "$shots/raw/it" it_IT.UTF-8
shoot "$root/tests/screenshots/choose_folders.scenario.json" "$shots/raw/es" es_ES.UTF-8
wineserver -k 2>/dev/null || true

for pair in "folders/dialog-1.bmp choose-folders.png" "lifecycle/box-2.bmp warning-box.png" \
            "de/dialog-1.bmp choose-folders-de.png" "fr/dialog-1.bmp choose-folders-fr.png" \
            "it/dialog-1.bmp choose-folders-it.png" "es/dialog-1.bmp choose-folders-es.png"; do
  set -- $pair
  if [ ! -f "$shots/raw/$1" ]; then
    echo "wine-screenshots: no $1 was taken" >&2
    exit 1
  fi
  python3 "$root/scripts/bmp_to_png.py" "$shots/raw/$1" "$shots/$2"
  echo "wine-screenshots: $shots/$2"
done
