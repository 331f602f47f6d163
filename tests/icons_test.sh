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
# The scalable icon, as a desktop would show it: rasterised at its own size
# and at twice that.
for size in 128 256; do
  for which in kept:"$icon_dir" drawn:"$scratch"; do
    rsvg-convert -w $size -h $size "${which#*:}/scalable/rays.svg" -o "$scratch/${which%%:*}-$size.png" ||
      { echo "FAIL: rsvg-convert ${which#*:}/scalable/rays.svg" >&2; exit 1; }
  done
  differ "$scratch/kept-$size.png" "$scratch/drawn-$size.png" "scalable/rays.svg at $size px"
done
[ "$failures" -eq 0 ] || exit 1
echo "icons_test: data/icons matches rays-icon"
