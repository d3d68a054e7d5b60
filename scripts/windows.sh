#!/usr/bin/env bash
# Builds Tollgate for Windows on Debian and tests it under Wine.
#
#   scripts/windows.sh            everything below, in order
#   scripts/windows.sh qt         Qt for MinGW, built once into the cache and reused
#   scripts/windows.sh build      Tollgate.exe and its tests, with the DLLs beside them
#   scripts/windows.sh test       the profile comparison, then the tests under Wine on a private X server
#   scripts/windows.sh profile    the profile comparison alone (tests/windows/profile): no Qt needed
#   scripts/windows.sh package    the zip and the installer in dist/
#   scripts/windows.sh ci         everything, as far as TOLLGATE_WINDOWS_BUDGET seconds allow (see ciLane)
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
    # Within QT_BUILD_SECONDS, when set: ninja, stopped, leaves a build that resumes.
    if [ -n "${QT_BUILD_SECONDS:-}" ]; then
        timeout --signal=INT --kill-after=60 "$QT_BUILD_SECONDS" nice cmake --build "$qtBuild" -j "$jobs" || return 1
    else
        nice cmake --build "$qtBuild" -j "$jobs"
    fi
    cmake --install "$qtBuild"
    touch "$qtPrefix/.complete"
    rm -rf "$qtBuild"
    log "Qt installed in $qtPrefix"
}

# CI: the lane within TOLLGATE_WINDOWS_BUDGET seconds, deciding on measured times, never
# on estimates alone. Qt is built for as long as the budget leaves beside the rest of the
# lane and then stopped; its build folder stays in the cache, so the next run goes on where
# this one stopped. The rest of the lane runs only when its last measured time (kept in the
# cache; until there is one, 20 minutes, where 15 were measured on two cores) still fits,
# and every step ends when the budget does.
ciLane() {
    local budget=${TOLLGATE_WINDOWS_BUDGET:-0} start=$SECONDS last said rest left
    # Under a minute and without Qt, so it runs whatever the budget.
    setup
    profileTest
    export TOLLGATE_PROFILE_COMPARED=1
    last=$(cat "$cache/lane-seconds" 2>/dev/null || true)
    said="took $((${last:-0} / 60)) minutes last time"
    [ -n "$last" ] || { last=$((20 * 60)); said="has not been measured here (20 minutes assumed)"; }
    # A quarter more than last time, for a busier machine.
    rest=$((last + last / 4))
    if ! qtReady; then
        left=$((budget - rest - 120))
        if [ "$left" -lt $((5 * 60)) ]; then
            log "SKIPPED: $((budget / 60)) minutes remain of CI's limit; Qt is not built yet, and the lane"
            log "beside it $said. 'scripts/windows.sh qt' builds Qt once."
            return 0
        fi
        log "building Qt for at most $((left / 60)) minutes"
        # A script of its own, so that a failing step inside stops it (errexit).
        QT_BUILD_SECONDS=$left "$0" qt || true
        if ! qtReady; then
            log "SKIPPED: Qt was not finished within the budget; the next run goes on with it"
            return 0
        fi
    fi
    left=$((budget - (SECONDS - start)))
    if [ "$left" -lt "$rest" ]; then
        log "SKIPPED: the lane $said, and only $((left / 60)) minutes remain of CI's limit"
        return 0
    fi
    log "the Windows lane has $((left / 60)) minutes; it $said"
    local laneStart=$SECONDS
    setup
    timeout --signal=INT --kill-after=60 "$left" "$0" build
    left=$((budget - (SECONDS - start)))
    timeout --signal=INT --kill-after=60 "$left" "$0" test
    left=$((budget - (SECONDS - start)))
    timeout --signal=INT --kill-after=60 "$left" "$0" package
    mkdir -p "$cache"
    echo $((SECONDS - laneStart)) >"$cache/lane-seconds"
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

# Reads the documents of tests/windows/profile/corpus with the Windows profile service
# under Wine and with Tollgate's reader from the Linux build, and fails where they differ.
profileTest() {
    [ "${TOLLGATE_PROFILE_COMPARED:-0}" = 1 ] && return 0
    local linux=${TOLLGATE_BUILD_DIR:-$top/build}
    [ -f "$linux/build.ninja" ] || cmake -S "$top" -B "$linux" -G Ninja >/dev/null
    cmake --build "$linux" --target tollgate_profile_read
    "$top/tests/windows/profile/compare.sh" "$linux"
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
all) setup; profileTest; skipWithoutCache; buildTollgate; testTollgate "$@"; packageTollgate ;;
ci) ciLane ;;
qt) setup; buildQt ;;
build) setup; buildTollgate ;;
test) setup; profileTest; skipWithoutCache; testTollgate "$@" ;;
profile) setup; profileTest ;;
package) setup; packageTollgate ;;
*) log "unknown step: $step"; exit 2 ;;
esac
