#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while
# (FUZZ_SECONDS, 20 by default). Findings are left in build-fuzz/findings.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=(ini initext registry document)

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed; skipped"
    exit 0
fi
CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLGATE_FUZZ=ON \
    -DTOLLGATE_BENCH=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

passed=0
failed=0
for target in "${targets[@]}"; do
    corpus=$(mktemp -d)
    cp "$top/tests/fuzz/corpus/$target/"* "$corpus/"
    mkdir -p "$build/findings/$target"
    if (cd "$build/findings/$target" &&
        "$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
            "$corpus" >"$build/findings/$target.log" 2>&1); then
        echo "fuzz_$target: $(grep -E '^Done' "$build/findings/$target.log" || echo done)"
        passed=$((passed + 1))
    else
        echo "fuzz_$target: FAILED"
        tail -n 40 "$build/findings/$target.log"
        failed=$((failed + 1))
    fi
    rm -rf "$corpus"
done
echo "fuzz targets: $passed clean, $failed with findings"
[ "$failed" -eq 0 ]
