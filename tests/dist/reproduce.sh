#!/usr/bin/env bash
# reproduce.sh BUILD_DIR
# Builds BUILD_DIR's source once more somewhere else (another source and build
# path, another time, another time zone and umask), packs both builds as
# ./dev dist does, and compares the programs, SHA256SUMS and the archive byte
# for byte. A difference names the file and its first differing offsets; the
# second build is then kept for a look.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
release=$root/cmake/release.sh
build=$(cd "$1" && pwd)
unset BINDORA_SIGN_PKCS12 BINDORA_SIGN_PASSWORD
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
source_dir=$(cache CMAKE_HOME_DIRECTORY)
name=$(sed -n 's/^name=//p' "$build/release.txt")
read -ra programs <<<"$(sed -n 's/^programs=//p' "$build/release.txt")"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -c safe.directory="$source_dir" -C "$source_dir" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH

other=$(mktemp -d "${TMPDIR:-/tmp}/bindora-rebuild.XXXXXX")
keep=no
trap '[ $keep = yes ] || rm -rf "$other"' EXIT

# The same configuration, in-source paths moved along.
settings=()
for var in SETUP_MODULES_FILE SETUP_PAYLOAD_135 SETUP_PAYLOAD_137; do
  value=$(cache $var)
  settings+=("-D$var=${value/#$source_dir\//$other/src/}")
done

echo "rebuilding $source_dir in $other"
(
  cd "$other"
  umask 077
  export TZ=XST-14
  # The source as the build saw it: the files git tracks or would track, as
  # they are in the working tree.
  mkdir src
  if git -c safe.directory="$source_dir" -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$source_dir" &&
      git -c safe.directory="$source_dir" ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar -c --null -T -) | tar -x -C src
  else
    tar -c -C "$source_dir" --exclude='./build*' . | tar -x -C src
  fi
  cmake -S src --preset win32 -B "$other/out" "${settings[@]}" >configure.log 2>&1 ||
    { cat configure.log; exit 1; }
  cmake --build out --target "${programs[@]}" -j 2 >build.log 2>&1 || { cat build.log; exit 1; }
  bash "$release" pack "$other/out" "$other/dist" >/dev/null
)
bash "$release" pack "$build" "$other/dist-first" >/dev/null

# differ FILE FIRST SECOND: names the first differing offsets of two files.
different=0
differ() {
  if cmp -s "$2" "$3"; then
    return
  fi
  different=$((different + 1))
  local pe=-1 offsets count
  cmp -l "$2" "$3" >"$other/cmp.txt" 2>/dev/null || true
  count=$(wc -l <"$other/cmp.txt")
  # In a program, the PE header's link time and checksum are named.
  if [ "${1%.exe}" != "$1" ]; then
    pe=$(od -An -tu4 -j60 -N4 "$2" | tr -d ' ')
  fi
  offsets=$(head -8 "$other/cmp.txt" | awk -v pe="$pe" '{
    o = $1 - 1; printf " 0x%x", o
    if (o >= pe + 8 && o < pe + 12) printf " (PE link time)"
    if (o >= pe + 88 && o < pe + 92) printf " (PE checksum)" }')
  echo "DIFFERS: $1: $count bytes, first at offsets$offsets;" \
    "sizes $(stat -c %s "$2") and $(stat -c %s "$3")"
  echo "  $2"
  echo "  $3"
}
for program in "${programs[@]}"; do
  differ "$program.exe" "$build/bin/$program.exe" "$other/out/bin/$program.exe"
done
differ SHA256SUMS "$other/dist-first/SHA256SUMS" "$other/dist/SHA256SUMS"
differ "$name.zip" "$other/dist-first/$name.zip" "$other/dist/$name.zip"

if [ "$different" -gt 0 ]; then
  keep=yes
  echo "not reproducible: $different of $((${#programs[@]} + 2)) files differ (is $build up to date with its source?);"
  echo "the second build stays in $other"
  exit 1
fi
echo "reproducible: ${programs[*]/%/.exe}, SHA256SUMS and $name.zip are the same, byte for byte"
sha256sum "$other/dist/$name.zip" | sed "s|$other/dist/||"
