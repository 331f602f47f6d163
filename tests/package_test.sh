#!/usr/bin/env bash
# Builds the Debian package (tests off) from a copy of the sources and checks
# it: lintian finds nothing to report, it holds exactly the installed tree
# with dependencies computed, and its programs run from the unpacked package.
#
# Usage: package_test.sh SOURCE_DIR VERSION
set -uo pipefail

source_dir=$1 version=$2

for tool in dpkg-buildpackage dh lintian; do
  command -v $tool >/dev/null || { echo "package_test: skipped, no $tool"; exit 77; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/rays-package-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

deb=$(DEB_BUILD_OPTIONS="nocheck parallel=2" "$source_dir/scripts/build-deb" "$scratch") || exit 1
package_version=$(dpkg-deb -f "$deb" Version)
[ "$package_version" = "$version" ] || fail "the package is version $package_version, the program $version"

# Informational tags too: any tag at all is shown, and a warning fails.
report=$(lintian --fail-on error,warning --display-info --pedantic "$scratch"/*.changes 2>&1)
status=$?
report=$(grep -v '^running with root privileges' <<<"$report")
if [ $status -ne 0 ]; then
  fail "lintian (status $status):"$'\n'"$report"
elif [ -n "$report" ]; then
  echo "lintian:"$'\n'"$report"
fi

# The files `cmake --install` puts in place, and Debian's own two.
expected=(
  usr/bin/rays usr/bin/rays-render
  usr/share/applications/rays.desktop
  usr/share/metainfo/example.c_seed_a8423912.rays.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/rays.svg
  usr/share/man/man1/rays.1.gz usr/share/man/man1/rays-render.1.gz
  usr/share/doc/rays/changelog.gz usr/share/doc/rays/copyright
)
for size in 16 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/rays.png")
done
if ! contents=$(diff <(printf '%s\n' "${expected[@]}" | sort) \
                     <(dpkg-deb -c "$deb" | grep -v '^d' | sed 's|.* \./||' | sort)); then
  fail "the package's files differ from the expected ones (< missing, > unexpected):"$'\n'"$contents"
fi
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* && $depends == *libcairo2* ]] || fail "Depends: $depends is not computed from the programs"

root=$scratch/root
dpkg -x "$deb" "$root"
if ! answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/rays" --version 2>&1) ||
   [ "$answer" != "rays $version" ]; then
  fail "packaged rays --version said '$answer', not 'rays $version'"
fi
if ! "$root/usr/bin/rays-render" --ticks 10 --output "$scratch/ticks-10.png" ||
   [ "$(identify -format %m "$scratch/ticks-10.png" 2>&1)" != PNG ]; then
  fail "packaged rays-render --ticks 10 made no PNG"
fi

if [ "$failures" -ne 0 ]; then
  echo "package_test: $failures failure(s)" >&2
  exit 1
fi
echo "package_test: $(basename "$deb"), $(stat -c %s "$deb") bytes, as it should be"
