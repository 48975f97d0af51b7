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
# The i686 runs measure only the monitor: on 32-bit Windows and as 32-bit
# processes on 64-bit Windows (classic wow64), both on the emulated route.
i686_monitor=yes
[ -z "$*" ] || [[ " $* " == *" monitor "* ]] || i686_monitor=no
jobs=${JOBS:-$(nproc)}
. tests/wine/wine-env.sh

work=$root/build/bench-run
base=$root/build/bench-wine/base
wow64=$root/build/bench-wine/wow64
win32=$root/build/bench-wine/win32
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

step "build win64 (programs, rig, bench driver)"
quiet_build cmake --preset win64
quiet_build cmake --build --preset win64 --target bench -j "$jobs"
step "build win32 (shipping programs and sizes, the i686 floors)"
quiet_build cmake --preset win32
quiet_build cmake --build --preset win32 -j "$jobs"
quiet_build cmake --build --preset win32 --target bench -j "$jobs"
step "build win32-tests (the i686 bench driver)"
quiet_build cmake --preset win32-tests
quiet_build cmake --build --preset win32-tests --target bench -j "$jobs"
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
  step "Wine prefix of 64-bit Windows for 32-bit processes (classic wow64)"
  BINDORA_ROUTE=wow64 bash tests/wine/make-prefix.sh "$wow64" \
    build/win64/tests/explorer_recorder.exe >/dev/null
fi
if [ "$i686_monitor" = yes ] && [ ! -d "$win32/drive_c/rig" ]; then
  step "Wine prefix of 32-bit Windows"
  BINDORA_ROUTE=win32 bash tests/wine/make-prefix.sh "$win32" \
    build/win32-tests/tests/explorer_recorder.exe >/dev/null
fi

# The x86_64 driver measures the x86_64 build and, with the environment of
# the wow64 entries, the i686 programs as 32-bit processes; the i686 driver
# measures them on 32-bit Windows. run-in-prefix.sh starts and stops each
# prefix's server itself, on every exit.
driver_args=("$(winpath "$work")\\results.tsv"
  "$(winpath build/bench-64m/bin/setup.exe)" "$(winpath build/bench-1m/bin/setup.exe)"
  "$(winpath "$work/payload-64m.exe")"
  "$(stat -c %s "$work/payload-64m.exe")" "$(stat -c %s "$work/payload-1m.exe")")
status=0
step "measuring x86_64 (about 3 minutes; idle alone takes 30 s)"
BINDORA_WINE_TIMEOUT=420 bash tests/wine/run-in-prefix.sh "$base" \
  build/win64/tests/bench_driver.exe "${driver_args[@]}" </dev/null >"$log" 2>&1 || status=$?
[ "$status" -eq 0 ] || echo "bench: x86_64 driver ended with status $status (log: $log)" >&2

# i686_run LABEL ROUTE PREFIX DRIVER: the monitor part of the i686 programs.
i686_run() {
  local label=$1 route=$2 prefix=$3 driver=$4 run_status=0
  step "measuring i686 $label"
  BINDORA_ROUTE=$route BINDORA_WINE_TIMEOUT=600 BINDORA_BENCH_PARTS=monitor BINDORA_ARCH=i686 \
    BINDORA_PROGRAMS="$(winpath build/win32/bin)" BINDORA_FIXTURES="$(winpath build/win32/tests)" \
    bash tests/wine/run-in-prefix.sh "$prefix" "$root/$driver" \
    "${driver_args[@]}" </dev/null >>"$log" 2>&1 || run_status=$?
  if [ "$run_status" -ne 0 ]; then
    echo "bench: i686 driver ($label) ended with status $run_status (log: $log)" >&2
    status=$run_status
  fi
}
if [ "$i686_monitor" = yes ]; then
  i686_run "on 32-bit Windows, emulated (about 4 minutes)" win32 "$win32" \
    build/win32-tests/tests/bench_driver.exe
  i686_run "on 64-bit Windows, classic wow64, emulated" wow64 "$wow64" \
    build/win64/tests/bench_driver.exe
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
echo "Context: $("$WINE" --version 2>/dev/null </dev/null || echo wine) / x86_64 build under wine64;" \
  "i686 build on 32-bit Windows (native 32-bit Wine) and as 32-bit processes of 64-bit" \
  "Windows (classic wow64), the 32-bit side under QEMU user mode (slows both sides of a" \
  "ratio alike); sizes from the i686 build; $(nproc) CPUs"
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
