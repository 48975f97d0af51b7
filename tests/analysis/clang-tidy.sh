#!/usr/bin/env bash
# clang-tidy.sh BUILD_DIR
# Runs clang-tidy (the root's .clang-tidy) over every product translation
# unit of a MinGW build, as that build compiles it, with MinGW's own C++
# headers; any finding fails. Test programs, fixtures and benchmarks are
# not analysed.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
tidy=${CLANG_TIDY:-clang-tidy-16}
database=$build/compile_commands.json
[ -f "$database" ] || { echo "clang-tidy: no $database" >&2; exit 1; }
compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$database" | head -1)
target=$(basename "${compiler%-g++}")

# Clang finds MinGW's C headers by the target; its C++ headers are where
# the build's g++ takes them from.
args=(--extra-arg=--target="$target" --extra-arg=-nostdinc++)
while read -r dir; do
  args+=(--extra-arg=-isystem"$dir")
done < <(echo | "$compiler" -xc++ -E -v - 2>&1 |
  sed -n '/search starts here:/,/End of search list/p' | grep '/c++' | sed 's/^ *//')

products='core|common|setup|vantor|snappulse|rotasync'
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",*$/\1/p' "$database" |
  grep -E "^$source_dir/($products)/" | sort -u)
[ ${#units[@]} -gt 0 ] || { echo "clang-tidy: no product sources in $database" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${units[@]}" |
  xargs -P "$(nproc)" -n 1 "$tidy" --quiet -p "$build" "${args[@]}" \
    --header-filter="^$source_dir/($products)/" >"$log" 2>/dev/null || status=$?
findings=$(grep -cE '(warning|error): ' "$log" || true)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  cat "$log"
  echo "clang-tidy: $findings findings in ${#units[@]} translation units (exit status $status)" >&2
  exit 1
fi
echo "clang-tidy: ${#units[@]} translation units of $build, no findings"
