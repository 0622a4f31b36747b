; Registers the shell package beside this program for the account that runs it: what Active
; Setup starts at each account's next logon. PowerShell is a console program and would flash
; a console window over the logon screen if Active Setup started it; this program has no
; window of its own and starts PowerShell hidden. carvex.nsi makes it:
;   makensis -DOUTFILE=<exe> -DVERSION=<version> -DICON=<carvex.ico> shell_package_stub.nsi

!ifndef OUTFILE | VERSION | ICON
  !error "OUTFILE, VERSION and ICON must be defined"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
Name "Carvex"
OutFile "${OUTFILE}"
Icon "${ICON}"
; Each account registers the package for itself; no elevation is needed or wanted at logon.
RequestExecutionLevel user
SilentInstall silent

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Carvex"
VIAddVersionKey /LANG=1033 "CompanyName" "Orvane Software"
VIAddVersionKey /LANG=1033 "FileDescription" "Carvex Windows 11 menu registration"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 Orvane Software."

!include "LogicLib.nsh"
!include "shell_package.nsh"

Section
  !insertmacro AddShellPackageCommand "$EXEDIR" $0
  nsExec::Exec $0
  Pop $0
  ; Active Setup ignores the exit code, but whoever runs this by hand reads it.
  ${If} $0 != "0"
    SetErrorLevel 1
  ${EndIf}
SectionEnd
