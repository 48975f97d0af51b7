#!/usr/bin/env bash
# no-window.sh BASE_PREFIX ROTASYNC_EXE
# With no usable graphics driver the dialog cannot be created: rotasync must
# end on its own (and free its mutex) instead of idling in a message loop.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/wine-env.sh"
base=$1 exe=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/bindora-wine.XXXXXX")
export WINEPREFIX=$work/prefix
cleanup() {
  wine_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 124' INT TERM

cp -a "$base" "$WINEPREFIX"
wine_start
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d none /f \
  </dev/null >/dev/null 2>&1
# The driver is chosen when the server's desktop starts.
wine_stop
wine_start

start=$(date +%s)
DISPLAY= timeout -k 5 30 "$WINE" "$exe" </dev/null >/dev/null 2>&1
rc=$?
elapsed=$(($(date +%s) - start))
echo "rotasync exit code $rc after ${elapsed}s"
[ "$rc" -eq 0 ] && [ "$elapsed" -lt 15 ]
