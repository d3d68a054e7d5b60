#!/usr/bin/env bash
# Reads every document in corpus/ with the Windows profile service (profile-read.c, built
# with MinGW and run under Wine) and with Tollgate's settings store (tollgate_profile_read
# from a Linux build), and fails naming the file and entry wherever the two read apart.
#
#   tests/windows/profile/compare.sh [BUILD]     BUILD: the Linux build, by default build/
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
reader=$build/bin/tollgate_profile_read

for tool in x86_64-w64-mingw32-gcc wine wineserver; do
    if ! command -v "$tool" >/dev/null; then
        echo "profile comparison SKIPPED: $tool is missing (scripts/setup.sh --windows installs it)"
        exit 0
    fi
done
if [ ! -x "$reader" ]; then
    echo "profile comparison: $reader is missing; build the target tollgate_profile_read" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tollgate-profile-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No window is shown, so no display either.
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

x86_64-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -o "$work/profile-read.exe" "$here/profile-read.c"
wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
files=()
while IFS= read -r -d '' file; do files+=("${file#"$here/corpus/"}"); done \
    < <(find "$here/corpus" -type f -print0 | sort -z)
# Wine's console ends lines with CR LF; every CR of a value is escaped.
(cd "$here/corpus" && wine "$work/profile-read.exe" "${files[@]}") | tr -d '\r' >"$work/windows.txt"
"$reader" "$here/corpus" <"$work/windows.txt" >"$work/tollgate.txt"

if [ "$(wc -l <"$work/windows.txt")" -ne "$(wc -l <"$work/tollgate.txt")" ]; then
    echo "profile comparison: the two readers printed different numbers of lines" >&2
    exit 1
fi
differences=$(paste -d '\n' "$work/windows.txt" "$work/tollgate.txt" | awk -F '\t' '
    /^file / { file = substr($0, 6); getline; next }
    { windows = $0; getline; if ($0 != windows) {
        split(windows, w, "\t"); split($0, t, "\t")
        printf "%s: [%s] %s (default %s): the profile service reads \"%s\", Tollgate \"%s\"\n",
            file, substr(w[1], 6), w[2], w[3], w[4], t[4] } }')
reads=$(grep -c '^read ' "$work/windows.txt")
if [ -n "$differences" ]; then
    printf '%s\n' "$differences"
    echo "profile comparison FAILED: $(printf '%s\n' "$differences" | wc -l) of $reads reads in ${#files[@]} files differ"
    exit 1
fi
echo "profile comparison: ${#files[@]} files, $reads reads, all alike"
