# Sourced by the Wine scripts: wine_prefix DIR DRIVER makes (once) and selects a Wine prefix with
# the given graphics driver (null: no display at all; x11: the X server in $DISPLAY).
wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEARCH=win32
  # Wine takes the user's language from the locale: English unless a run asks for another.
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  # No Mono or Gecko installer prompts when the prefix is made.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.tav-$2-2" ]; then
    rm -rf "$WINEPREFIX"
    timeout -k 10 300 wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$2" /f >/dev/null 2>&1
    # Without a window manager (Xvfb) Wine draws the title bars and frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.tav-$2-2"
  fi
}
