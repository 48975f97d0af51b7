#!/usr/bin/env bash
# bench/run.sh: ./dev bench. Builds what the benchmarks need, runs the driver
# in a throwaway copy of a headless Wine prefix and prints each figure beside
# its baseline from the same run. Absolute times vary between machines; the
# ratios are what to compare.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# Optional arguments pick parts of the run: monitor, scan, extract.
export BINDORA_BENCH_PARTS="$*"
# The i686 run measures only the monitor; setup's i686 build cannot run here.
i686_monitor=yes
[ -z "$*" ] || [[ " $* " == *" monitor "* ]] || i686_monitor=no
jobs=${JOBS:-$(nproc)}
. tests/wine/wine-env.sh

work=$root/build/bench-run
base=$root/build/bench-wine/base
wow64=$root/build/bench-wine/wow64
# Unpacked by ./dev (ensure_wow64_layer) before this script runs.
wow64_dlls=$root/build/wow64/usr/lib/i386-linux-gnu/wine
mkdir -p "$work"
results=$work/results.tsv
log=$work/driver.log
rm -f "$results" "$log"

step() { echo "== $*"; }

quiet_build() {
  local out
  out=$(mktemp)
  if ! "$@" >"$out" 2>&1; then
    cat "$out"
    rm -f "$out"
    exit 1
  fi
  rm -f "$out"
}

# A separate configure of setup alone: DIR TOOLCHAIN [CACHE ARGS...]
configure_setup() {
  local dir=$1 toolchain=$2
  shift 2
  quiet_build cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=MinSizeRel "$@"
  quiet_build cmake --build "$dir" --target setup -j "$jobs"
}

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }

step "build win64 (programs, rig, bench driver)"
quiet_build cmake --preset win64
quiet_build cmake --build --preset win64 --target bench -j "$jobs"
step "build win32 (shipping programs and sizes, the i686 floors)"
quiet_build cmake --preset win32
quiet_build cmake --build --preset win32 -j "$jobs"
quiet_build cmake --build --preset win32 --target bench -j "$jobs"
configure_setup build/bench-win32-nopayload mingw-i686.cmake \
  -DSETUP_PAYLOAD_135= -DSETUP_PAYLOAD_137=

# The payloads: the sample installer with random bytes appended (a PE file
# runs with overlay data behind its sections), so setup's flow runs as usual.
step "payload builds (64 MB and 1 MB)"
sample=build/win64/setup/sample_installer/sample_installer_137.exe
make_payload() {
  local out=$1 total=$2
  cp "$sample" "$out"
  head -c $((total - $(stat -c %s "$sample"))) /dev/urandom >>"$out"
}
make_payload "$work/payload-64m.exe" $((64 * 1024 * 1024))
make_payload "$work/payload-1m.exe" $((1024 * 1024))
configure_setup build/bench-64m mingw-x86_64.cmake \
  -DSETUP_PAYLOAD_135= -DSETUP_PAYLOAD_137="$work/payload-64m.exe"
configure_setup build/bench-1m mingw-x86_64.cmake \
  -DSETUP_PAYLOAD_135= -DSETUP_PAYLOAD_137="$work/payload-1m.exe"

# make-prefix.sh creates drive_c/rig last: a prefix without it is unfinished.
if [ ! -d "$base/drive_c/rig" ]; then
  step "Wine prefix"
  bash tests/wine/make-prefix.sh "$base" build/win64/tests/explorer_recorder.exe >/dev/null
fi
if [ "$i686_monitor" = yes ] && [ ! -d "$wow64/drive_c/rig" ]; then
  step "Wine prefix in wow64 mode"
  bash tests/wine/make-prefix.sh "$wow64" build/win64/tests/explorer_recorder.exe \
    "$wow64_dlls" >/dev/null
fi

# The driver stays x86_64 in both runs; the environment of the second picks
# the i686 programs, floors and capture filter and the registry views of a
# 32-bit client. run-in-prefix.sh starts and stops each prefix's server
# itself, on every exit.
driver_args=("$(winpath "$work")\\results.tsv"
  "$(winpath build/bench-64m/bin/setup.exe)" "$(winpath build/bench-1m/bin/setup.exe)"
  "$(winpath "$work/payload-64m.exe")"
  "$(stat -c %s "$work/payload-64m.exe")" "$(stat -c %s "$work/payload-1m.exe")")
status=0
step "measuring x86_64 (about 3 minutes; idle alone takes 30 s)"
BINDORA_WINE_TIMEOUT=420 bash tests/wine/run-in-prefix.sh "$base" \
  build/win64/tests/bench_driver.exe "${driver_args[@]}" </dev/null >"$log" 2>&1 || status=$?
[ "$status" -eq 0 ] || echo "bench: x86_64 driver ended with status $status (log: $log)" >&2
if [ "$i686_monitor" = yes ]; then
  step "measuring i686 in wow64 mode (about 1.5 minutes)"
  i686_status=0
  BINDORA_WINE_TIMEOUT=300 BINDORA_BENCH_PARTS=monitor BINDORA_ARCH=i686 \
    BINDORA_PROGRAMS="$(winpath build/win32/bin)" BINDORA_FIXTURES="$(winpath build/win32/tests)" \
    bash tests/wine/run-in-prefix.sh "$wow64" build/win64/tests/bench_driver.exe \
    "${driver_args[@]}" </dev/null >>"$log" 2>&1 || i686_status=$?
  if [ "$i686_status" -ne 0 ]; then
    echo "bench: i686 driver ended with status $i686_status (log: $log)" >&2
    status=$i686_status
  fi
fi

# Sizes of the shipping i686 executables, against their limits.
size_row() {
  local name=$1 file=$2 limit_kb=$3 bytes kb
  bytes=$(stat -c %s "$file")
  kb=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1024 }')
  printf 'row\t%s\t%s KB\t-\t-\t<= %s KB\t%s\n' "$name" "$kb" "$limit_kb" \
    "$(awk -v b="$bytes" -v l="$limit_kb" 'BEGIN { print (b <= l * 1024) ? "yes" : "NO" }')" \
    >>"$results"
}
size_row "i686 size vantor.exe" build/win32/bin/vantor.exe 48
size_row "i686 size snappulse.exe" build/win32/bin/snappulse.exe 48
size_row "i686 size rotasync.exe" build/win32/bin/rotasync.exe 96
size_row "i686 size setup.exe, no payloads" build/bench-win32-nopayload/bin/setup.exe 96

echo
echo "Context: $("$WINE" --version 2>/dev/null </dev/null || echo wine) / x86_64 build under wine64," \
  "i686 build in its wow64 mode; sizes from the i686 build; $(nproc) CPUs"
echo
{
  printf 'figure\tmeasured\tbaseline\tratio\ttarget\tmet\n'
  grep '^row' "$results" | cut -f2-
} | column -t -s $'\t'
if grep -q '^note' "$results"; then
  echo
  grep '^note' "$results" | cut -f2- | sed 's/^/- /'
fi
exit "$status"
