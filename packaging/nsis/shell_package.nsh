; The Windows 11 menu needs the shell package registered for each account: shared by the setup
; program, which registers it for the account that runs it, and by shell_package_stub.nsi,
; which Active Setup starts in every other account.

!include "WordFunc.nsh"

!define SHELL_PACKAGE_NAME "OrvaneSoftware.Carvex"
!define SHELL_PACKAGE_FILE "carvex-shell.msix"
!define SHELL_PACKAGE_STUB "carvex-shell.exe"
; The first build of Windows 11; it still reports itself as version 10.0.
!define WINDOWS11_FIRST_BUILD 22000
; Windows PowerShell 5.1 ships with every Windows 11; nsExec starts it with no console window.
; With errors made fatal, a failed deployment ends it with exit code 1.
!define POWERSHELL_COMMAND `"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -Command "$$ErrorActionPreference = 'Stop';`

; The command that registers the package in FOLDER for the account that runs it, in OUT. The
; package takes the folder as its external location: the programs stay where the setup put
; them. PowerShell reads a quote inside a single-quoted string as two.
!macro AddShellPackageCommand FOLDER OUT
  ${WordReplace} "${FOLDER}" "'" "''" "+" ${OUT}
  StrCpy ${OUT} `${POWERSHELL_COMMAND} Add-AppxPackage -Path '${OUT}\${SHELL_PACKAGE_FILE}' -ExternalLocation '${OUT}'"`
!macroend

; The build number of the running Windows, in OUT. RtlGetVersion, unlike GetVersionEx, tells
; the truth whatever the calling program's manifest declares about the versions it supports.
!macro WindowsBuild OUT
  Push $R9
  ; OSVERSIONINFOW: its size, major, minor and build numbers, platform, 128 characters.
  System::Call '*(i 276, i, i, i, i, &w128) p .R9'
  System::Call 'ntdll::RtlGetVersion(p R9)'
  System::Call '*$R9(i, i, i, i .s)'
  System::Free $R9
  Exch
  Pop $R9
  Pop ${OUT}
!macroend
