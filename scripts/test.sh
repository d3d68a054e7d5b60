#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
#
#   scripts/test.sh              the normal build (build/), a short fuzz pass, then every test
#   scripts/test.sh --sanitize   every test built with AddressSanitizer, UndefinedBehaviorSanitizer
#                                and LeakSanitizer in build-sanitize/ (TOLLGATE_SANITIZE_BUILD_DIR)
#
# Further arguments go to ctest (for example -L core).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sanitize=0
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=1
    shift
fi
"$top/scripts/setup.sh"
if [ "$sanitize" -eq 1 ]; then
    build=${TOLLGATE_SANITIZE_BUILD_DIR:-$top/build-sanitize}
    # Any report fails the test that caused it; leaks are reported when a test process ends.
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/scripts/lsan.supp:print_suppressions=0}
    TOLLGATE_BUILD_DIR=$build CMAKE_BUILD_TYPE=Debug "$top/scripts/build.sh" -DTOLLGATE_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE soak "$@"
    exit
fi
build=${TOLLGATE_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
FUZZ_JOBS=${FUZZ_JOBS:-$(nproc)} "$top/scripts/fuzz.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
