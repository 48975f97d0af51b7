#!/usr/bin/env bash
# no-window.sh BASE_PREFIX ROTASYNC_EXE
# With no usable graphics driver the dialog cannot be created: rotasync must
# end on its own (and free its mutex) instead of idling in a message loop.
# A failed start would end at once too, so a control run first shows that
# this rotasync starts here and keeps running while it has its window.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/wine-env.sh"
exe=$2
wine_enter_route "$0" "$@"
wine_throwaway_prefix "$1"

timeout -k 5 4 "$WINE" "$exe" </dev/null >/dev/null 2>&1
rc=$?
echo "control under the null driver: exit code $rc (124: still running after 4 s)"
[ "$rc" -eq 124 ] || exit 1

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
