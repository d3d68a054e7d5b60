#!/usr/bin/env bash
# Runs a cross-built test program under Wine: CTest's emulator in a Windows build. The
# prefix and the X server come from scripts/windows.sh; without them, a private prefix.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run: no WINEPREFIX; run the tests through scripts/windows.sh test" >&2
    exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
export TOLLGATE_TEST_QPA=windows
exec wine "$@"
