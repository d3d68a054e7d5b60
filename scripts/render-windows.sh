#!/usr/bin/env bash
# Draws every window of the program, in English and in German, into PNG files under docs/windows/
# (or the folder given), on a private Xvfb so that nothing appears on the user's screen.
# The drawing tool itself is tools/render-windows (target tollgate_render_windows).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_BUILD_DIR:-$top/build}
out=${1:-$top/docs/windows}
renderer=$build/bin/tollgate_render_windows

command -v Xvfb >/dev/null || { echo "render-windows: Xvfb is not installed (scripts/setup.sh)"; exit 1; }
cmake --build "$build" --target tollgate_render_windows >/dev/null

work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and says which.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "render-windows: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }

# A private home and registry, so that the language choice made here stays here.
mkdir -p "$out" "$work/home" "$work/registry" "$work/run"
chmod 700 "$work/run"
run() {
    env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" \
        TOLLGATE_REGISTRY_DIR="$work/registry" DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb \
        "$renderer" "$@"
}
run "$out"
run --language Deutsch.lng --suffix -de "$out"
rm -f "$out/render.log"
