# Shared by the rig's scripts: where Wine lives and how to start and stop a
# prefix's server without letting it hold anyone's output open.
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts in throwaway prefixes.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A prefix that runs i686 programs names its 32-bit DLLs in this file.
wine_dlls_marker=wow64-dlls

# Every command on a wow64 prefix, its server included, needs WINEDLLPATH.
wine_use_dlls_of() {
  if [ -f "$1/$wine_dlls_marker" ]; then
    WINEDLLPATH=$(cat "$1/$wine_dlls_marker")
    export WINEDLLPATH
  fi
}

# Starts the server of $WINEPREFIX detached from our stdio, then one throwaway
# program so the prefix's services start detached too.
wine_start() {
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  timeout 60 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Ends the prefix's server and everything it runs (wineserver -k), then waits
# for it to go.
wine_stop() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  timeout 20 "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
}

# Makes $WINEPREFIX a throwaway copy of the base prefix $1 with its own
# server; the copy and the server go when the calling script exits.
wine_throwaway_prefix() {
  wine_work=$(mktemp -d "${TMPDIR:-/tmp}/bindora-wine.XXXXXX")
  export WINEPREFIX=$wine_work/prefix
  trap 'wine_stop; rm -rf "$wine_work"' EXIT
  trap 'exit 124' INT TERM
  wine_use_dlls_of "$1"
  cp -a "$1" "$WINEPREFIX"
  wine_start
}
