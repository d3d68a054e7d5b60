#!/usr/bin/env bash
# Builds Tollgate for Windows on Debian and tests it under Wine.
#
#   scripts/windows.sh            everything below, in order
#   scripts/windows.sh qt         Qt for MinGW, built once into the cache and reused
#   scripts/windows.sh build      Tollgate.exe and its tests, with the DLLs beside them
#   scripts/windows.sh test       the tests under Wine on a private X server
#   scripts/windows.sh package    the zip and the installer in dist/
#
# The cache lives outside the checkout: TOLLGATE_WINDOWS_CACHE, by default ~/.cache/tollgate-windows.
# With TOLLGATE_WINDOWS_NEED_CACHE=1 (as CI sets it), "test" and "all" skip with a message
# instead of spending most of an hour building Qt when the cache is absent.
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
        (cd "$src" && apt-get source -q "qt6-base=$qtVersion*")
    fi
    local qtSrc
    qtSrc=$(ls -d "$src"/qt6-base-$qtVersion*/ | head -n 1)
    local qtBuild=$cache/qt-build
    log "building Qt $qtVersion for MinGW in $qtBuild (most of an hour on two cores)"
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
        -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF -DFEATURE_imageformat_xpm=OFF
    nice cmake --build "$qtBuild" -j "$jobs"
    cmake --install "$qtBuild"
    touch "$qtPrefix/.complete"
    rm -rf "$qtBuild"
    log "Qt installed in $qtPrefix"
}

case "${1:-all}" in
qt) setup; buildQt ;;
*) log "unknown step: $1"; exit 2 ;;
esac
