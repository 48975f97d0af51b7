#!/usr/bin/env bash
# full-disk.sh BASE_PREFIX TEST_EXE
# Gives setup a temp folder on an 8 KB file system, smaller than the payload.
# Needs root to mount it; elsewhere the test is skipped (exit 77).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
base=$1 exe=$2

small=$(mktemp -d "${TMPDIR:-/tmp}/bindora-full.XXXXXX")
if ! mount -t tmpfs -o size=8k tmpfs "$small" 2>/dev/null; then
  rmdir "$small"
  echo "cannot mount a small file system here: skipped"
  exit 77
fi
trap 'umount "$small"; rmdir "$small"' EXIT
# Wine sees the Unix root as drive Z:.
export BINDORA_FULL_TEMP="Z:${small//\//\\}\\"
bash "$here/run-in-prefix.sh" "$base" "$exe" --gtest_filter='SetupFullDisk.*'
