#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
"$top/scripts/fuzz.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
