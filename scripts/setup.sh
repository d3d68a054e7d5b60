#!/usr/bin/env bash
# Installs every Debian package that Tollgate's build, tests and program need.
# Safe to run again: packages already present are left alone.
#   scripts/setup.sh             the Linux build, tests and program (packages.txt)
#   scripts/setup.sh --windows   the Windows cross build, Wine and the installer (packages-windows.txt)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
list=$here/packages.txt
[ "${1:-}" = "--windows" ] && list=$here/packages-windows.txt
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$list")

missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"
