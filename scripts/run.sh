#!/usr/bin/env bash
# Sets up, builds and starts Tollgate; arguments go to the program.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
exec "$build/bin/tollgate" "$@"
