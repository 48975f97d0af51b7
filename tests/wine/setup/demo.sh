#!/usr/bin/env bash
# demo.sh [BASE_PREFIX]: setup's part of the demo. Expects a built win64
# tree; makes a base prefix when none is given.
set -euo pipefail
cd "$(dirname "$0")/../../.."
work=$(mktemp -d "${TMPDIR:-/tmp}/bindora-setup-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
base=${1:-}
if [ -z "$base" ]; then
  base=$work/base
  bash tests/wine/make-prefix.sh "$base" build/win64/tests/explorer_recorder.exe >/dev/null
fi
bash tests/wine/run-in-prefix.sh "$base" build/win64/tests/setup_demo.exe
