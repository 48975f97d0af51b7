#!/usr/bin/env bash
# Called as wine or wineserver (the links beside it): runs that command of
# the 32-bit Windows route inside its i386 root, from the same folder, with
# Wine's and the tests' environment and nothing else of the host's. Runs
# inside the namespace that wine_enter_route made, where the project and the
# temp folder have their own paths inside the root.
set -euo pipefail
root=${BINDORA_WIN32_ROOT:?run through wine_enter_route}
pass=(HOME=/root PATH=/usr/bin:/bin WINEARCH=win32 WINESERVER=/usr/lib/wine/wineserver32)
while IFS= read -r -d '' variable; do
  case $variable in
  BINDORA_*=* | WINEPREFIX=* | WINEDEBUG=* | WINEDLLOVERRIDES=* | DISPLAY=* | LANG=* | LC_*=*)
    pass+=("$variable")
    ;;
  esac
done < <(env -0)
wd=/
[ -d "$root$PWD" ] && wd=$PWD
# The loader and the server themselves: no emulated shell script between.
case ${0##*/} in
wine) command=/usr/lib/wine/wine ;;
*) command=/usr/lib/wine/wineserver32 ;;
esac
exec env -i "${pass[@]}" unshare --root="$root" --wd="$wd" "$command" "$@"
