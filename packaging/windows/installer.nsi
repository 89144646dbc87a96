; The setup program for Windows, made by scripts/build-windows.sh:
;   makensis -DVERSION=0.5.0 -DLABEL=Test -DPROGRAMS=build-windows -DOUTFILE=...setup.exe installer.nsi
; Installs for every user into Program Files, with a Start-menu shortcut and an entry in the
; list of installed programs. /S installs (and, for the uninstaller, removes) without a window.
; The user's settings and log live in the user's application-data folder, which neither the
; installer nor the uninstaller touches: an upgrade over an older version keeps them.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Vorlen Software Update"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VorlenSoftwareUpdate"
!define PROGRAM "VorlenSoftwareUpdate.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
Icon "${PROGRAMS}\VorlenSoftwareUpdate.ico"
UninstallIcon "${PROGRAMS}\VorlenSoftwareUpdate.ico"
AutoCloseWindow true
ShowInstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${LABEL}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "Vorlen"
VIAddVersionKey "LegalCopyright" "Vorlen"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Started by the application's self-update, the setup runs while the old program is still
; quitting, and Windows refuses to replace a program that is running: wait up to 30 s for it.
Function WaitForProgramToEnd
    StrCpy $1 0
    loop:
        IfFileExists "$INSTDIR\${PROGRAM}" 0 done
        ClearErrors
        FileOpen $0 "$INSTDIR\${PROGRAM}" a
        IfErrors 0 opened
        IntOp $1 $1 + 1
        IntCmp $1 60 done
        Sleep 500
        Goto loop
    opened:
        FileClose $0
    done:
FunctionEnd

Section "Install"
    SetShellVarContext all
    Call WaitForProgramToEnd
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}\VorlenSoftwareUpdate.exe"
    File "${PROGRAMS}\vorlen-cli.exe"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION} (${LABEL})"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vorlen"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\VorlenSoftwareUpdate.exe"
    Delete "$INSTDIR\vorlen-cli.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
