#!/usr/bin/env bash
# The icons kept in data/icons are the ones tools/rays_icon.cpp draws: a
# change to the drawing must come with the redrawn PNGs
# (cmake --build build --target icons), or the two drift apart unseen.
#
# Usage: icons_test.sh RAYS_ICON ICON_DIR
set -uo pipefail

rays_icon=$1 icon_dir=$2

scratch=$(mktemp -d "${TMPDIR:-/tmp}/rays-icons-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT

"$rays_icon" "$scratch" || { echo "FAIL: $rays_icon $scratch" >&2; exit 1; }

# Pixels, not bytes: another cairo or zlib may pack the same picture differently.
# A slight fuzz lets antialiasing differ by a level or two between versions.
failures=0
differ() {
  local differing
  if ! differing=$(compare -metric AE -fuzz 1% "$1" "$2" null: 2>&1); then
    echo "FAIL: data/icons/$3 is not what rays-icon draws: $differing differing pixels" >&2
    failures=$((failures + 1))
  fi
}
for size in 16 32 48 64 128 256; do
  name=${size}x${size}/rays.png
  differ "$icon_dir/$name" "$scratch/$name" "$name"
done
# The scalable icon as a desktop shows it, rasterised (at twice its size).
rsvg-convert -z 2 "$icon_dir/scalable/rays.svg" -o "$scratch/kept.png" &&
  rsvg-convert -z 2 "$scratch/scalable/rays.svg" -o "$scratch/drawn.png" || exit 1
differ "$scratch/kept.png" "$scratch/drawn.png" scalable/rays.svg
[ "$failures" -eq 0 ] || exit 1
echo "icons_test: data/icons matches rays-icon"
