#!/usr/bin/env bash
# screenshot.sh [OUT.png]: the "-d" dialog after ENUM, taken under Xvfb in a
# Wine virtual desktop. Expects a built win64 tree (setup_demo, setup).
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$(pwd)
out=${1:-$root/docs/setup-diagnostic.png}
. tests/wine/wine-env.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/bindora-shot.XXXXXX")
export WINEPREFIX=$work/prefix
display=:$((90 + RANDOM % 100))
xvfb=""
cleanup() {
  wine_stop
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

bash tests/wine/make-prefix.sh "$WINEPREFIX" build/win64/tests/explorer_recorder.exe >/dev/null
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1

# A real display this time, inside one virtual desktop (no window manager).
"$WINESERVER" -p </dev/null >/dev/null 2>&1
reg_add() { timeout 60 "$WINE" reg add "$1" /v "$2" /d "$3" /f </dev/null >/dev/null 2>&1; }
reg_add 'HKCU\Software\Wine\Drivers' Graphics x11
reg_add 'HKCU\Software\Wine\Explorer' Desktop Default
reg_add 'HKCU\Software\Wine\Explorer\Desktops' Default 1024x768
wine_stop
wine_start

rm -f "$WINEPREFIX/drive_c/rig/shot.ready" "$WINEPREFIX/drive_c/rig/shot.done"
timeout 120 "$WINE" build/win64/tests/setup_demo.exe shot </dev/null >/dev/null 2>&1 &
scene=$!
for _ in $(seq 600); do
  [ -e "$WINEPREFIX/drive_c/rig/shot.ready" ] && break
  sleep 0.1
done
[ -e "$WINEPREFIX/drive_c/rig/shot.ready" ] || { echo "screenshot: dialog never got ready" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
import -display "$display" -window root -crop 600x500+0+0 +repage "$out"
touch "$WINEPREFIX/drive_c/rig/shot.done"
wait "$scene" || true
echo "screenshot: $out"
