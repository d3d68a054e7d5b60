#!/usr/bin/env bash
# Builds Tollgate for Windows on Debian and tests it under Wine.
#
#   scripts/windows.sh            everything below, in order
#   scripts/windows.sh qt         Qt for MinGW, built once into the cache and reused
#   scripts/windows.sh build      Tollgate.exe and its tests, with the DLLs beside them
#   scripts/windows.sh test       the tests under Wine on a private X server
#   scripts/windows.sh package    the zip and the installer in dist/
#   scripts/windows.sh ci         everything, when it fits in TOLLGATE_WINDOWS_BUDGET seconds
#
# The cache lives outside the checkout: TOLLGATE_WINDOWS_CACHE, by default ~/.cache/tollgate-windows.
# With TOLLGATE_WINDOWS_NEED_CACHE=1, "test" and "all" skip with a message instead of
# spending about 20 minutes building Qt when the cache is absent.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${TOLLGATE_WINDOWS_CACHE:-$HOME/.cache/tollgate-windows}
qtVersion=6.4.2
qtPrefix=$cache/qt-$qtVersion-mingw
build=${TOLLGATE_WINDOWS_BUILD_DIR:-$top/build-windows}
triple=x86_64-w64-mingw32
jobs=$(nproc)

log() { printf 'windows: %s\n' "$*" >&2; }

setup() {
    "$top/scripts/setup.sh"
    "$top/scripts/setup.sh" --windows
}

qtReady() { [ -f "$qtPrefix/.complete" ]; }

buildQt() {
    if qtReady; then
        log "Qt $qtVersion for MinGW found in $qtPrefix"
        return
    fi
    local src=$cache/src
    mkdir -p "$src"
    if ! ls -d "$src"/qt6-base-$qtVersion* >/dev/null 2>&1; then
        # Debian's own source of the Qt the host tools come from, so moc and rcc match.
        local list=/etc/apt/sources.list.d/tollgate-deb-src.sources
        if [ ! -f "$list" ]; then
            local sudo=""
            [ "$(id -u)" -eq 0 ] || sudo="sudo"
            local suite
            suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
            printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
                "$suite" | $sudo tee "$list" >/dev/null
            $sudo apt-get update -q
        fi
        # The suite's one version; a pinned one would need its exact Debian revision.
        (cd "$src" && apt-get source -q qt6-base)
    fi
    if ! ls -d "$src"/qt6-base-$qtVersion* >/dev/null 2>&1; then
        log "Debian's qt6-base source is not version $qtVersion, which the host tools are"
        return 1
    fi
    local qtSrc
    qtSrc=$(ls -d "$src"/qt6-base-$qtVersion*/ | head -n 1)
    local qtBuild=$cache/qt-build
    log "building Qt $qtVersion for MinGW in $qtBuild (about 20 minutes on two cores)"
    # Only what Tollgate uses: Core, Gui, Widgets, Test and the windows platform plugin.
    # INPUT_opengl=no also turns off dynamic GL, which the windows plugin would otherwise still use.
    cmake -S "$qtSrc" -B "$qtBuild" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/MinGW64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$qtPrefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_system_zlib=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_pdf=OFF \
        -DFEATURE_freetype=OFF -DFEATURE_sqlmodel=OFF -DFEATURE_textodfwriter=OFF \
        -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF
    nice cmake --build "$qtBuild" -j "$jobs"
    cmake --install "$qtBuild"
    touch "$qtPrefix/.complete"
    rm -rf "$qtBuild"
    log "Qt installed in $qtPrefix"
}

# CI: the whole lane when it fits in TOLLGATE_WINDOWS_BUDGET seconds, else a message that
# it was skipped. The estimates are this lane's times on two cores, rounded up.
ciLane() {
    local budget=${TOLLGATE_WINDOWS_BUDGET:-0} need
    if qtReady; then need=$((20 * 60)); else need=$((40 * 60)); fi
    if [ "$budget" -lt "$need" ]; then
        log "SKIPPED: the Windows lane needs about $((need / 60)) minutes here ($(qtReady && echo "Qt cached" || echo "Qt not cached")),"
        log "but only $((budget / 60)) remain of CI's limit; 'scripts/windows.sh' runs it by hand."
        return 0
    fi
    log "the Windows lane has $((budget / 60)) minutes and needs about $((need / 60))"
    setup
    buildTollgate
    testTollgate
    packageTollgate
}

skipWithoutCache() {
    if [ "${TOLLGATE_WINDOWS_NEED_CACHE:-0}" = 1 ] && ! qtReady; then
        log "SKIPPED: no Qt for MinGW in $qtPrefix, and TOLLGATE_WINDOWS_NEED_CACHE=1 asks not to"
        log "build it here (about 20 minutes on two cores); 'scripts/windows.sh qt' builds it once."
        exit 0
    fi
}

buildTollgate() {
    qtReady || buildQt
    log "cross-building Tollgate in $build"
    TOLLGATE_MINGW_QT=$qtPrefix "$qtPrefix/bin/qt-cmake" -S "$top" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/MinGW64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$top/tests/windows/wine-run.sh"
    cmake --build "$build" -j "$jobs"
}

# Runs the rest of the command line with a private X server and a fresh Wine prefix.
withWine() {
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/tollgate-wine-XXXXXX")
    # Xvfb picks a free display and writes its number once it listens.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    local xvfb=$! display="" i
    for i in $(seq 300); do
        display=$(tr -d '[:space:]' <"$work/display")
        [ -n "$display" ] && break
        sleep 0.1
    done
    if [ -z "$display" ]; then
        log "Xvfb did not start"
        cat "$work/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=:$display WINEPREFIX=$work/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
    log "Wine prefix $WINEPREFIX on display $DISPLAY"
    wineboot -i >"$work/wineboot.log" 2>&1 || { log "wineboot failed"; cat "$work/wineboot.log" >&2; }
    local status=0
    "$@" || status=$?
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
    return "$status"
}

testTollgate() {
    [ -f "$build/CTestTestfile.cmake" ] || buildTollgate
    withWine ctest --test-dir "$build" --output-on-failure "$@"
}

packageTollgate() {
    local version stage
    version=$(sed -n 's/^project(Tollgate VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
    stage=$build/stage/Tollgate
    rm -rf "$build/stage"
    cmake --install "$build" --prefix "$stage"
    mkdir -p "$top/dist"
    local zipFile=$top/dist/Tollgate-$version-windows-x64.zip
    rm -f "$zipFile"
    (cd "$build/stage" && zip -q -r -X "$zipFile" Tollgate)
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$top/dist/Tollgate-$version-setup.exe" \
        "$top/installer/windows/Tollgate.nsi"
    log "made $zipFile and $top/dist/Tollgate-$version-setup.exe"
}

step=${1:-all}
[ $# -gt 0 ] && shift
case "$step" in
all) setup; skipWithoutCache; buildTollgate; testTollgate "$@"; packageTollgate ;;
ci) ciLane ;;
qt) setup; buildQt ;;
build) setup; buildTollgate ;;
test) setup; skipWithoutCache; testTollgate "$@" ;;
package) setup; packageTollgate ;;
*) log "unknown step: $step"; exit 2 ;;
esac
