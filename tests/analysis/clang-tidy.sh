#!/usr/bin/env bash
# clang-tidy.sh BUILD_DIR
# clang-tidy (the root's .clang-tidy) over every product translation unit of
# a MinGW build, as that build compiles it, with the C++ headers of its g++;
# any finding fails. Tests, fixtures and benchmarks are left out.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
database=$build/compile_commands.json
compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$database" | head -1)
args=(--extra-arg=--target="$(basename "${compiler%-g++}")" --extra-arg=-nostdinc++)
while read -r dir; do
  args+=(--extra-arg=-isystem"$dir")
done < <(echo | "$compiler" -xc++ -E -v - 2>&1 | sed -n 's|^ \(/.*/c++.*\)|\1|p')

products="^$source_dir/(core|common|setup|vantor|snappulse|rotasync)/"
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",*$/\1/p' "$database" | grep -E "$products" | sort -u)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy-16 --quiet -p "$build" \
  "${args[@]}" --header-filter="$products" >"$log" 2>/dev/null || status=$?
findings=$(grep -cE '(warning|error): ' "$log" || true)
if [ ${#units[@]} -eq 0 ] || [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  cat "$log"
  echo "clang-tidy: $findings findings in ${#units[@]} units of $build (status $status)" >&2
  exit 1
fi
echo "clang-tidy: ${#units[@]} translation units of $build, no findings"
