#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what lands there: the
# whole tree and nothing else, programs that run, icons that are PNGs of their
# size, a desktop entry and AppStream metainfo that
# validate and point at them, and manual pages that render without a warning
# and document every option.
#
# Usage: install_test.sh BUILD_DIR VERSION BINDIR DATADIR MANDIR HACKDIR
# (the last four as the build has them, relative to the prefix)
set -uo pipefail

build=$1 version=$2 bindir=$3 datadir=$4 mandir=$5 hackdir=$6

for dir in "$bindir" "$datadir" "$mandir" "$hackdir"; do
  if [[ $dir == /* ]]; then
    # --prefix cannot move an absolute directory: installing would write
    # outside the scratch prefix.
    echo "install_test: skipped, $dir is absolute"
    exit 77
  fi
done

prefix=$(mktemp -d "${TMPDIR:-/tmp}/rays-install-test.XXXXXX") || exit 1
trap 'rm -rf "$prefix"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! output=$(cmake --install "$build" --prefix "$prefix" 2>&1); then
  echo "$output" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

# The whole tree, and nothing more.
icon_sizes=(16 32 48 64 128 256)
appstream_id=example.c_seed_a8423912.rays
expected=(
  "$bindir/rays"
  "$bindir/rays-render"
  "$hackdir/rays"
  "$datadir/applications/rays.desktop"
  "$datadir/applications/screensavers/rays.desktop"
  "$datadir/xscreensaver/config/rays.xml"
  "$datadir/icons/hicolor/scalable/apps/rays.svg"
  "$datadir/metainfo/$appstream_id.metainfo.xml"
  "$mandir/man1/rays.1"
  "$mandir/man1/rays-render.1"
)
for size in "${icon_sizes[@]}"; do
  expected+=("$datadir/icons/hicolor/${size}x${size}/apps/rays.png")
done
if ! tree_diff=$(diff <(printf '%s\n' "${expected[@]}" | sort) \
                      <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)); then
  fail "the installed tree differs from the expected one (< missing, > unexpected):"$'\n'"$tree_diff"
fi

# The programs run from where they are installed, with no display at all.
bin=$prefix/$bindir
for program in rays rays-render; do
  [ -x "$bin/$program" ] || fail "$bindir/$program is not executable"
done
if ! answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/rays" --version 2>&1) || [ "$answer" != "rays $version" ]; then
  fail "installed rays --version said '$answer', not 'rays $version'"
fi

# Icons: PNG images of their nominal size.
for size in "${icon_sizes[@]}"; do
  icon=$prefix/$datadir/icons/hicolor/${size}x${size}/apps/rays.png
  [ -f "$icon" ] || continue
  got=$(identify -format '%m %wx%h' "$icon" 2>&1)
  [ "$got" = "PNG ${size}x${size}" ] || fail "$icon: '$got', not 'PNG ${size}x${size}'"
done

# The desktop entry: valid, and naming a program and an icon that were installed.
desktop=$prefix/$datadir/applications/rays.desktop
if [ -f "$desktop" ]; then
  if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate: $report"
  fi
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  for size in "${icon_sizes[@]}"; do
    [ -f "$prefix/$datadir/icons/hicolor/${size}x${size}/apps/$icon_name.png" ] ||
      fail "Icon=$icon_name has no ${size}x${size} icon"
  done
  [ -f "$prefix/$datadir/icons/hicolor/scalable/apps/$icon_name.svg" ] ||
    fail "Icon=$icon_name has no scalable icon"
fi

# The screen savers' entry (in no menu: no main category), which they run
# from their hack directory, where a relative link leads to the program.
saver=$prefix/$datadir/applications/screensavers/rays.desktop
report=$(desktop-file-validate "$saver" 2>&1 | grep -v 'value "Screensaver;" .* main category')
[ -z "$report" ] && grep -qx 'Exec=rays --root' "$saver" || fail "screensavers/rays.desktop: ${report:-no Exec=rays --root}"
link=$prefix/$hackdir/rays
[[ -L $link && $(readlink "$link") != /* && $(readlink -f "$link") == "$(readlink -f "$bin/rays")" ]] ||
  fail "$hackdir/rays is not a relative link to $bindir/rays: $(ls -l "$link" 2>&1)"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$link" --version 2>&1)
[ "$answer" = "rays $version" ] || fail "$hackdir/rays --version said '$answer'"
xmllint --noout "$prefix/$datadir/xscreensaver/config/rays.xml" || fail "xscreensaver/config/rays.xml is malformed"

# The metainfo: valid with no warning, naming the installed desktop entry and
# programs and this release.
metainfo=$prefix/$datadir/metainfo/$appstream_id.metainfo.xml
if [ -f "$metainfo" ]; then
  report=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
  tag() { sed -n "s|.*<$1>\(.*\)</${1%% *}>.*|\1|p" "$metainfo"; }
  [ -f "$prefix/$datadir/applications/$(tag 'launchable type="desktop-id"')" ] || fail "metainfo launches no installed entry"
  [ "$(tag binary | tr '\n' ' ')" = "rays rays-render " ] || fail "metainfo provides '$(tag binary)'"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
fi

# Manual pages: render without a warning, have a NAME line for whatis, carry
# the program's version, and document every option its --help lists.
for program in rays rays-render; do
  page=$prefix/$mandir/man1/$program.1
  [ -f "$page" ] || continue
  if ! warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || [ -n "$warnings" ]; then
    fail "groff warns about $program.1: $warnings"
  fi
  if ! text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$prefix/man-stderr"); then
    fail "man -l $program.1 failed: $(cat "$prefix/man-stderr")"
  elif [ -s "$prefix/man-stderr" ]; then
    fail "man -l warns about $program.1: $(cat "$prefix/man-stderr")"
  fi
  rm -f "$prefix/man-stderr"
  lexgrog "$page" >/dev/null 2>&1 || fail "$program.1 has no NAME line that whatis can read"
  grep -q "^\.TH .*\"rays $version\"" "$page" || fail "$program.1 is not marked as rays $version"
  for option in $(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --help | grep -o -- '--[a-z-]*[a-z]' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "$program.1 does not document $option"
  done
done

if [ "$failures" -ne 0 ]; then
  echo "install_test: $failures failure(s)" >&2
  exit 1
fi
echo "install_test: $prefix held ${#expected[@]} files, all as they should be"
