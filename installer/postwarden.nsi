; The setup program: both plug-in DLLs, each registered in the registry view
; of its own bitness by its own DllRegisterServer, an Add/Remove Programs
; entry, and an uninstaller that removes exactly what was installed. The
; user's settings live in the toolbar's own stream and are never touched.
;
; makensis -DSTAGE=DIR -DOUTDIR=DIR postwarden.nsi
;   STAGE holds x64\ and x86\ (postwarden.dll, and dnsbl.ini and msgicons\
;   where they exist) and uninstall.nsh, the list of those files, as
;   scripts/package.sh lays them out.

Unicode true
; A 64-bit setup: it registers the 64-bit DLL in its own process and the
; 32-bit one through the system's 32-bit regsvr32.
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!getdllversion "${STAGE}\x64\postwarden.dll" DLLVER_
!define VERSION "${DLLVER_1}.${DLLVER_2}.${DLLVER_3}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Postwarden"

Name "Postwarden ${VERSION}"
OutFile "${OUTDIR}\postwarden-setup-${VERSION}.exe"
InstallDir "$PROGRAMFILES64\Postwarden"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${DLLVER_1}.${DLLVER_2}.${DLLVER_3}.${DLLVER_4}"
VIAddVersionKey "ProductName" "Postwarden"
VIAddVersionKey "FileDescription" "Postwarden setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Orvale Software"
VIAddVersionKey "LegalCopyright" "Orvale Software"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Waits until a DLL already in place can be replaced: a toolbar that has the
; plug-in loaded holds the file. Silent setups give up with exit code 2.
!macro WaitUntilFree FILE
  ${Do}
    ${IfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    ClearErrors
    FileOpen $0 "${FILE}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      DetailPrint "Postwarden is in use (${FILE}); close the toolbar and run the setup again."
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Postwarden is in use by the toolbar.$\r$\n$\r$\nClose Dockrail (or remove the Postwarden button), then choose Retry." \
      IDRETRY +2
    Abort "Postwarden is in use; nothing was changed."
  ${Loop}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This setup program needs 64-bit Windows. On 32-bit Windows, register x86\postwarden.dll from the zip with regsvr32."
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Section "Postwarden"
  !insertmacro WaitUntilFree "$INSTDIR\x64\postwarden.dll"
  !insertmacro WaitUntilFree "$INSTDIR\x86\postwarden.dll"

  SetOutPath "$INSTDIR\x64"
  File /r "${STAGE}\x64\*.*"
  SetOutPath "$INSTDIR\x86"
  File /r "${STAGE}\x86\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The 64-bit view: loaded into this (64-bit) process.
  ClearErrors
  RegDLL "$INSTDIR\x64\postwarden.dll"
  ${If} ${Errors}
    DetailPrint "The 64-bit plug-in could not be registered."
    SetErrorLevel 3
  ${EndIf}
  ; The 32-bit view: through the 32-bit regsvr32, which writes under WOW6432Node.
  ClearErrors
  ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s "$INSTDIR\x86\postwarden.dll"' $1
  ${If} ${Errors}
  ${OrIf} $1 != 0
    DetailPrint "The 32-bit plug-in could not be registered ($1)."
    SetErrorLevel 4
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Postwarden"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvale Software"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\x64\postwarden.dll,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  !insertmacro WaitUntilFree "$INSTDIR\x64\postwarden.dll"
  !insertmacro WaitUntilFree "$INSTDIR\x86\postwarden.dll"
  ; A second uninstall finds nothing to unregister and says so.
  ${If} ${FileExists} "$INSTDIR\x64\postwarden.dll"
    UnRegDLL "$INSTDIR\x64\postwarden.dll"
  ${Else}
    DetailPrint "The 64-bit plug-in is not installed."
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\postwarden.dll"
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s /u "$INSTDIR\x86\postwarden.dll"'
  ${Else}
    DetailPrint "The 32-bit plug-in is not installed."
  ${EndIf}
  ; Exactly the files this setup installed (listed when it was built).
  !include "${STAGE}\uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
