#!/usr/bin/env bash
# Line coverage of src/ by the test suite, by folder: builds with gcc's --coverage in
# build-coverage/ (TOLLGATE_COVERAGE_BUILD_DIR), runs the tests (arguments go to ctest, for
# example -L core) and prints gcovr's summary; the full table lands in
# build-coverage/coverage.txt and the figures by folder in build-coverage/folders.txt.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_COVERAGE_BUILD_DIR:-$top/build-coverage}
"$top/scripts/setup.sh"
command -v gcovr >/dev/null || { echo "coverage: gcovr is not installed (Debian package gcovr)" >&2; exit 2; }
TOLLGATE_BUILD_DIR=$build CMAKE_BUILD_TYPE=Debug "$top/scripts/build.sh" -DTOLLGATE_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$(nproc)" -LE soak "$@" >"$build/ctest.log" 2>&1 || echo "coverage: some tests failed, see $build/ctest.log" >&2
tail -n 3 "$build/ctest.log"
gcovr --root "$top" --filter "$top/src/" --object-directory "$build" --gcov-ignore-parse-errors \
    --exclude-unreachable-branches --txt "$build/coverage.txt" --print-summary "$build" | tail -n 3
# Lines and covered lines per folder of src/, from the per-file table (a long name has its
# figures on the next line).
awk '$1 ~ /^src\// { name = $1; if (NF == 1) next }
    NF >= 3 && name != "" && $(NF > 3 ? 2 : 1) ~ /^[0-9]+$/ {
        first = (NF == 1 || $1 == name) ? 2 : 1
        n = split(name, part, "/"); folder = part[2]
        if (folder == "platform" && n > 3) folder = folder "/" part[3]
        lines[folder] += $first; hit[folder] += $(first + 1); name = ""
    }
    END { for (f in lines) printf "%-20s %6d lines %6d covered %5.1f %%\n", f, lines[f], hit[f], 100 * hit[f] / lines[f] }' \
    "$build/coverage.txt" | sort | tee "$build/folders.txt"
