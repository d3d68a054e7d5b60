#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while
# (FUZZ_SECONDS, 20 by default), FUZZ_JOBS of them at a time (1 by default). Targets can be
# named as arguments. Each target's corpus grows in build-fuzz/corpus/TARGET, seeded from
# tests/fuzz/corpus; findings and logs are left in build-fuzz/findings.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-1}
targets=(ini initext registry document language pattern ctext proc shellwords)
[ $# -gt 0 ] && targets=("$@")

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed; skipped"
    exit 0
fi
CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLGATE_FUZZ=ON \
    -DTOLLGATE_BENCH=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# One target: its exit status says whether libFuzzer found a crash, leak or failed check.
run_target() {
    local target=$1 corpus=$build/corpus/$1 log=$build/findings/$1.log
    mkdir -p "$corpus" "$build/findings/$target"
    cp -n "$top/tests/fuzz/corpus/$target/"* "$corpus/"
    (cd "$build/findings/$target" &&
        "$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 "$corpus" >"$log" 2>&1)
}

summary() {
    local target=$1 log=$build/findings/$1.log
    local done cov
    done=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -n 1 || true)
    echo "fuzz_$target: ${done:-no summary}; $cov; corpus $(find "$build/corpus/$target" -type f | wc -l) files"
}

passed=0
failed=0
pids=()
names=()
wait_one() {
    local pid=${pids[0]} name=${names[0]}
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
    if wait "$pid"; then
        summary "$name"
        passed=$((passed + 1))
    else
        echo "fuzz_$name: FAILED"
        tail -n 40 "$build/findings/$name.log"
        failed=$((failed + 1))
    fi
}
for target in "${targets[@]}"; do
    [ ${#pids[@]} -ge "$jobs" ] && wait_one
    run_target "$target" &
    pids+=($!)
    names+=("$target")
done
while [ ${#pids[@]} -gt 0 ]; do
    wait_one
done
echo "fuzz targets: $passed clean, $failed with findings"
[ "$failed" -eq 0 ]
