#!/usr/bin/env bash
# Packs this build into a .deb with CPack, checks it with lintian (no errors or warnings) and its
# control data, then runs the smoke test on the package unpacked with dpkg-deb -x.
# Usage: package.sh <cpack> <build-dir> <smoke.sh> <cmake> <x11window> <with-flm>
# Exit 77 (skipped) only when dpkg-deb or lintian is not installed.
set -euo pipefail
if [ $# -ne 6 ]; then
    echo "usage: $0 cpack build smoke.sh cmake x11window with-flm"
    exit 2
fi
cpack=$1 build=$2 smoke=$3 cmake=$4 x11window=$5 with_flm=$6
for tool in dpkg-deb lintian; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && timeout 600 "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
}
deb=$(ls "$work"/out/quorvel_*.deb)
echo "package: $(basename "$deb")"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Dependencies come from dpkg-shlibdeps: Qt, hidapi, wolfSSL and libzip must be named.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt5widgets5 libhidapi-hidraw0 libusb-1.0-0 libwolfssl libzip4; do
    grep -q "$lib" <<<"$depends" || fail "Depends does not name $lib"
done
dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || fail "no postinst"

# lintian's errors and warnings fail the test; its other tags are shown.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if grep -q '^[EW]: ' "$work/lintian.txt"; then
    fail "lintian reports errors or warnings"
fi

QUORVEL_SMOKE_DEB="$deb" bash "$smoke" "$cmake" "$build" "$x11window" /usr bin lib share \
    "$with_flm" || fail "smoke test of the unpacked package"
[ "$failures" -eq 0 ] || exit 1
echo "Package test passed."
