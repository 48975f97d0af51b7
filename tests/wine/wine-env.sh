# Shared by the rig's scripts: where Wine lives and how to start and stop a
# prefix's server without letting it hold anyone's output open, and the host
# models the scripts run programs under.
#
# BINDORA_ROUTE names the host model of a run:
#   unset  64-bit Windows: the x86_64 build under wine64 in a plain prefix;
#   wow64  a 32-bit process on 64-bit Windows: Wine's classic wow64, on
#          every host: wine64 and its server natively, 32-bit processes in
#          the 32-bit loader of the win32 route's root, under QEMU;
#   win32  32-bit Windows: the native 32-bit Wine of an i386 Debian root,
#          run under QEMU's user-mode emulator, on every host (win32/).
wine_env_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
export WINEDEBUG=${WINEDEBUG:--all}
# Wine names Unix files in the locale's character set: without UTF-8 a
# Windows name outside ASCII cannot be made, whatever the caller's locale.
export LC_ALL=C.UTF-8
# No Mono or Gecko install prompts in throwaway prefixes.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Where throwaway prefixes go.
wine_scratch=${TMPDIR:-/tmp}

# The 32-bit Windows route, prepared once per machine by win32/prepare.sh.
# Bump the recipe when what prepare.sh makes changes: a root made by another
# recipe is made anew.
win32_recipe="recipe 4: bookworm i386 wine wine32 8.0 unpacked, libc-bin for C.UTF-8; qemu-user >= 10 from bookworm-backports; wow64 base prefix and the root's wine64 link"
win32_cache=${BINDORA_WIN32_CACHE:-/var/cache/bindora/win32}
win32_root=$win32_cache/root
win32_qemu=$win32_cache/qemu/usr/bin/qemu-i386
win32_binfmt=bindora-i386
# The base prefixes every run copies, booted once by prepare.sh.
win32_prefix=$win32_cache/prefix
wow64_prefix=$win32_cache/wow64
# Private to each run's mount namespace, so nothing of it outlives the run.
win32_scratch=/run/bindora-wine
if [ "${BINDORA_ROUTE:-}" = win32 ]; then
  WINE=$wine_env_dir/win32/wine
  WINESERVER=$wine_env_dir/win32/wineserver
  export BINDORA_WIN32_ROOT=$win32_root
fi

# Windows form of a path on this machine (Wine's Z: drive is /).
winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }

# Prints the kernel probe's verdict; status 0 where wine64's in-process
# wow64 mode could run (the tests use the classic one everywhere).
wow64_probe() {
  local dir status
  dir=$(mktemp -d)
  if ! cc -O1 -o "$dir/probe" "$wine_env_dir/wow64-probe.c" 2>"$dir/log"; then
    echo "the probe does not build: $(head -1 "$dir/log")"
    rm -rf "$dir"
    return 2
  fi
  local verdict
  verdict=$("$dir/probe" 2>&1) && status=0 || status=$?
  rm -rf "$dir"
  echo "${verdict:-the probe ended with status $status and said nothing}"
  return "$status"
}

win32_stamped() { [ "$(cat "$win32_cache/stamp" 2>/dev/null)" = "$win32_recipe" ]; }

# Registers i386 programs with the route's emulator (machine-wide, until
# reboot). An entry of another emulator for the same programs would win
# if it were newer, so ours is made the newest whenever one is enabled.
win32_register_binfmt() {
  local dir=/proc/sys/fs/binfmt_misc
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  [ -e "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir" || return 1
  local entry=$dir/$win32_binfmt rival=no other
  for other in "$dir"/*; do
    [ "$other" = "$entry" ] && continue
    grep -qx 'magic 7f454c4601010100000000000000000002000300' "$other" 2>/dev/null &&
      grep -qx enabled "$other" && rival=yes
  done
  if [ -e "$entry" ]; then
    if [ $rival = no ] && grep -qx enabled "$entry" && grep -qx "interpreter $win32_qemu" "$entry"; then
      return 0
    fi
    echo -1 >"$entry" || return 1
  fi
  echo ":$win32_binfmt:M::$magic:$mask:$win32_qemu:F" >"$dir/register"
}

# wine_enter_route SCRIPT [ARGS...]: the first call of a script that runs
# Wine. For the emulated routes it runs the script again in a PID and mount
# namespace of its own with a private scratch file system: when the script
# ends, however it ends, its Wine processes are killed and its mounts and
# scratch vanish with the namespace. win32 then mounts the root's file
# systems, the project and the temp folder at their own paths inside the
# root; wow64 puts the classic loader beside wine64.
wine_enter_route() {
  case ${BINDORA_ROUTE:-} in
  win32 | wow64) ;;
  *) return 0 ;;
  esac
  if [ -z "${BINDORA_WIN32_NAMESPACE:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "the $BINDORA_ROUTE route runs Wine in a namespace of its own and needs root: sudo ./dev test" >&2
      exit 1
    fi
    if ! win32_stamped && [ -z "${BINDORA_WIN32_PREPARING:-}" ]; then
      echo "the $BINDORA_ROUTE route is not prepared: run  sudo bash $wine_env_dir/win32/prepare.sh" >&2
      exit 1
    fi
    win32_register_binfmt || {
      echo "cannot register i386 programs with $win32_qemu (binfmt_misc)" >&2
      exit 1
    }
    exec unshare --pid --fork --kill-child --mount --propagation private \
      env BINDORA_WIN32_NAMESPACE=1 bash "$@"
  fi
  mkdir -p "$win32_scratch"
  mount -t tmpfs -o mode=0700 bindora-wine "$win32_scratch"
  [ "$BINDORA_ROUTE" = wow64 ] && { wow64_loader_beside_wine64; return; }
  local root=$win32_root dir
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  local dirs=("$win32_scratch" "$wine_scratch" "$(cd "$wine_env_dir/../.." && pwd)")
  # prepare.sh boots the base prefix in place.
  [ -n "${BINDORA_WIN32_PREPARING:-}" ] && dirs+=("$win32_prefix")
  for dir in "${dirs[@]}"; do
    mkdir -p "$root$dir"
    mount --rbind "$dir" "$root$dir"
  done
  wine_scratch=$win32_scratch
}

# wine64 runs a 32-bit child in its in-process wow64 mode unless a `wine`
# lies beside it; then it execs that. Ours is the root's 32-bit loader,
# which binfmt_misc hands to QEMU; QEMU_LD_PREFIX shows it the root's files
# first and the host's for the rest, so it shares the prefix, the server and
# the 64-bit programs (through the root's link to wine64) with the natively
# run side. QEMU names the loader as the process's executable, which Wine
# reads for its folders, only to a /proc of this PID namespace.
wow64_loader_beside_wine64() {
  local beside=$win32_scratch/wine
  mount -t proc proc /proc
  mkdir "$beside"
  cp -a /usr/lib/wine/. "$beside"
  printf '#!/bin/sh\nQEMU_LD_PREFIX=%s exec %s/usr/lib/wine/wine "$@"\n' \
    "$win32_root" "$win32_root" >"$beside/wine"
  chmod 755 "$beside/wine"
  mount --bind "$beside" /usr/lib/wine
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
  wine_work=$(mktemp -d "$wine_scratch/bindora-wine.XXXXXX")
  export WINEPREFIX=$wine_work/prefix
  trap 'wine_stop; rm -rf "$wine_work"' EXIT
  trap 'exit 124' INT TERM
  cp -a "$1" "$WINEPREFIX"
  wine_start
}
