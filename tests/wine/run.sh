#!/usr/bin/env bash
# Runs one Windows program under Wine in a session of its own: a prepared prefix
# (made once and shared), a private Xvfb display, and a wineserver that ends with it.
#
#   CZ_WINE_VARIANT=win7    Wine reports Windows 7 (a prefix of its own; otherwise Windows 10).
#   CZ_WINE_VARIANT=dpi144  the display runs at 144 DPI (a prefix of its own).
#   CZ_WINE_VARIANT=power   a powrprof.dll that the program puts in the system folder is loaded
#                           in place of Wine's own (a prefix of its own).
#   CZ_CLOCK_AT=HH:MM:SS    the session's local time of day starts at that moment (a time
#                           zone that far ahead of UTC, to the second).
set -uo pipefail

cache=${CZ_WINE_CACHE:-${TMPDIR:-/tmp}/czuwajnik-wine-$(id -u)}
variant=${CZ_WINE_VARIANT:-}
export WINEPREFIX=$cache/prefix${variant:+-$variant} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
[ "$variant" != power ] || WINEDLLOVERRIDES+=";powrprof=n"
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
) 9>"$WINEPREFIX.lock" || { echo "run.sh: the Wine prefix $WINEPREFIX could not be prepared" >&2; exit 1; }

if [ -n "${CZ_CLOCK_AT:-}" ]; then
  IFS=: read -r h m s <<<"$CZ_CLOCK_AT"
  ahead=$(( (10#$h * 3600 + 10#$m * 60 + 10#$s - $(date -u +%s) % 86400 + 86400) % 86400 ))
  export TZ=$(printf 'CZW-%d:%02d:%02d' $((ahead / 3600)) $((ahead / 60 % 60)) $((ahead % 60)))
fi

# A display of its own; the session's wineserver ends with the program.
xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' \
  bash -c 'wine "$@"; status=$?; wineserver -k >/dev/null 2>&1; exit $status' wine "$@"
