#!/usr/bin/env bash
# mitigations.sh BUILD_DIR
# Names every exploit mitigation that a program of the release archive
# (release.txt) lacks, from its headers as MinGW's objdump shows them: ASLR
# (DYNAMIC_BASE and relocations), DEP (NX_COMPAT), NO_SEH for i686, no
# section writable and executable (CODE without READONLY) or shared, a
# Windows 7 (6.1) header, and libssp's message in the image's own constants
# (not in the installers setup carries as resources).
set -euo pipefail
build=$(cd "$1" && pwd)
read -ra programs <<<"$(sed -n 's/^programs=//p' "$build/release.txt")"
rdata=$(mktemp)
trap 'rm -f "$rdata"' EXIT
lacking=$(for program in "${programs[@]}"; do
  exe=$build/bin/$program.exe
  i686-w64-mingw32-objcopy -O binary -j .rdata "$exe" "$rdata"
  grep -q 'stack smashing detected' "$rdata" || echo "$program.exe: no stack protector"
  { i686-w64-mingw32-objdump -p "$exe" && i686-w64-mingw32-objdump -h "$exe"; } | awk -v p="$program.exe" '
    { version[$1] = $2 }
    /^Magic.*\(PE32\)$/ { want["NO_SEH"] = 1 }
    /^\t+[A-Z_]+$/ { has[$1] = 1 }
    /^Entry 5 [0-9a-f]+ 0*[1-9a-f]/ { has["relocations"] = 1 }
    /^ +[0-9]+ \./ { section = $2; next }
    section != "" && /CODE/ && !/READONLY/ { print p ": " section " is writable and executable" }
    section != "" && /SHARED/ { print p ": " section " is shared" }
    { section = "" }
    END {
      want["DYNAMIC_BASE"] = want["NX_COMPAT"] = want["relocations"] = 1
      for (w in want) if (!(w in has)) print p ": no " w
      for (f in version) if (f ~ /^Major(Subsystem|OSystem)Version$/) {
        minor = f; sub(/^Major/, "Minor", minor)
        if (version[f] "." version[minor] != "6.1") print p ": " f " " version[f] "." version[minor] ", not 6.1"
      }
    }'
done)
[ ${#programs[@]} -gt 0 ] && [ -z "$lacking" ] || { echo "mitigations: ${lacking:-no programs}" >&2; exit 1; }
echo "mitigations: ${programs[*]}: ASLR, DEP, NO_SEH (i686), W^X, no shared section, Windows 7 header, stack protector"
