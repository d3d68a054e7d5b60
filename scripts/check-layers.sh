#!/usr/bin/env bash
# Fails when a folder includes a header from a folder it may not use: the layers that
# CONTRIBUTING.md draws, from the program down to the platform interface. Each folder
# may include its own headers and those listed for it here.
set -euo pipefail
top=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)

core="store lang survey platform"
declare -A allowed=(
    [store]="$core"
    [lang]="$core"
    [survey]="$core"
    [platform]="platform/x11 platform/linux platform/null"
    [platform/x11]="platform"
    [platform/linux]="platform"
    [platform/null]="platform"
    [platform/fake]="platform"
    [forms]="$core"
    [ui]="forms $core"
    [notify]="forms $core"
    [app]="ui notify forms $core platform/linux"
    [tools]="app ui notify forms $core platform/fake"
)

# The folder a file belongs to: its folder below src/ (tools/ counts as one).
folderOf() {
    local path=${1#"$top"/}
    case $path in
        tools/*) echo tools ;;
        src/*) path=${path#src/}; echo "${path%/*}" ;;
        *) echo "" ;;
    esac
}

failures=0
checked=0
while IFS= read -r -d '' file; do
    from=$(folderOf "$file")
    if [ -z "${allowed[$from]+set}" ]; then
        echo "check-layers: $file: folder $from has no entry in the layer table"
        failures=$((failures + 1))
        continue
    fi
    while IFS= read -r name; do
        # Beside the including file first, then from src/; anything else is not ours.
        if [ -f "${file%/*}/$name" ]; then
            target=$(realpath -m "${file%/*}/$name")
        elif [ -f "$top/src/$name" ]; then
            target=$top/src/$name
        else
            continue
        fi
        to=$(folderOf "$target")
        checked=$((checked + 1))
        [ "$to" = "$from" ] && continue
        if [[ " ${allowed[$from]} " != *" $to "* ]]; then
            echo "check-layers: ${file#"$top"/} includes $name from $to/, which $from/ may not use"
            failures=$((failures + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$top/src" "$top/tools" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [ "$failures" -gt 0 ]; then
    echo "check-layers: $failures include(s) cross a layer boundary"
    exit 1
fi
echo "check-layers: $checked includes in layer order"
