# Sourced by the Wine scripts: wine_prefix DIR DRIVER makes (once) and selects a Wine prefix with
# the given graphics driver (null: no display at all; x11: the X server in $DISPLAY).
wine_prefix() {
  if ! host_runs_i386; then
    echo "wine: this machine's kernel executes no 32-bit x86 program (ENOEXEC); Wine cannot run the i686 build here" >&2
    return 1
  fi
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

# Wine runs the 32-bit Windows build in 32-bit x86 processes. Some virtual machines run 64-bit
# user code only: there the kernel refuses every i386 program (execve fails with ENOEXEC, the
# shell's status 126), Wine included. True unless this machine is one of those.
host_runs_i386() {
  local status=0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || status=$?
  [ "$status" -ne 126 ]
}
