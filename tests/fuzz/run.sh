#!/usr/bin/env bash
# run.sh [SECONDS]: builds the libFuzzer targets with clang and runs each for
# SECONDS (default 60), starting from the kept corpus. New inputs go to
# build/fuzz/corpus/<target>, never into the tree; a crash stops the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
build=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBINDORA_FUZZ=ON \
  >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

printf '%-16s %12s %10s %s\n' target runs seconds result
status=0
for source in tests/fuzz/*_fuzz.cpp; do
  target=$(basename "$source" _fuzz.cpp)
  work=$build/corpus/$target
  mkdir -p "$work" "$build/crashes"
  log=$build/$target.log
  if "$build/tests/fuzz/${target}_fuzz" "$work" "tests/fuzz/corpus/$target" \
      -max_total_time="$seconds" -artifact_prefix="$build/crashes/$target-" \
      -print_final_stats=1 >"$log" 2>&1; then
    result=ok
  else
    result="CRASH (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
  printf '%-16s %12s %10s %s\n' "$target" "${runs:-?}" "$seconds" "$result"
done
exit $status
