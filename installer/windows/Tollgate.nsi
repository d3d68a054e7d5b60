; Tollgate's installer for Windows, built by scripts/windows.sh package with
;   makensis -DVERSION=x.y.z -DSTAGE=<installed tree> -DOUTFILE=<setup.exe> Tollgate.nsi
;
; Installs for all users into Program Files, with a Start-menu entry, the ".Tollgate"
; association and the event-log source. For unattended installs on many machines:
;   Tollgate-x.y.z-setup.exe /S [/DOCUMENT=<rule set>] [/AUTOSTART=1] [/ACCOUNTS=<names>] [/D=<folder>]
; /DOCUMENT copies a rule-set document into the program's Rules folder, which only
; administrators can change. /AUTOSTART=1 with a document installs the service
; TollgateGuard, which keeps Tollgate running with it in the sessions of the accounts
; /ACCOUNTS names (default @Users) and ends what it blocks; without a document it starts
; Tollgate at every login.

; A 64-bit installer for the 64-bit program.
Target amd64-unicode
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!ifndef VERSION
!error "VERSION is not defined"
!endif
!ifndef STAGE
!error "STAGE is not defined"
!endif
!ifndef OUTFILE
!define OUTFILE "Tollgate-${VERSION}-setup.exe"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tollgate"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Tollgate"
!define GUARD_KEY "SOFTWARE\Policies\Tollgate\Guard"

Name "Tollgate"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tollgate"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Tollgate"
VIAddVersionKey "FileDescription" "Tollgate installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Tollgate developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var document
Var autostart
Var accounts

Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/DOCUMENT=" $document
    ${If} ${Errors}
        StrCpy $document ""
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART=" $autostart
    ${If} ${Errors}
        StrCpy $autostart "0"
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/ACCOUNTS=" $accounts
    ${If} ${Errors}
    ${OrIf} $accounts == ""
        StrCpy $accounts "@Users"
    ${EndIf}
    ${If} $document != ""
    ${AndIfNot} ${FileExists} $document
        MessageBox MB_ICONSTOP "The rule-set document $document does not exist." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

Section "Tollgate"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Tollgate.lnk" "$INSTDIR\Tollgate.exe" "" "$INSTDIR\Tollgate.exe" 0

    ; The association for every user; Tollgate writes the same values for its user at start.
    WriteRegStr HKLM "Software\Classes\.Tollgate" "" "Tollgate.file"
    WriteRegStr HKLM "Software\Classes\Tollgate.file\DefaultIcon" "" "$INSTDIR\Icons\IconRed.ICO,0"
    WriteRegStr HKLM "Software\Classes\Tollgate.file\Shell\Open\Command" "" '"$INSTDIR\Tollgate.exe" %1'
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; Tollgate.exe carries the text of its one event, so the event viewer shows it plainly.
    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Tollgate.exe"
    WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

    ${If} $document != ""
        CreateDirectory "$INSTDIR\Rules"
        ${GetFileName} $document $R1
        CopyFiles /SILENT "$document" "$INSTDIR\Rules\$R1"
        StrCpy $document "$INSTDIR\Rules\$R1"
    ${EndIf}
    ${If} $autostart == "1"
        ${If} $document != ""
            ; The guard starts Tollgate in every session itself, and keeps it running.
            WriteRegStr HKLM "${GUARD_KEY}" "Document" "$document"
            WriteRegStr HKLM "${GUARD_KEY}" "Accounts" "$accounts"
            nsExec::ExecToLog '"$INSTDIR\TollgateGuard.exe" --install'
        ${Else}
            WriteRegStr HKLM "${RUN_KEY}" "Tollgate" '"$INSTDIR\Tollgate.exe"'
        ${EndIf}
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tollgate"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tollgate developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tollgate.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ; The guard first, which would start Tollgate again; then a running Tollgate, which
    ; holds its files, as the administrator asked.
    nsExec::Exec '"$INSTDIR\TollgateGuard.exe" --remove'
    nsExec::Exec 'taskkill /F /IM Tollgate.exe'
    DeleteRegKey HKLM "${GUARD_KEY}"
    Delete "$SMPROGRAMS\Tollgate.lnk"
    DeleteRegValue HKLM "${RUN_KEY}" "Tollgate"
    DeleteRegKey HKLM "Software\Classes\Tollgate.file"
    ReadRegStr $R0 HKLM "Software\Classes\.Tollgate" ""
    ${If} $R0 == "Tollgate.file"
        DeleteRegKey HKLM "Software\Classes\.Tollgate"
    ${EndIf}
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The program's own files only: a log or rule set an administrator put here stays.
    RMDir /r "$INSTDIR\Language"
    RMDir /r "$INSTDIR\Icons"
    RMDir /r "$INSTDIR\Help"
    RMDir /r "$INSTDIR\examples"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\imageformats"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\Tollgate.exe"
    Delete "$INSTDIR\TollgateGuard.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR\Rules"
    RMDir "$INSTDIR"
SectionEnd
