#!/usr/bin/env bash
# mitigations.sh BUILD_DIR
# Reads the headers of the programs the release archive holds (release.txt)
# with MinGW's objdump and names every exploit mitigation one of them lacks:
# ASLR (DYNAMIC_BASE, and relocations to move the image by), DEP
# (NX_COMPAT), no exception handler inside an i686 image (NO_SEH), no
# section both writable and executable, none shared between processes, a
# header naming Windows 7 (6.1), and the stack protector's runtime linked.
set -euo pipefail
build=$(cd "$1" && pwd)
read -ra programs <<<"$(sed -n 's/^programs=//p' "$build/release.txt")"
[ ${#programs[@]} -gt 0 ] || { echo "mitigations: $build/release.txt names no programs" >&2; exit 1; }
scratch=$(mktemp)
trap 'rm -f "$scratch"' EXIT
failures=0
lacks() {
  echo "mitigations: $1: $2" >&2
  failures=$((failures + 1))
}
for program in "${programs[@]}"; do
  exe=$build/bin/$program.exe
  headers=$(i686-w64-mingw32-objdump -p "$exe")
  flags=(DYNAMIC_BASE NX_COMPAT)
  grep -q '^Magic.*(PE32)$' <<<"$headers" && flags+=(NO_SEH)
  for flag in "${flags[@]}"; do
    grep -qw "$flag" <<<"$headers" || lacks "$program.exe" "no $flag"
  done
  grep -Eq '^Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation' <<<"$headers" ||
    lacks "$program.exe" "no relocations (ASLR cannot move it)"
  for field in Subsystem OSystem; do
    version=$(awk -v f="$field" '$1 == "Major" f "Version" { M = $2 }
                                 $1 == "Minor" f "Version" { m = $2 } END { print M "." m }' <<<"$headers")
    [ "$version" = 6.1 ] || lacks "$program.exe" "$field version $version, not 6.1 (Windows 7)"
  done
  # objdump shows a section without READONLY as writable, one with CODE as
  # executable, and SHARED for one mapped into every process of the image.
  while read -r section problem; do
    lacks "$program.exe" "section $section $problem"
  done < <(i686-w64-mingw32-objdump -h "$exe" | awk '
    /^ +[0-9]+ / { name = $2; next }
    name != "" && /CODE/ && !/READONLY/ { print name, "is writable and executable" }
    name != "" && /SHARED/ { print name, "is shared" }
    { name = "" }')
  # libssp's message, looked for in the image's own constants (not in the
  # installers setup carries as resources).
  i686-w64-mingw32-objcopy -O binary -j .rdata "$exe" "$scratch"
  grep -q 'stack smashing detected' "$scratch" || lacks "$program.exe" "no stack protector linked"
done
[ $failures -eq 0 ] || exit 1
echo "mitigations: ${programs[*]}: ASLR, DEP, NO_SEH (i686), W^X, no shared section, Windows 7 header, stack protector"
