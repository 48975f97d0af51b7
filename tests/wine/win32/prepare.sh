#!/usr/bin/env bash
# prepare.sh: makes this machine's 32-bit Windows route, once; later runs
# and later clones reuse it. In $BINDORA_WIN32_CACHE (/var/cache/bindora/win32):
#   qemu/   QEMU's user-mode emulator from bookworm-backports, unpacked, not
#           installed (bookworm's own 7.2 spends a minute of CPU in every
#           Wine process and crashes wineboot);
#   root/   an i386 Debian bookworm root with native 32-bit Wine, whose
#           programs the kernel hands to that emulator (binfmt_misc);
#   prefix/ the base 32-bit prefix every run copies: null graphics driver,
#           no crash dialog;
#   wow64/  the same for 64-bit Windows with 32-bit processes (Wine's classic
#           wow64: the root's 32-bit loader fills its syswow64);
#   stamp   the recipe, written last: anything without it is made anew.
# The system's own Wine, apt sources and packages stay as they are. Needs
# root; otherwise it prints the command and stops.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-env.sh"
mirror=${BINDORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
rerun="sudo bash $here/prepare.sh"
started=$(date +%s)

say() { echo "win32 route: $* [$(($(date +%s) - started)) s]"; }
fail() {
  echo "win32 route: $1 failed${2:+ ($2)}. Rerun: $rerun" >&2
  exit 1
}

ready() {
  win32_stamped || return 1
  win32_register_binfmt || fail "the binfmt registration" "see /proc/sys/fs/binfmt_misc"
}
ready && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "win32 route: not prepared on this machine, and that needs root once. Run:" >&2
  echo "  $rerun" >&2
  exit 1
fi
# One preparation at a time on this machine; whoever waited finds it made.
mkdir -p "$(dirname "$win32_cache")"
exec 9>"$win32_cache.lock"
if ! flock -n 9; then
  say "another run is preparing it; waiting"
  flock 9
fi
ready && exit 0

say "preparing $win32_cache (once per machine: about a minute, 200 MB download, 1.3 GB disk)"
# Whatever an interrupted run left is made anew. Its mounts lived in a
# namespace of their own, but a mount under the cache from elsewhere would
# keep the removal from finishing.
for target in $(findmnt -rn -o TARGET | grep -F "$win32_cache/" | sort -r); do
  umount -l "$target"
done
rm -rf "$win32_cache"
mkdir -p "$win32_cache"
log=$win32_cache/prepare.log

say "downloading qemu-user from bookworm-backports"
apt_dir=$win32_cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
echo "deb $mirror bookworm-backports main" >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Architectures=amd64)
timeout 600 apt-get "${apt_options[@]}" update >"$log" 2>&1 </dev/null || fail "apt-get update of bookworm-backports" "$log"
# apt's download user must be able to write there.
chmod 777 "$apt_dir/download"
(cd "$apt_dir/download" && timeout 600 apt-get "${apt_options[@]}" download qemu-user) \
  >>"$log" 2>&1 </dev/null ||
  fail "the download of qemu-user" "$log"
deb=$(ls "$apt_dir"/download/qemu-user_*.deb)
version=$(dpkg-deb -f "$deb" Version)
dpkg --compare-versions "$version" ge 1:10 || fail "the qemu-user version check" "got $version, need 10 or later"
dpkg-deb -x "$deb" "$apt_dir/unpacked" || fail "unpacking $deb"
# Only the i386 emulator of the package's many.
mkdir -p "$(dirname "$win32_qemu")"
mv "$apt_dir/unpacked/usr/bin/qemu-i386" "$win32_qemu"
rm -rf "$apt_dir"
say "qemu-user $version unpacked"

win32_register_binfmt || fail "the binfmt registration of i386 programs" "/proc/sys/fs/binfmt_misc"

say "making the i386 root with wine and wine32 (mmdebstrap, unpacked natively; about a minute)"
# Unpacked only: configuring packages would run their scripts under the
# emulator, several minutes for what Wine needs of them, done below.
if ! timeout 1200 mmdebstrap --skip=check/qemu --arch=i386 --variant=extract \
  --aptopt='APT::Install-Recommends "false"' \
  --include=wine,wine32,libc-bin,libxrender1,libxrandr2,libxi6,libxcursor1,libxcomposite1,libxinerama1,libxfixes3,libxxf86vm1 \
  bookworm "$win32_root" "$mirror" 2>&1 </dev/null | tee -a "$log" | sed -un 's/^I: /win32 route:   /p'; then
  fail "mmdebstrap" "$log"
fi
[ -d "$win32_root/usr/lib/locale/C.utf8" ] || fail "the root" "no C.UTF-8 locale (libc-bin)"
# What Wine needs of the configured system: the mount points, a home and a
# temp folder, the users (Wine names the profile after the user), the
# dynamic linker's cache, and hosts (without it every Wine process logs a
# getaddrinfo error).
mkdir -p "$win32_root"/{proc,sys,root,tmp}
chmod 1777 "$win32_root/tmp"
cp /etc/passwd /etc/group /etc/hosts /etc/nsswitch.conf "$win32_root/etc/"
echo 'include /etc/ld.so.conf.d/*.conf' >"$win32_root/etc/ld.so.conf"
ldconfig -r "$win32_root" || fail "ldconfig of the root"
# libwine's own configure step: Wine's zlib1.dll is MinGW's, marked as a
# builtin DLL (without it user32 does not load).
for arch in i386:i686 x86_64:x86_64; do
  mingw=$win32_root/usr/${arch#*:}-w64-mingw32/lib/zlib1.dll
  builtin=$win32_root/usr/lib/i386-linux-gnu/wine/${arch%:*}-windows/zlib1.dll
  [ -f "$mingw" ] || continue
  {
    head -c 64 "$mingw"
    printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
    tail -c +97 "$mingw"
  } >"$builtin"
done
[ -f "$win32_root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll" ] ||
  fail "the root" "no zlib1.dll for Wine"

# The 32-bit loader starts a 64-bit child with the wine64 beside itself.
ln -sfn /usr/lib/wine/wine64 "$win32_root/usr/lib/wine/wine64"

say "making the base prefixes: 32-bit, and wow64 (about a minute)"
mkdir -p "$win32_prefix"
BINDORA_ROUTE=win32 BINDORA_WIN32_PREPARING=1 bash "$here/../make-prefix.sh" "$win32_prefix" - \
  >>"$log" 2>&1 ||
  fail "making the base prefix" "$log"
BINDORA_ROUTE=wow64 BINDORA_WIN32_PREPARING=1 bash "$here/../make-prefix.sh" "$wow64_prefix" - \
  >>"$log" 2>&1 ||
  fail "making the base wow64 prefix" "$log"

echo "$win32_recipe" >"$win32_cache/stamp"
say "ready: $(du -sh "$win32_cache" | cut -f1) in $win32_cache"
