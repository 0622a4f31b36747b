; The Windows setup program. One script makes both: ARCH=x64 (the x86_64 programs, with the
; i686 shell extension beside them for 32-bit processes) and ARCH=x86 (the i686 programs for
; 32-bit Windows).
;   makensis -DARCH=x64 -DSTAGE=<installed x86_64 folder> -DSTAGE32=<installed i686 folder>
;            -DICON=<carvex.ico> -DOUTFILE=<setup.exe> [-DMSIX=<signed shell package>] carvex.nsi
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
; A release signs the uninstaller too, before it is packed into the setup program.
!ifdef SIGN_COMMAND
  !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
!endif
; A file that cannot be written ends the setup: skipping it would leave a mixed installation.
AllowSkipFiles off

; A test makes the next version's setup from the same script.
!ifndef VERSION
  !define VERSION "1.3.0.0"
!endif
!define PUBLISHER "Orvane Software"
!define CLSID "{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Carvex"
; Active Setup runs the stub once in every account at its next logon, so each user gets the
; first menu, not only the account that ran the setup.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\{2D797F61-FE27-43B4-8DFD-5E741BA70240}"
!searchreplace ACTIVE_SETUP_VERSION "${VERSION}" "." ","
; A second component for the Windows 11 menu's package: it runs its own stub and keeps its own
; version, so the first menu's entry stays as it was.
!define ACTIVE_SETUP_SHELL_KEY "Software\Microsoft\Active Setup\Installed Components\{7F4251AA-207D-4A1F-B7FC-E85A01F5D669}"
!define CLASSES "Software\Classes"
!define PIECE_PROGID "Carvex.Piece"
; The piece icon's resource identifier in carvex.exe, from the header that the program uses.
!searchparse /file "../../ui/win32/res/resource_ids.h" "#define CARVEX_ICON_PIECE " PIECE_ICON_ID
; What Windows deployment tools read as "done, restart needed".
!define EXIT_REBOOT_NEEDED 3010

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
; An upgrade goes where the earlier installation is, a folder the user chose included.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
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
!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "shell_package.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\License.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The finish pages offer the restart when a file in use is left for the next start of Windows.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

; The package needs a signed release (Windows installs no unsigned package), so it comes only
; with one; the program that registers it in other accounts is made and signed here.
!if ${ARCH} == x64
  !ifdef MSIX
    !tempfile SHELL_STUB_FILE
    !makensis '-V1 "-DOUTFILE=${SHELL_STUB_FILE}" "-DVERSION=${VERSION}" "-DICON=${ICON}" shell_package_stub.nsi' = 0
    !ifdef SIGN_COMMAND
      !system '"${SIGN_COMMAND}" "${SHELL_STUB_FILE}"' = 0
    !endif
  !endif
!else ifdef MSIX
  !error "The shell package is for the x64 setup only"
!endif

!if ${ARCH} == x86
; 64-bit File Explorer loads only 64-bit shell extensions, and this setup would register the
; 32-bit one alone: the menu would never appear.
Function .onInit
  ${If} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This setup program is for 32-bit Windows. On 64-bit Windows, run carvex-${VERSION}-setup-x64.exe instead." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd
!endif

; Every file the setup lays down, for moving aside, restoring and removing them alike.
!macro ForEachInstalledFile MACRO
  !insertmacro ${MACRO} "carvex.exe"
  !insertmacro ${MACRO} "carvex-cli.exe"
  !insertmacro ${MACRO} "verbhook.dll"
  !insertmacro ${MACRO} "verbhook.exe"
  !insertmacro ${MACRO} "verbhookw.exe"
  !insertmacro ${MACRO} "ZipSFX.bin"
  !insertmacro ${MACRO} "Contents.htm"
  !insertmacro ${MACRO} "License.txt"
  !insertmacro ${MACRO} "uninstall.exe"
  !if ${ARCH} == x64
    !insertmacro ${MACRO} "x86\verbhook.dll"
    ; Listed in every x64 setup, so that an unsigned release replacing a signed one removes them.
    !insertmacro ${MACRO} "${SHELL_PACKAGE_FILE}"
    !insertmacro ${MACRO} "${SHELL_PACKAGE_STUB}"
    !insertmacro ${MACRO} "Assets\StoreLogo.png"
    !insertmacro ${MACRO} "Assets\Square44x44Logo.png"
    !insertmacro ${MACRO} "Assets\Square150x150Logo.png"
  !endif
!macroend

; File Explorer keeps verbhook.dll loaded after the first right-click, and a loaded or running
; file cannot be overwritten, but it can be renamed. So every earlier file is first moved
; aside within its folder; only when all of them moved are the new ones written, and a setup
; that fails puts the earlier ones back. Nothing is ever half old, half new.
Var Stamp
Var Blocked

!macro MoveAside name
  ${If} $Blocked == ""
  ${AndIf} ${FileExists} "$INSTDIR\${name}"
    ClearErrors
    Rename "$INSTDIR\${name}" "$INSTDIR\${name}.old-$Stamp"
    ${IfThen} ${Errors} ${|} StrCpy $Blocked "$INSTDIR\${name}" ${|}
  ${EndIf}
!macroend

!macro MoveBack name
  ${If} ${FileExists} "$INSTDIR\${name}.old-$Stamp"
    Delete "$INSTDIR\${name}"
    Rename "$INSTDIR\${name}.old-$Stamp" "$INSTDIR\${name}"
  ${EndIf}
!macroend

; A copy still loaded goes at the next start of Windows, which sets the reboot flag.
!macro DropAside name
  ${If} ${FileExists} "$INSTDIR\${name}.old-$Stamp"
    Delete /REBOOTOK "$INSTDIR\${name}.old-$Stamp"
  ${EndIf}
!macroend

!macro RemoveInstalled name
  Delete /REBOOTOK "$INSTDIR\${name}"
!macroend

Function .onInstFailed
  !insertmacro ForEachInstalledFile MoveBack
FunctionEnd

; The shell reads handler registrations afresh only when told that they changed.
!macro NotifyShell
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0x1000, p 0, p 0)'
!macroend

; In silent mode the exit code is the only report of a restart that is needed.
!macro ReportReboot
  IfRebootFlag 0 +3
    DetailPrint "Some files are in use; they will be replaced when Windows starts again."
    SetErrorLevel ${EXIT_REBOOT_NEEDED}
!macroend

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
; on the selection, and the path and summary items. verbhook.exe holds the one definition of
; the first menu and writes it only into a menu without records, so a user's own menu
; survives a reinstall. The account that runs the setup gets it now; every other account,
; through Active Setup, at its next logon. The stub is the window-less twin of verbhook.exe:
; a console program would flash a console window at logon.
Function WriteFirstMenu
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "Carvex context menu"
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$INSTDIR\verbhookw.exe" default "$INSTDIR\carvex.exe"'
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${ACTIVE_SETUP_VERSION}"
  WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
  nsExec::ExecToLog '"$INSTDIR\verbhook.exe" default "$INSTDIR\carvex.exe"'
  Pop $0
  ${If} $0 == "0"
    WriteRegStr HKCU "${ACTIVE_SETUP_KEY}" "Version" "${ACTIVE_SETUP_VERSION}"
  ${Else}
    DetailPrint "The first menu could not be written ($0)"
  ${EndIf}
FunctionEnd

; Double-clicking a piece opens its whole set in Build mode. The extension lists the ProgID among
; the programs that open it, and names it as its own default only when it has none: an
; association that the user or another program made stays. A user's own choice lives in
; UserChoice, which no setup may write. This writes the machine's classes, so only the
; machine's default is looked at; a user's default in HKCU outranks it anyway.
Function WriteAssociation
  WriteRegStr HKLM "${CLASSES}\${PIECE_PROGID}" "" "Carvex piece"
  ; A negative index names the icon by its resource identifier, which stays put when icons
  ; are added.
  WriteRegStr HKLM "${CLASSES}\${PIECE_PROGID}\DefaultIcon" "" "$INSTDIR\carvex.exe,-${PIECE_ICON_ID}"
  WriteRegStr HKLM "${CLASSES}\${PIECE_PROGID}\shell\open\command" "" '"$INSTDIR\carvex.exe" /b "%1"'
  WriteRegStr HKLM "${CLASSES}\.cvx\OpenWithProgids" "${PIECE_PROGID}" ""
  ReadRegStr $0 HKLM "${CLASSES}\.cvx" ""
  ${If} $0 == ""
    WriteRegStr HKLM "${CLASSES}\.cvx" "" "${PIECE_PROGID}"
  ${EndIf}
FunctionEnd

!macro RemoveAssociation
  DeleteRegKey HKLM "${CLASSES}\${PIECE_PROGID}"
  DeleteRegValue HKLM "${CLASSES}\.cvx\OpenWithProgids" "${PIECE_PROGID}"
  ReadRegStr $0 HKLM "${CLASSES}\.cvx" ""
  ${If} $0 == "${PIECE_PROGID}"
    DeleteRegValue HKLM "${CLASSES}\.cvx" ""
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${CLASSES}\.cvx\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "${CLASSES}\.cvx"
!macroend

!if ${ARCH} == x64
; File Explorer on Windows 11 puts only the commands of a package in its first menu; the
; package, registered with this folder as its external location, gives verbhook.dll that
; identity. Windows 10 has no such menu and needs nothing. Nothing here is fatal: the classic
; menu, under "Show more options", works without it.
Function RegisterShellPackage
!ifdef MSIX
  !insertmacro WindowsBuild $0
  ${If} $0 < ${WINDOWS11_FIRST_BUILD}
    DetailPrint "Windows build $0 is older than Windows 11: its menu needs no shell package."
    Return
  ${EndIf}
  ; Every other account registers it at its next logon, through Active Setup. The entry's
  ; version is the time of this install, so that a reinstall after an uninstall (which removed
  ; the package from every account) reaches the accounts that had it before.
  ${GetTime} "" "LS" $1 $2 $3 $4 $5 $6 $7
  StrCpy $8 "$3,$2$1,$5$6,$7"
  WriteRegStr HKLM "${ACTIVE_SETUP_SHELL_KEY}" "" "Carvex Windows 11 menu"
  WriteRegStr HKLM "${ACTIVE_SETUP_SHELL_KEY}" "StubPath" '"$INSTDIR\${SHELL_PACKAGE_STUB}"'
  WriteRegStr HKLM "${ACTIVE_SETUP_SHELL_KEY}" "Version" $8
  WriteRegDWORD HKLM "${ACTIVE_SETUP_SHELL_KEY}" "IsInstalled" 1
  ; The account that runs the setup registers it now. An elevated setup still runs as the
  ; account that started it, except when a standard user typed an administrator's name and
  ; password: then that administrator gets it now and the user at the next logon.
  DetailPrint "Registering the shell package for the Windows 11 menu"
  !insertmacro AddShellPackageCommand "$INSTDIR" $0
  nsExec::ExecToLog $0
  Pop $0
  ${If} $0 == "0"
    WriteRegStr HKCU "${ACTIVE_SETUP_SHELL_KEY}" "Version" $8
  ${Else}
    ; Without this account's version, Active Setup tries again at its next logon.
    DetailPrint "The Windows 11 menu could not be registered ($0); the classic menu is installed."
  ${EndIf}
!else
  DetailPrint "This release is unsigned: the Windows 11 menu was skipped; the classic menu is installed."
  DeleteRegKey HKLM "${ACTIVE_SETUP_SHELL_KEY}"
!endif
FunctionEnd
!endif

Section "Carvex"
  !insertmacro NativeView
  SetOutPath "$INSTDIR"
  System::Call 'kernel32::GetTickCount() i .r0'
  StrCpy $Stamp $0
  ; Copies that an earlier upgrade left for the restart that has not come yet.
  Delete "$INSTDIR\*.old-*"
  Delete "$INSTDIR\x86\*.old-*"
  Delete "$INSTDIR\Assets\*.old-*"

  StrCpy $Blocked ""
  !insertmacro ForEachInstalledFile MoveAside
  ${If} $Blocked != ""
    DetailPrint "Cannot replace $Blocked"
    MessageBox MB_OK|MB_ICONSTOP "The setup cannot replace $Blocked.$\r$\n$\r$\nClose the programs that use it and run the setup again. The installed version was left as it was." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  File "${STAGE}\carvex.exe"
  File "${STAGE}\carvex-cli.exe"
  File "${STAGE}\verbhook.dll"
  File "${STAGE}\verbhook.exe"
  File "${STAGE}\verbhookw.exe"
  File "${STAGE}\ZipSFX.bin"
  File "${STAGE}\Contents.htm"
  File "${STAGE}\License.txt"
!ifdef MSIX
  File "/oname=${SHELL_PACKAGE_FILE}" "${MSIX}"
  File "/oname=${SHELL_PACKAGE_STUB}" "${SHELL_STUB_FILE}"
  !delfile "${SHELL_STUB_FILE}"
  ; The logos the package names are in the package and in its external location too: which of
  ; the two Windows reads them from is not said where it matters, and a logo it cannot find
  ; fails the registration.
  SetOutPath "$INSTDIR\Assets"
  File "../msix/Assets/StoreLogo.png"
  File "../msix/Assets/Square44x44Logo.png"
  File "../msix/Assets/Square150x150Logo.png"
  SetOutPath "$INSTDIR"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
!if ${ARCH} == x64
  SetOutPath "$INSTDIR\x86"
  File "${STAGE32}\verbhook.dll"
  SetOutPath "$INSTDIR"
!endif
  !insertmacro ForEachInstalledFile DropAside

  ClearErrors
  RegDLL "$INSTDIR\verbhook.dll"
  IfErrors 0 +2
    DetailPrint "verbhook.dll could not be registered"
!if ${ARCH} == x64
  !insertmacro RegisterClass32 "$INSTDIR\x86\verbhook.dll"
!endif
  Call WriteAssociation
  !insertmacro NotifyShell

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
!if ${ARCH} == x64
  Call RegisterShellPackage
!endif
  !insertmacro ReportReboot
SectionEnd

; The user's own data stays: settings, the menu records and the hand-off key. A file still in
; use (the shell extension in File Explorer) goes at the next start of Windows.
Section "Uninstall"
  !insertmacro NativeView
!if ${ARCH} == x64
  ; Every account's registration goes, before File Explorer is told that the classes changed.
  !insertmacro WindowsBuild $0
  ${If} $0 >= ${WINDOWS11_FIRST_BUILD}
    DetailPrint "Removing the shell package of the Windows 11 menu"
    nsExec::ExecToLog `${POWERSHELL_COMMAND} Get-AppxPackage -AllUsers -Name ${SHELL_PACKAGE_NAME} | Remove-AppxPackage -AllUsers"`
    Pop $0
    ${If} $0 != "0"
      DetailPrint "The shell package could not be removed ($0)"
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${ACTIVE_SETUP_SHELL_KEY}"
!endif
  !insertmacro RemoveAssociation
  UnRegDLL "$INSTDIR\verbhook.dll"
!if ${ARCH} == x64
  SetRegView 32
  DeleteRegKey HKCR "CLSID\${CLSID}"
  !insertmacro NativeView
!endif
  !insertmacro NotifyShell
  !insertmacro ForEachInstalledFile RemoveInstalled
  Delete /REBOOTOK "$INSTDIR\*.old-*"
!if ${ARCH} == x64
  Delete /REBOOTOK "$INSTDIR\x86\*.old-*"
  RMDir /REBOOTOK "$INSTDIR\x86"
  Delete /REBOOTOK "$INSTDIR\Assets\*.old-*"
  RMDir /REBOOTOK "$INSTDIR\Assets"
!endif
  RMDir /REBOOTOK "$INSTDIR"
  RMDir "$INSTDIR\.."

  SetShellVarContext all
  Delete "$SMPROGRAMS\Carvex.lnk"
  SetShellVarContext current
  DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro ReportReboot
SectionEnd
