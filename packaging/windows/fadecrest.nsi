; The Windows installer: both DLLs where VST 2 hosts look, an uninstaller listed with the installed
; apps. Built by makensis with VERSION, DLL64, DLL32, README, LICENSE and OUTFILE defined.
;
; On 64-bit Windows the 64-bit DLL goes into $INSTDIR (Common Files\VST2, or /D=) and the 32-bit
; one into the second folder (Common Files (x86)\VST2, or /VST32DIR=); on 32-bit Windows the 32-bit
; one alone goes into $INSTDIR. /S installs and uninstalls without a word.
Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Fadecrest"

Name "Fadecrest ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$COMMONFILES64\VST2"
Var Vst32Dir

!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_PAGE_CUSTOMFUNCTION_PRE skipOn32Bit
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 64-bit fadecrest.dll, for 64-bit hosts, goes into this folder."
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_DIRECTORYPAGE_VARIABLE $Vst32Dir
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 32-bit fadecrest.dll, for 32-bit hosts, goes into this folder."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; On 32-bit Windows only the second page (the 32-bit DLL's folder) is shown.
Function skipOn32Bit
  ${IfNot} ${RunningX64}
    Abort
  ${EndIf}
FunctionEnd

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $Vst32Dir "$COMMONFILES32\VST2"
  ${Else}
    ; /D= names the one folder there is.
    StrCmp $INSTDIR "$COMMONFILES64\VST2" 0 +2
      StrCpy $INSTDIR "$COMMONFILES32\VST2"
    StrCpy $Vst32Dir $INSTDIR
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/VST32DIR=" $1
  IfErrors +2
    StrCpy $Vst32Dir $1
FunctionEnd

Section
  ${If} ${RunningX64}
    SetOutPath $INSTDIR
    File "/oname=fadecrest.dll" "${DLL64}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Plugin64" "$INSTDIR\fadecrest.dll"
  ${EndIf}
  SetOutPath $Vst32Dir
  File "/oname=fadecrest.dll" "${DLL32}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Plugin32" "$Vst32Dir\fadecrest.dll"

  ; The uninstaller, the read-me and the licence live apart from the plug-ins: hosts scan those folders.
  SetOutPath "$PROGRAMFILES64\Fadecrest"
  File "/oname=README.txt" "${README}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$PROGRAMFILES64\Fadecrest\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Fadecrest ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvenna"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$PROGRAMFILES64\Fadecrest"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$PROGRAMFILES64\Fadecrest\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$PROGRAMFILES64\Fadecrest\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Removes what the installer wrote, wherever it was put; a folder goes only when nothing else is in it.
Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "Plugin64"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "Plugin32"
  ${IfThen} $0 != "" ${|} Delete $0 ${|}
  ${IfThen} $1 != "" ${|} Delete $1 ${|}
  ${GetParent} $0 $0
  ${GetParent} $1 $1
  ${IfThen} $0 != "" ${|} RMDir $0 ${|}
  ${IfThen} $1 != "" ${|} RMDir $1 ${|}
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir $INSTDIR
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
