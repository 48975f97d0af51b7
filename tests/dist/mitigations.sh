#!/usr/bin/env bash
# mitigations.sh BUILD_DIR
# Names every exploit mitigation that a program of the release archive
# (release.txt) lacks, from its headers as MinGW's objdump shows them: ASLR
# (DYNAMIC_BASE and relocations), DEP (NX_COMPAT), NO_SEH for i686, no
# section writable and executable (CODE without READONLY) or shared, a
# Windows 7 (6.1) header, and the stack protector: the entry point stores a
# fresh guard first thing, at least two functions read it back, its failure
# routine (which ends the process with STATUS_STACK_BUFFER_OVERRUN) is
# linked, and no Crypt* function is imported to seed it.
set -euo pipefail
build=$(cd "$1" && pwd)
read -ra programs <<<"$(sed -n 's/^programs=//p' "$build/release.txt")"
lacking=$(for program in "${programs[@]}"; do
  exe=$build/bin/$program.exe
  headers=$(i686-w64-mingw32-objdump -p "$exe")
  code=$(i686-w64-mingw32-objdump -d "$exe")
  entry=$((0x$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers") +
    0x$(awk '$1 == "AddressOfEntryPoint" { print $2 }' <<<"$headers")))
  guard=$(i686-w64-mingw32-objdump -d --start-address=$entry --stop-address=$((entry + 32)) "$exe" |
    sed -n 's/.*\tmov  *%eax,\(0x[0-9a-f]*\)$/\1/p' | head -1)
  uses=$(grep -c "[ ,]${guard:-none}\(,\|$\)" <<<"$code" || true)
  [ -n "$guard" ] && [ "$uses" -ge 6 ] || echo "$program.exe: no stack guard seeded by the entry point and read by protected functions"
  grep -q '\$0xc0000409,' <<<"$code" || echo "$program.exe: no stack protector failure routine"
  ! grep -q 'Crypt' <<<"$headers" || echo "$program.exe: imports Crypt* functions"
  { echo "$headers" && i686-w64-mingw32-objdump -h "$exe"; } | awk -v p="$program.exe" '
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
