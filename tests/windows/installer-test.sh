#!/usr/bin/env bash
# The installer in the test's Wine prefix: a silent install for all users with a rule set
# and autostart, what it wrote, the guard's service running and starting Tollgate, and a
# silent uninstall that leaves nothing of the program.
#   installer-test.sh <build folder> <source folder>
set -euo pipefail
build=$1
top=$2
: "${WINEPREFIX:?run through scripts/windows.sh test}"
work=$(mktemp -d "${TMPDIR:-/tmp}/tollgate-installer-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "installer test: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Tollgate VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
cmake --install "$build" --prefix "$work/stage/Tollgate" >/dev/null
makensis -V1 -DVERSION="$version" -DSTAGE="$work/stage/Tollgate" -DOUTFILE="$work/setup.exe" \
    "$top/installer/windows/Tollgate.nsi"
printf '[Windows]\r\nCount=0\r\n[Processes]\r\nCount=0\r\n[General]\r\nPassword=pw\r\n' >"$work/lab.Tollgate"
document=$(winepath -w "$work/lab.Tollgate" 2>/dev/null)

query() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
queryDefault() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'; }

installed="$WINEPREFIX/drive_c/Program Files/Tollgate"
# A missing rule set is refused before anything is installed. (Wine hands back 0 as the
# installer's exit code whatever it sets, so what it left tells.)
wine "$work/setup.exe" /S "/DOCUMENT=${document%lab.Tollgate}missing.Tollgate" || true
[ ! -e "$installed" ] || fail "a missing rule set was accepted"

wine "$work/setup.exe" /S "/DOCUMENT=$document" /AUTOSTART=1 || fail "the install failed"
for file in Tollgate.exe TollgateGuard.exe Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll libstdc++-6.dll \
    Language/Deutsch.lng Icons/IconRed.ICO Help/TollgateHelp.htm Rules/lab.Tollgate Uninstall.exe; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
done
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tollgate.lnk" ] \
    || fail "no Start-menu entry"
[ "$(queryDefault 'HKLM\Software\Classes\.Tollgate')" = Tollgate.file ] || fail "no .Tollgate association"
command=$(queryDefault 'HKLM\Software\Classes\Tollgate.file\Shell\Open\Command')
[ "$command" = '"C:\Program Files\Tollgate\Tollgate.exe" %1' ] || fail "open command: $command"
# With a rule set, the guard starts Tollgate in the sessions, not a Run entry.
[ -z "$(query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Tollgate)" ] || fail "a Run entry beside the guard"
guardKey='HKLM\SOFTWARE\Policies\Tollgate\Guard'
[ "$(query "$guardKey" Document)" = 'C:\Program Files\Tollgate\Rules\lab.Tollgate' ] || fail "guard document: $(query "$guardKey" Document)"
[ "$(query "$guardKey" Accounts)" = '@Users' ] || fail "guard accounts: $(query "$guardKey" Accounts)"
service='HKLM\System\CurrentControlSet\Services\TollgateGuard'
[ "$(query "$service" ImagePath)" = '"C:\Program Files\Tollgate\TollgateGuard.exe"' ] || fail "service: $(query "$service" ImagePath)"
[ "$(query "$service" Start)" = 0x2 ] || fail "the service does not start with Windows"
[ "$(query "$service" ObjectName)" = LocalSystem ] || fail "the service runs as $(query "$service" ObjectName)"
# A process of this test's prefix whose command line matches.
running() {
    local pid
    for pid in $(pgrep -f "$1"); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
sessionProgram() { running 'Tollgate\.exe.*Rules.lab\.Tollgate'; }
for _ in $(seq 150); do sessionProgram && break; sleep 0.2; done
sessionProgram || fail "the service did not start Tollgate"
query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Tollgate' EventMessageFile | grep -q Tollgate.exe \
    || fail "no event-log source"

# The installed program answers for itself.
wine "$installed/Tollgate.exe" --version | tr -d '\r' | grep -qx "tollgate $version" || fail "the installed program does not run"

wine "$installed/Uninstall.exe" /S || fail "the uninstall failed"
# The uninstaller runs from a copy of itself and returns at once.
for _ in $(seq 300); do
    [ -e "$installed/Tollgate.exe" ] || [ -e "$installed/Uninstall.exe" ] || break
    sleep 0.2
done
leftovers=$(cd "$installed" 2>/dev/null && find . -type f ! -path './Rules/*' || true)
[ -z "$leftovers" ] || fail "left behind: $leftovers"
[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tollgate.lnk" ] || fail "Start-menu entry left"
[ -z "$(queryDefault 'HKLM\Software\Classes\.Tollgate')" ] || fail "association left"
[ -z "$(query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Tollgate)" ] || fail "autostart left"
[ -z "$(query "$service" ImagePath)" ] || fail "service left"
[ -z "$(query "$guardKey" Document)" ] || fail "guard configuration left"
! running 'TollgateGuard\.exe|Tollgate\.exe.*Rules.lab' || fail "the guard or Tollgate still runs"
echo "installer test: installed, checked and removed $work/setup.exe ($(stat -c %s "$work/setup.exe") bytes)"
