#!/usr/bin/env bash
# run-in-prefix.sh BASE_PREFIX PROGRAM [ARGS...]
# Runs one Windows test program in a throwaway copy of the base prefix with
# its own server, under a time limit, on the host model BINDORA_ROUTE names;
# the server is stopped on every exit.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_enter_route "$0" "$@"
wine_throwaway_prefix "$1"
shift
# Wine writes its log, its loader trace included, to the Unix stderr of the
# program and of everything it starts: kept where the program can read it
# (C:\rig\wine-stderr.log), then shown without the trace.
log=$WINEPREFIX/drive_c/rig/wine-stderr.log
timeout -k 5 "${BINDORA_WINE_TIMEOUT:-150}" "$WINE" "$@" </dev/null 2>"$log"
status=$?
grep -v ':trace:' "$log" >&2
exit $status
