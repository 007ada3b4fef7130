#!/usr/bin/env bash
# Runs one Windows program under Wine in a session of its own: a prepared prefix
# (made once and shared), a private Xvfb display, and a wineserver that ends with it.
#
#   CZ_WINE_VARIANT=win7  Wine reports Windows 7 (a prefix of its own; otherwise Windows 10).
#   CZ_WINE_VARIANT=dpi144  the display runs at 144 DPI (a prefix of its own).
#   CZ_CLOCK_AT=HH:MM:SS  the whole session (wineserver included) sees its local time of
#                         day start at that moment, through a small preload shim.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${CZ_WINE_CACHE:-${TMPDIR:-/tmp}/czuwajnik-wine-$(id -u)}
mkdir -p "$cache"
variant=${CZ_WINE_VARIANT:-}
export WINEPREFIX=$cache/prefix${variant:+-$variant} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

if [ ! -f "$WINEPREFIX/.prepared" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.prepared" ]; then
      rm -rf "$WINEPREFIX"
      wine wineboot -i >/dev/null 2>&1 &&
        # Wine draws the window frames itself, as there is no window manager on Xvfb.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine' /v Version /d "$([ "$variant" = win7 ] && echo win7 || echo win10)" /f \
          >/dev/null 2>&1 &&
        if [ "$variant" = dpi144 ]; then
          wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
        fi &&
        wineserver -w && touch "$WINEPREFIX/.prepared"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ -n "${CZ_CLOCK_AT:-}" ]; then
  shim=$cache/shim
  if [ ! -f "$shim/lib/i386-linux-gnu/libclockshift.so" ]; then
    mkdir -p "$shim/lib/x86_64-linux-gnu" "$shim/lib/i386-linux-gnu"
    cc -shared -fPIC -O2 -o "$shim/lib/x86_64-linux-gnu/libclockshift.so" "$here/clockshift.c" -ldl
    cc -m32 -shared -fPIC -O2 -o "$shim/lib/i386-linux-gnu/libclockshift.so" "$here/clockshift.c" -ldl
  fi
  IFS=: read -r h m s <<<"$CZ_CLOCK_AT"
  now=$(date +%s)
  midnight=$(date -d "$(date +%F)" +%s)
  export CLOCKSHIFT_SECONDS=$(( midnight + 10#$h * 3600 + 10#$m * 60 + 10#$s - now ))
  export LD_PRELOAD="$shim/\$LIB/libclockshift.so"
fi

# A free display number, then Xvfb on it.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"

cleanup() {
  wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT

wine "$@"
