#!/usr/bin/env bash
# make-prefix.sh PREFIX RECORDER_EXE|-
# Builds the base prefix every Wine test of a host model copies: fresh,
# headless (null graphics driver), no crash dialog, with the file browser
# replaced by the rig's recorder. On the emulated routes (win32, wow64) it
# is a copy of the machine's base prefix of the route, which
# win32/prepare.sh boots once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=$1 recorder=$2

if [ -n "${BINDORA_ROUTE:-}" ] && [ -z "${BINDORA_WIN32_PREPARING:-}" ]; then
  if ! win32_stamped; then
    echo "make-prefix: the $BINDORA_ROUTE route is not prepared: sudo bash $here/win32/prepare.sh" >&2
    exit 1
  fi
  base=$win32_prefix
  [ "$BINDORA_ROUTE" = wow64 ] && base=$wow64_prefix
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  cp -a "$base" "$prefix"
else
  wine_enter_route "$0" "$@"
  export WINEPREFIX=$prefix
  # A server left over from an interrupted run would serve the new prefix.
  [ -d "$prefix" ] && wine_stop
  # Emptied, not removed: on the 32-bit route the folder is mounted as it is.
  mkdir -p "$prefix"
  find "$prefix" -mindepth 1 -delete
  trap wine_stop EXIT
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  timeout 240 "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  if [ "${BINDORA_ROUTE:-}" = wow64 ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "make-prefix: wineboot left syswow64 empty: the 32-bit loader did not run" >&2
    exit 1
  fi
  if [ ! -f "$prefix/drive_c/windows/system32/kernel32.dll" ]; then
    echo "make-prefix: wineboot made no prefix in $prefix" >&2
    exit 1
  fi
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >/dev/null 2>&1
  # A crash would otherwise open the debugger's dialog and hang until the limit.
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
  wine_stop
  trap - EXIT
fi
[ "$recorder" = - ] || cp "$recorder" "$prefix/drive_c/windows/explorer.exe"
mkdir -p "$prefix/drive_c/rig"
echo "base prefix ready: $prefix"
