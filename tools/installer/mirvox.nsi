; The Mirvox installer: a 64-bit NSIS installer with Japanese texts. tools/package.sh passes
; VERSION (three parts), SRCDIR (folder holding Mirvox.exe, read1st.htm, x64\ and x86\mirvox_zmbv.dll),
; ICON and OUTFILE.
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Mirvox"
!define PUBLISHER "Veldrane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\Veldrane Products\${PRODUCT}"
!define DRIVERS32 "Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
!define CODEC_VALUE "vidc.zmbv"
!define CODEC_DLL "mirvox_zmbv.dll"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PRODUCT}.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\read1st.htm"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "© ${PUBLISHER}"

; The shortcut and the uninstall entry are for every user, like the Program Files folder.
Function .onInit
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "${PRODUCT}"
    SetOutPath "$INSTDIR"
    File "${SRCDIR}\${PRODUCT}.exe"
    File "${SRCDIR}\read1st.htm"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The working folder is the install folder: the About box opens read1st.htm from there.
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PRODUCT}.exe" "" "$INSTDIR\${PRODUCT}.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The screen codec for every program of the machine: the driver of one bitness into its system folder
; and under Drivers32 in the same registry view, only where vidc.zmbv is absent or already ours; a
; ZMBV driver of another program stays as it is. The installer runs 64-bit, so System32 is the
; 64-bit folder. What it adds is noted under the uninstall key for the uninstaller; a registration of
; ours made by hand from the zip stays the user's.
!macro RegisterCodec BITS SOURCE FOLDER
    SetRegView 64
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "CodecAdded${BITS}"
    SetRegView ${BITS}
    ClearErrors
    ReadRegStr $0 HKLM "${DRIVERS32}" "${CODEC_VALUE}"
    ${If} ${Errors}
        StrCpy $0 "${CODEC_DLL}"
        StrCpy $1 1
    ${EndIf}
    ${If} $0 == "${CODEC_DLL}"
        SetOutPath "${FOLDER}"
        File "${SRCDIR}\${SOURCE}\${CODEC_DLL}"
        WriteRegStr HKLM "${DRIVERS32}" "${CODEC_VALUE}" "${CODEC_DLL}"
        SetRegView 64
        ${If} $1 == 1
            WriteRegDWORD HKLM "${UNINSTALL_KEY}" "CodecAdded${BITS}" 1
        ${EndIf}
    ${EndIf}
    SetRegView 64
!macroend

!macro UnregisterCodec BITS FOLDER
    SetRegView 64
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "CodecAdded${BITS}"
    ${If} $1 == 1
        SetRegView ${BITS}
        ReadRegStr $0 HKLM "${DRIVERS32}" "${CODEC_VALUE}"
        ${If} $0 == "${CODEC_DLL}"
            DeleteRegValue HKLM "${DRIVERS32}" "${CODEC_VALUE}"
        ${EndIf}
        ; A player that still has the driver loaded keeps the file until the next restart.
        Delete /REBOOTOK "${FOLDER}\${CODEC_DLL}"
        SetRegView 64
    ${EndIf}
!macroend

Section "-Codec"
    !insertmacro RegisterCodec 64 x64 "$SYSDIR"
    !insertmacro RegisterCodec 32 x86 "$WINDIR\SysWOW64"
SectionEnd

Section "Uninstall"
    !insertmacro UnregisterCodec 64 "$SYSDIR"
    !insertmacro UnregisterCodec 32 "$WINDIR\SysWOW64"
    Delete "$INSTDIR\${PRODUCT}.exe"
    Delete "$INSTDIR\read1st.htm"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; The settings belong to the user; a silent uninstall keeps them.
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
        "${PRODUCT} の設定 (HKEY_CURRENT_USER\${SETTINGS_KEY}) も削除しますか?" /SD IDNO IDNO keep_settings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Veldrane Products"
keep_settings:
SectionEnd
