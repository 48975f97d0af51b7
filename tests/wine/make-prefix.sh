#!/usr/bin/env bash
# make-prefix.sh PREFIX RECORDER_EXE
# Builds the base prefix every Wine test copies: fresh, headless (null
# graphics driver), with the file browser replaced by the rig's recorder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=$1 recorder=$2

export WINEPREFIX=$prefix
# A server left over from an interrupted run would serve the new prefix.
[ -d "$prefix" ] && wine_stop
rm -rf "$prefix"
mkdir -p "$prefix"
trap wine_stop EXIT
"$WINESERVER" -p </dev/null >/dev/null 2>&1
timeout 240 "$WINE" wineboot -i </dev/null >/dev/null 2>&1
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
  </dev/null >/dev/null 2>&1
wine_stop
trap - EXIT
cp "$recorder" "$prefix/drive_c/windows/explorer.exe"
mkdir -p "$prefix/drive_c/rig"
echo "base prefix ready: $prefix"
