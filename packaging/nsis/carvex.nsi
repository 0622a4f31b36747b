; The Windows setup program. One script makes both: ARCH=x64 (the x86_64 programs, with the
; i686 shell extension beside them for 32-bit processes) and ARCH=x86 (the i686 programs for
; 32-bit Windows).
;   makensis -DARCH=x64 -DSTAGE=<installed x86_64 folder> -DSTAGE32=<installed i686 folder>
;            -DICON=<carvex.ico> -DOUTFILE=<setup.exe> carvex.nsi
;   makensis -DARCH=x86 -DSTAGE=<installed i686 folder> -DICON=<carvex.ico> -DOUTFILE=<setup.exe> carvex.nsi

!ifndef ARCH | STAGE | OUTFILE | ICON
  !error "ARCH, STAGE, OUTFILE and ICON must be defined"
!endif

Unicode true
!if ${ARCH} == x64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma

!define VERSION "1.3.0.0"
!define PUBLISHER "Orvane Software"
!define CLSID "{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Carvex"

; The x86_64 setup writes the system's own (64-bit) registry view; a 32-bit system has one view.
!macro NativeView
  !if ${ARCH} == x64
    SetRegView 64
  !endif
!macroend

Name "Carvex"
OutFile "${OUTFILE}"
!if ${ARCH} == x64
  InstallDir "$PROGRAMFILES64\Orvane Software\Carvex"
!else
  InstallDir "$PROGRAMFILES\Orvane Software\Carvex"
!endif
RequestExecutionLevel admin
ShowInstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Carvex"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Carvex setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}."

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\License.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The class entries of the i686 shell extension in the 32-bit view, which 32-bit programs read;
; the handler keys under *\shellex and Directory\shellex are shared by both views and are
; written by the x86_64 library's own registration.
!macro RegisterClass32 path
  SetRegView 32
  GetFullPathName /SHORT $1 "${path}"
  StrCmp $1 "" 0 +2
    StrCpy $1 "${path}"
  WriteRegStr HKCR "CLSID\${CLSID}" "" "Carvex by ${PUBLISHER}"
  WriteRegStr HKCR "CLSID\${CLSID}\InprocServer32" "" "$1"
  WriteRegStr HKCR "CLSID\${CLSID}\InprocServer32" "ThreadingModel" "Apartment"
  !insertmacro NativeView
!macroend

; A first menu for a user who has none: a "Carvex" submenu that starts the installed program
; on the selection, and the path and summary items. Records of an existing menu stay as they are.
Function WriteFirstMenu
  ; verbhook.exe holds the one definition of the first menu and writes it only into a menu
  ; without records, so a user's own menu survives a reinstall.
  ExecWait '"$INSTDIR\verbhook.exe" default "$INSTDIR\carvex.exe"' $0
  StrCmp $0 "0" +2
    DetailPrint "The first menu could not be written"
FunctionEnd

Section "Carvex"
  !insertmacro NativeView
  SetOutPath "$INSTDIR"
  File "${STAGE}\carvex.exe"
  File "${STAGE}\carvex-cli.exe"
  File "${STAGE}\verbhook.dll"
  File "${STAGE}\verbhook.exe"
  File "${STAGE}\ZipSFX.bin"
  File "${STAGE}\Contents.htm"
  File "${STAGE}\License.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ClearErrors
  RegDLL "$INSTDIR\verbhook.dll"
  IfErrors 0 +2
    DetailPrint "verbhook.dll could not be registered"
!if ${ARCH} == x64
  SetOutPath "$INSTDIR\x86"
  File "${STAGE32}\verbhook.dll"
  !insertmacro RegisterClass32 "$INSTDIR\x86\verbhook.dll"
!endif

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Carvex.lnk" "$INSTDIR\carvex.exe"
  SetShellVarContext current

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Carvex"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\carvex.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size Windows shows is in KiB.
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  Call WriteFirstMenu
SectionEnd

; The user's own data stays: settings, the menu records and the hand-off key.
Section "Uninstall"
  !insertmacro NativeView
  UnRegDLL "$INSTDIR\verbhook.dll"
!if ${ARCH} == x64
  SetRegView 32
  DeleteRegKey HKCR "CLSID\${CLSID}"
  !insertmacro NativeView
  Delete "$INSTDIR\x86\verbhook.dll"
  RMDir "$INSTDIR\x86"
!endif
  Delete "$INSTDIR\carvex.exe"
  Delete "$INSTDIR\carvex-cli.exe"
  Delete "$INSTDIR\verbhook.dll"
  Delete "$INSTDIR\verbhook.exe"
  Delete "$INSTDIR\ZipSFX.bin"
  Delete "$INSTDIR\Contents.htm"
  Delete "$INSTDIR\License.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."

  SetShellVarContext all
  Delete "$SMPROGRAMS\Carvex.lnk"
  SetShellVarContext current
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
