#!/usr/bin/env bash
# Builds the Debian package (tests off) from a copy of the sources and checks
# it: lintian reports no error or warning (any other tag is shown), it holds
# what `cmake --install` puts in place plus Debian's changelog and copyright
# (the link for the screen savers included),
# its dependencies are computed, and its programs run from the unpacked tree.
#
# Usage: package_test.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
source_dir=$1 build=$2 version=$3

for tool in dpkg-buildpackage dh lintian; do
  command -v $tool >/dev/null || { echo "package_test: skipped, no $tool"; exit 77; }
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/rays-package-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

deb=$(DEB_BUILD_OPTIONS="nocheck parallel=2" "$source_dir/scripts/build-deb" "$scratch/deb") || exit 1
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package is not version $version"

report=$(lintian --fail-on error,warning --display-info --pedantic "$scratch"/deb/*.changes 2>&1)
status=$?
report=$(grep -v '^running with root privileges' <<<"$report")
[ $status -eq 0 ] || fail "lintian (status $status):"$'\n'"$report"
[ $status -ne 0 ] || [ -z "$report" ] || echo "lintian:"$'\n'"$report"

cmake --install "$build" --prefix "$scratch/usr" >/dev/null || exit 1
if ! contents=$(diff <(cd "$scratch" && find usr ! -type d | sed 's|/man/man1/.*|&.gz|' | sort) \
                     <(dpkg-deb -c "$deb" | grep -v -e '^d' -e '/doc/rays/\(changelog.gz\|copyright\)$' |
                       sed -e 's|.* \./||' -e 's| -> .*||' | sort)); then
  fail "the package differs from cmake --install (< missing, > unexpected):"$'\n'"$contents"
fi
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* && $depends == *libcairo2* ]] || fail "Depends: '$depends' is not computed"

dpkg -x "$deb" "$scratch/root"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$scratch/root/usr/bin/rays" --version 2>&1)
[ "$answer" = "rays $version" ] || fail "packaged rays --version said '$answer'"
# Where the MATE and Xfce screen savers look for it.
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$scratch/root/usr/libexec/xscreensaver/rays" --version 2>&1)
[ "$answer" = "rays $version" ] || fail "packaged /usr/libexec/xscreensaver/rays --version said '$answer'"
"$scratch/root/usr/bin/rays-render" --ticks 10 --output "$scratch/ticks-10.png" &&
  [ "$(identify -format %m "$scratch/ticks-10.png")" = PNG ] || fail "packaged rays-render made no PNG"

[ "$failures" -eq 0 ] || { echo "package_test: $failures failure(s)" >&2; exit 1; }
echo "package_test: $(basename "$deb"), $(stat -c %s "$deb") bytes, as it should be"
