#!/usr/bin/env bash
# Builds the 64-bit exe and starts it: under Wine on $DISPLAY, or, with no display, on a
# private Xvfb screen long enough to save a screenshot of its window.
#   scripts/run.sh [DPI]   the display's DPI under Wine (96 unless given)
set -euo pipefail
cd "$(dirname "$0")/.."
dpi=${1:-96}
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target czuwajnik
exe=$PWD/build/win64/czuwajnik.exe
echo "built $exe ($(stat -c %s "$exe") bytes)"

case "$(uname -s)" in
  MINGW*|MSYS*|CYGWIN*) exec "$exe" ;;
esac

# It keeps its settings beside itself, so it runs from a folder of its own.
run=$PWD/build/run
mkdir -p "$run"
cp "$exe" "$run/"
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix-$dpi} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine draws the window frames itself, its title bar buttons in Wine's own Marlett font:
# this Wine looks for its fonts in the prefix.
[ -d "$WINEPREFIX" ] || {
  wine wineboot -i >/dev/null 2>&1
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
}
cd "$run"
if [ -n "${DISPLAY:-}" ]; then
  exec wine czuwajnik.exe
fi

display=90
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null' EXIT
export DISPLAY=":$display"
wine czuwajnik.exe &
# The first start in a new prefix is slow; wait until the window is drawn.
shot=$run/screenshot-$dpi.png
rm -f "$shot"
for _ in $(seq 60); do
  sleep 1
  xwininfo -root -tree 2>/dev/null | grep -q '"Czuwajnik"' || continue
  sleep 1
  xwd -root | convert xwd:- -trim "$shot" 2>/dev/null && [ "$(identify -format %w "$shot")" -gt 100 ] && break
  rm -f "$shot"
done
[ -f "$shot" ] || { echo "the window did not show"; exit 1; }
echo "no display: the window ran on Xvfb; screenshot saved to $shot"
