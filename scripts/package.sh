#!/usr/bin/env bash
# Builds the Debian package tollgate_<version>_<arch>.deb into dist/ (or the folder given),
# from a release build of its own so that the test build stays as it is.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$top/dist}
build=${TOLLGATE_PACKAGE_BUILD_DIR:-$top/build-package}

"$top/scripts/setup.sh"
TOLLGATE_BUILD_DIR=$build CMAKE_BUILD_TYPE=Release "$top/scripts/build.sh" \
    -DTOLLGATE_TESTS=OFF -DTOLLGATE_BENCH=OFF
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
for deb in "$out"/tollgate_*.deb; do
    echo "$deb"
done
echo "Install it with: sudo apt install $out/tollgate_*.deb"
