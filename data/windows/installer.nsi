; The Windows installer, built on Linux with Debian's nsis (makensis) by
; scripts/windows-installer, which defines VERSION, STAGE (the folder of files
; to install), ICON, LICENSE and OUTFILE.
;
; Installs the program and its DLLs under Program Files, Start-menu entries
; for it and for the sensor publisher, optionally entries that start either
; at logon, and an uninstaller registered in Apps & Features. Silent with
; /S; /LOGON and /PUBLISH select the logon entries then.

; 64-bit: it installs a 64-bit program, and builds and runs where no 32-bit code can.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

!define APP "Korvid Halvane"
!define PUBLISHER "The Korvid Halvane developers"
!define PUBLISHER_ENTRY "Korvid Halvane sensor publisher"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
Caption "${APP} ${VERSION} Setup"
UninstallCaption "${APP} Uninstall"
BrandingText "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}; zlib licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run ${APP}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgram
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${APP}" SecProgram
    SectionIn RO
    SetRegView 64
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\korvid-halvane.exe" "" \
        "$INSTDIR\korvid-halvane.ico" 0
    CreateShortcut "$SMPROGRAMS\${PUBLISHER_ENTRY}.lnk" "$INSTDIR\korvid-hwmon.exe" "" \
        "$INSTDIR\korvid-hwmon.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvid-halvane.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Start at logon" SecLogon
    SetShellVarContext all
    CreateShortcut "$SMSTARTUP\${APP}.lnk" "$INSTDIR\korvid-halvane.exe" "--use-saved" \
        "$INSTDIR\korvid-halvane.ico" 0
SectionEnd

Section /o "Publish sensors from LibreHardwareMonitor or HWiNFO at logon" SecPublish
    SetShellVarContext all
    CreateShortcut "$SMSTARTUP\${PUBLISHER_ENTRY}.lnk" "$INSTDIR\korvid-hwmon.exe" "" \
        "$INSTDIR\korvid-hwmon.exe" 0
SectionEnd

LangString DESC_Program ${LANG_ENGLISH} "The program, its Qt and runtime DLLs, and a Start-menu entry."
LangString DESC_Logon ${LANG_ENGLISH} "Start Korvid Halvane for every user at logon, with the pairs saved last and without the start-up question (--use-saved)."
LangString DESC_Publish ${LANG_ENGLISH} "Start korvid-hwmon for every user at logon: it publishes the readings of LibreHardwareMonitor's web server or HWiNFO's shared memory for Korvid Halvane (README.txt says how to switch either on)."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_Program)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecLogon} $(DESC_Logon)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPublish} $(DESC_Publish)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Through Explorer, which runs as the user: the program starts with the
; user's rights, not the installer's.
Function RunProgram
    Exec '"$WINDIR\explorer.exe" "$SMPROGRAMS\${APP}.lnk"'
FunctionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "${APP} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/LOGON" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecLogon} ${SF_SELECTED}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/PUBLISH" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecPublish} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$SMPROGRAMS\${APP}.lnk"
    Delete "$SMSTARTUP\${APP}.lnk"
    Delete "$SMPROGRAMS\${PUBLISHER_ENTRY}.lnk"
    Delete "$SMSTARTUP\${PUBLISHER_ENTRY}.lnk"
    ; What the installer put there, and nothing else: the settings that users
    ; saved (Korvid.INI in the Windows directory or in their own folders)
    ; stay theirs.
    !include "${STAGE}.uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
