#!/usr/bin/env bash
# Fails when a folder includes a header from a folder it may not use: the layers that
# CONTRIBUTING.md draws, from the program down to the platform interface. Each folder
# may include its own headers and those listed for it here.
#
#   scripts/check-layers.sh [TREE]        check TREE (default: this checkout)
#   scripts/check-layers.sh --self-test   check that crossing includes are caught
set -euo pipefail
script=$(realpath "${BASH_SOURCE[0]}")

if [ "${1:-}" = --self-test ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    top=$(cd "$(dirname "$script")/.." && pwd)
    "$script" "$top" >/dev/null || { echo "check-layers: the tree itself does not pass"; exit 1; }
    # Each case: a file, the include put into it, and whether the check must refuse it.
    cases=(
        "src/notify/WindowNotifier.cpp ui/MainWindow.h refuse"
        "src/platform/x11/KeyTable.cpp store/RuleSet.h refuse"
        "src/platform/linux/ProcProcessTable.cpp lang/ProgramPaths.h refuse"
        "src/store/RuleSet.cpp ../forms/Form.h refuse"
        "src/forms/Form.cpp ui/MainWindow.h refuse"
        "src/wayland/Backend.cpp platform/Platform.h refuse"
        "src/profile/IniDocument.cpp store/RuleSet.h refuse"
        "src/ui/MainWindow.cpp forms/Twips.h accept"
        "tools/render-windows/RenderWindows.cpp platform/fake/FakePlatform.h accept"
    )
    for entry in "${cases[@]}"; do
        read -r file include verdict <<<"$entry"
        rm -rf "$work/tree" && mkdir -p "$work/tree"
        cp -r "$top/src" "$top/tools" "$work/tree/"
        mkdir -p "$(dirname "$work/tree/$file")"
        echo "#include \"$include\"" >>"$work/tree/$file"
        if "$script" "$work/tree" >"$work/out"; then got=accept; else got=refuse; fi
        if [ "$got" != "$verdict" ]; then
            echo "check-layers self-test: $file including $include: expected $verdict, got $got"
            cat "$work/out"
            exit 1
        fi
        if [ "$got" = refuse ] && ! grep -q "$file" "$work/out"; then
            echo "check-layers self-test: the refusal does not name $file"
            exit 1
        fi
    done
    echo "check-layers self-test: ${#cases[@]} cases as expected"
    exit 0
fi

top=$(cd "${1:-$(dirname "$script")/..}" && pwd)

core="store lang survey profile platform"
declare -A allowed=(
    [store]="$core"
    [lang]="$core"
    [survey]="$core"
    [profile]=""
    [platform]="platform/x11 platform/linux platform/null platform/wayland platform/kwin platform/gnome platform/win32"
    [platform/win32]="platform"
    [platform/x11]="platform"
    [platform/linux]="platform"
    [platform/null]="platform"
    [platform/wayland]="platform platform/linux"
    [platform/kwin]="platform"
    [platform/gnome]="platform"
    [platform/fake]="platform"
    [forms]="$core"
    [ui]="forms $core"
    [notify]="forms $core"
    [app]="ui notify forms $core"
    [guard]="$core platform/linux"
    [guard/windows]="guard $core platform/win32"
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
