#!/usr/bin/env bash
# Seeds mutants into the product code and says which of them the test suite kills: a
# measure of what the tests find, beside line coverage.
#
#   scripts/mutants.sh [--count N] [--seed S] [--list] [--only ID,...] [--coverage DIR] [FOLDER...]
#
# The mutants are drawn at random, but reproducibly for the same seed and sources, from the
# .cpp files below the given folders of src/ (by default store, profile, survey, platform/linux and
# platform/x11). Four kinds: a comparison flipped (== and !=, < and >=, > and <=), a
# condition negated, a statement removed, a constant changed. Each mutant is built in
# build-mutants/ (TOLLGATE_MUTANTS_BUILD_DIR) and the test binaries that link the mutated
# code are run, each within four minutes (a mutant that hangs a binary is killed by that
# limit); a mutant survives when they all pass. Mutants that do not build are counted
# apart. The results go to build-mutants/mutants.tsv, one line a mutant; --list prints the
# drawn mutants without building.
#
# --coverage DIR names a coverage build of the same sources and tests (scripts/coverage.sh
# leaves one in build-coverage/). Each of its test binaries is run there alone, once, and a
# mutant then runs only the binaries that ran its line: a binary that never runs the line
# cannot tell the mutant from the original. A line that no binary runs is "not reached" and
# counts among the survivors without a build.
#
# The same seed over the same sources gives the same mutants, so two revisions of the tests
# can be compared: run it in a checkout of each.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOLLGATE_MUTANTS_BUILD_DIR:-$top/build-mutants}
count=150
seed=1
list=0
only=""
coverage=""
folders=()
while [ $# -gt 0 ]; do
    case "$1" in
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --list) list=1; shift ;;
    --only) only=$2; shift 2 ;;
    --coverage) coverage=$(cd "$2" && pwd); shift 2 ;;
    -*) echo "mutants: unknown option $1" >&2; exit 2 ;;
    *) folders+=("$1"); shift ;;
    esac
done
[ ${#folders[@]} -gt 0 ] || folders=(store profile survey platform/linux platform/x11)

mkdir -p "$build"
plan=$build/plan.tsv
(cd "$top/src" && python3 - "$seed" "$count" "${folders[@]}") >"$plan" <<'EOF'
import os, random, re, sys

seed, count, folders = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
flips = {"==": "!=", "!=": "==", "<=": ">", ">=": "<", "<": ">=", ">": "<="}
comparison = re.compile(r"(?<=[\w)\]]\s)(==|!=|<=|>=|<|>)(?=\s[\w(!-])")
condition = re.compile(r"\b(if|while) \((.*)\)(\s*\{?)$")
number = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
skip = re.compile(r"^\s*(#|//|\*|/\*)|static_assert|template|QStringLiteral\(\"[^\"]*[<>=]")

def strings_removed(line):
    return re.sub(r'"(\\.|[^"\\])*"', lambda m: "_" * len(m.group(0)), line)

candidates = []
for folder in folders:
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if not name.endswith(".cpp"):
                continue
            path = os.path.join(root, name)
            for number_, line in enumerate(open(path, encoding="utf-8"), 1):
                text = line.rstrip("\n")
                if skip.search(text) or not text.strip():
                    continue
                bare = strings_removed(text)
                for m in comparison.finditer(bare):
                    mutated = text[:m.start()] + flips[m.group(1)] + text[m.end():]
                    candidates.append((path, number_, "comparison", text, mutated))
                m = condition.search(bare)
                if m:
                    start = text.index("(", m.start()) + 1
                    end = m.end(2)
                    mutated = text[:start] + "!(" + text[start:end] + ")" + text[end:]
                    candidates.append((path, number_, "negation", text, mutated))
                stripped = text.strip()
                if (stripped.endswith(";") and not stripped.startswith(("return", "break", "continue", "case", "default"))
                        and re.match(r"^[\w:.\->\[\]()*&]+\s*(\(|=|\+=|-=|\+\+|--|<<)", stripped)
                        and not re.match(r"^(const |auto |static |int |bool |qint|quint|QString |QByteArray |QList|std::)", stripped)
                        and text.count("(") == text.count(")")):
                    candidates.append((path, number_, "removal", text, text[: len(text) - len(text.lstrip())] + ";"))
                for m in number.finditer(bare):
                    value = int(m.group(1))
                    # Array sizes only break the build or change nothing.
                    if value > 100000 or bare[m.end():m.end() + 1] == "]":
                        continue
                    mutated = text[:m.start()] + str(value + 1 if value != 1 else 0) + text[m.end():]
                    candidates.append((path, number_, "constant", text, mutated))

random.Random(seed).shuffle(candidates)
for i, (path, line, kind, old, new) in enumerate(candidates[:count], 1):
    print("\t".join([str(i), path, str(line), kind, old.strip(), new.strip()]))
EOF

if [ "$list" -eq 1 ]; then
    cat "$plan"
    exit 0
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLGATE_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$build" >/dev/null
results=$build/mutants.tsv
# A run over some mutants replaces only their lines.
if [ -n "$only" ] && [ -f "$results" ]; then
    awk -F'\t' -v only=",$only," 'index(only, "," $1 ",") == 0' "$results" >"$results.kept"
    mv "$results.kept" "$results"
else
    : >"$results"
fi
restore() { [ -n "${mutatedFile:-}" ] && [ -f "$build/original" ] && cp "$build/original" "$mutatedFile"; }
trap restore EXIT

# The tests closest to a folder run first, so that most mutants die early.
firstTests() {
    case "$1" in
    store/* | profile/*) echo tollgate_core_tests ;;
    survey/*) echo tollgate_survey_tests ;;
    platform/linux/*) echo tollgate_platform_tests ;;
    platform/x11/*) echo tollgate_x11_tests ;;
    *) echo tollgate_ ;;
    esac
}

# Cases that took over 3 s in the normal build's last ctest run go last, so that a quick
# case that kills a mutant is not held up behind them.
costs=${TOLLGATE_MUTANTS_COSTS:-$top/build/Testing/Temporary/CTestCostData.txt}
slow=""
if [ -f "$costs" ]; then
    slow=$(awk '$3 > 3 { n = split($1, p, "."); if (n == 3) print p[2] "." p[3] }' "$costs" | sort -u | paste -sd: -)
fi

# Runs the binaries with this case filter, three at a time, since many cases mostly wait on a
# display or a child; prints the first that failed, in the order given, with its first
# failing case (for checking a later change to the tests against what that case killed).
runPass() {
    local filter=$1 binary name case
    shift
    rm -rf "$build/test-logs"
    mkdir -p "$build/test-logs"
    printf '%s\n' "$@" | xargs -P 3 -I{} sh -c 'cd "$1" && name=$(basename "$2") &&
        { timeout 240 "$2" --gtest_brief=1 --gtest_fail_fast --gtest_filter="$3" >"test-logs/$name.log" 2>&1 ||
            touch "test-logs/$name.failed"; }' _ "$build" {} "$filter"
    for binary in "$@"; do
        name=${binary##*/}
        if [ -f "$build/test-logs/$name.failed" ]; then
            case=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$build/test-logs/$name.log" | head -n 1)
            echo "$name ${case:-(crash or time limit)}"
            return
        fi
    done
}

# What each test binary of the coverage build runs: reach/BINARY lists path:line, and
# reach/code every line that gcov counts. Kept, since it only depends on the build.
reach=$build/reach
if [ -n "$coverage" ] && [ ! -d "$reach" ]; then
    rm -rf "$reach.part"
    mkdir -p "$reach.part"
    # The checkout the coverage build was made from, which need not be this one.
    source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$coverage/CMakeCache.txt")
    for binary in "$coverage"/bin/tollgate_*tests; do
        find "$coverage" -name '*.gcda' -delete
        (cd "$coverage" && timeout 600 "$binary" --gtest_brief=1 >/dev/null 2>&1) || true
        gcovr --root "$source" --filter "$source/src/" --object-directory "$coverage" --gcov-ignore-parse-errors \
            --json "$reach.part/coverage.json" 2>/dev/null
        python3 - "$reach.part/coverage.json" "$reach.part/${binary##*/}" "$reach.part/code" <<'EOF'
import json, sys
ran, code = open(sys.argv[2], "w"), open(sys.argv[3], "a")
for entry in json.load(open(sys.argv[1]))["files"]:
    for line in entry["lines"]:
        # Lines as gcov numbers them in the build, whatever the sources say now.
        where = "%s:%d\n" % (entry["file"].removeprefix("src/"), line["line_number"])
        code.write(where)
        if line["count"] > 0:
            ran.write(where)
EOF
    done
    sort -u -o "$reach.part/code" "$reach.part/code"
    rm "$reach.part/coverage.json"
    mv "$reach.part" "$reach"
fi
# The binaries among the arguments that ran path:line, all of them for a line that gcov
# does not count as code (a statement's continuation), all without --coverage.
reaching() {
    local where=$1 binary
    shift
    if [ -z "$coverage" ] || ! grep -qxF "$where" "$reach/code"; then
        printf '%s\n' "$@"
        return
    fi
    for binary in "$@"; do
        grep -qxF "$where" "$reach/${binary##*/}" 2>/dev/null && echo "$binary"
    done
    return 0
}
notReached() {
    [ -n "$coverage" ] && grep -qxF "$1" "$reach/code" && ! grep -qxF "$1" "$reach"/tollgate_*
}

killed=0
survived=0
stillborn=0
while IFS=$'\t' read -r id path line kind old new; do
    if [ -n "$only" ] && [[ ",$only," != *",$id,"* ]]; then
        continue
    fi
    mutatedFile=$top/src/$path
    if notReached "$path:$line"; then
        survived=$((survived + 1))
        printf '%s\t%s:%s\t%s\t%s\t%s\t%s\n' "$id" "$path" "$line" "$kind" "not reached" "$old" "$new" >>"$results"
        echo "mutant $id $path:$line $kind: not reached"
        continue
    fi
    cp "$mutatedFile" "$build/original"
    python3 - "$mutatedFile" "$line" "$new" <<'EOF'
import sys
path, line, new = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lines = open(path, encoding="utf-8").read().split("\n")
indent = lines[line - 1][: len(lines[line - 1]) - len(lines[line - 1].lstrip())]
lines[line - 1] = indent + new
open(path, "w", encoding="utf-8").write("\n".join(lines))
EOF
    stamp=$build/stamp
    touch "$stamp"
    sleep 1
    if ! cmake --build "$build" >"$build/last-build.log" 2>&1; then
        result=stillborn
        stillborn=$((stillborn + 1))
    else
        # The test binaries that link the mutated code are the ones the build made anew; of
        # those, the ones that run its line: the nearest alone first, then the others, then
        # the slow cases of all.
        mapfile -t binaries < <(reaching "$path:$line" $(find "$build/bin" "$build/tests" -type f -perm -u+x \
            -newer "$stamp" -name 'tollgate_*tests') |
            awk -v first="$(firstTests "$path")" '{ print (index($0, first) ? 0 : 1) "\t" $0 }' | sort | cut -f2-)
        killer=""
        if [ ${#binaries[@]} -gt 0 ]; then
            killer=$(runPass "-$slow" "${binaries[0]}")
            [ -n "$killer" ] || [ ${#binaries[@]} -eq 1 ] || killer=$(runPass "-$slow" "${binaries[@]:1}")
            [ -n "$killer" ] || [ -z "$slow" ] || killer=$(runPass "$slow" "${binaries[@]}")
        fi
        result=survived
        [ -z "$killer" ] || result="killed by $killer"
        if [ "$result" = survived ]; then
            survived=$((survived + 1))
        else
            killed=$((killed + 1))
        fi
    fi
    cp "$build/original" "$mutatedFile"
    printf '%s\t%s:%s\t%s\t%s\t%s\t%s\n' "$id" "$path" "$line" "$kind" "$result" "$old" "$new" >>"$results"
    echo "mutant $id $path:$line $kind: $result"
done <"$plan"
cmake --build "$build" >/dev/null
total=$((killed + survived))
echo "mutants: $killed killed, $survived survived, $stillborn did not build; killed $((total ? killed * 100 / total : 0)) % of those that built"
