#!/usr/bin/env bash
# Runs one Windows program under Wine in a session of its own: a prepared prefix
# (made once and shared), a private Xvfb display, and a wineserver that ends with it.
#
#   CZ_WINE_VARIANT=win7    Wine reports Windows 7 (a prefix of its own; otherwise Windows 10).
#   CZ_WINE_VARIANT=dpi144  the display runs at 144 DPI (a prefix of its own).
#   CZ_CLOCK_AT=HH:MM:SS    the whole session (wineserver included) sees its local time of
#                           day start at that moment, through a small preload shim.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${CZ_WINE_CACHE:-${TMPDIR:-/tmp}/czuwajnik-wine-$(id -u)}
variant=${CZ_WINE_VARIANT:-}
export WINEPREFIX=$cache/prefix${variant:+-$variant} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$cache"

# Wine draws the window frames itself (Xvfb has no window manager) with its own fonts (this
# Wine looks for them in the prefix), and a program that crashes ends instead of waiting in
# a debugger.
reg() { wine reg "$@" /f >/dev/null 2>&1; }
(
  flock 9
  [ -f "$WINEPREFIX/.ready" ] && exit
  rm -rf "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 && cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" &&
    reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N &&
    reg add 'HKCU\Software\Wine' /v Version /d "$([ "$variant" = win7 ] && echo win7 || echo win10)" &&
    reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 &&
    { [ "$variant" != dpi144 ] || reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144; } &&
    wineserver -w && touch "$WINEPREFIX/.ready"
) 9>"$WINEPREFIX.lock"

if [ -n "${CZ_CLOCK_AT:-}" ]; then
  shim=$cache/shim
  for arch in x86_64:-m64 i386:-m32; do
    lib=$shim/lib/${arch%:*}-linux-gnu/libclockshift.so
    [ "$lib" -nt "$here/clockshift.c" ] || { mkdir -p "${lib%/*}" && cc "${arch#*:}" -shared -fPIC -O2 -o "$lib" "$here/clockshift.c" -ldl; }
  done
  IFS=: read -r h m s <<<"$CZ_CLOCK_AT"
  export CLOCKSHIFT_SECONDS=$(( $(date -d "$(date +%F)" +%s) + 10#$h * 3600 + 10#$m * 60 + 10#$s - $(date +%s) ))
  export LD_PRELOAD="$shim/\$LIB/libclockshift.so"
fi

# A free display number, then Xvfb on it.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k >/dev/null 2>&1; kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"

wine "$@"
