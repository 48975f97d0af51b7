#!/usr/bin/env bash
# check-archive.sh BUILD_DIR
# Makes the release archive of a Windows build and checks that it holds
# exactly the four programs of BUILD_DIR/bin byte for byte (the files the
# Wine tests run), README.md and SHA256SUMS, and that the sums are right.
set -euo pipefail
build=$(cd "$1" && pwd)
cmake --build "$build" --target package >/dev/null
archive=$(ls "$build"/dist/bindora-camera-*.zip)
echo "archive: $archive"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive")
top=$(ls "$work")
[ "$(echo "$top" | wc -l)" -eq 1 ] || { echo "more than one top folder: $top"; exit 1; }
expected="README.md SHA256SUMS rotasync.exe setup.exe snappulse.exe vantor.exe"
found=$(cd "$work/$top" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$found" = "$expected" ] || { echo "contents: '$found', expected '$expected'"; exit 1; }
for exe in setup vantor snappulse rotasync; do
  cmp "$work/$top/$exe.exe" "$build/bin/$exe.exe"
done
(cd "$work/$top" && sha256sum -c SHA256SUMS)
echo "archive holds the tested programs"
