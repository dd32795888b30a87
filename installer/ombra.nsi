; Installer of Ombra Skype Recorder: per user, without administrator rights.
; Built by scripts/package.sh, which passes
;   EXE        the ombra.exe to install
;   GENERATED  the build's generated folder (version.nsh)
;   OUTFILE    the installer to write
Target amd64-unicode
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "${GENERATED}/version.nsh"
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

; The installer carries what it installs: an ombra.exe of another version stops the build.
!getdllversion "${EXE}" EXEVER_
!if "${EXEVER_1}.${EXEVER_2}.${EXEVER_3}" != "${VERSION}"
  !error "${EXE} says ${EXEVER_1}.${EXEVER_2}.${EXEVER_3}, the project ${VERSION}"
!endif

!define PRODUCT "Ombra Skype Recorder"
!define PUBLISHER "Ombra"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombra"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The main window and the command its tray menu's "Exit" gives.
!define MAIN_TITLE "Ombra Skype Recorder"
!define MAIN_RECORD_BUTTON 1001
!define CMD_EXIT 32772

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Ombra"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "../resources/ombra.ico"
!define MUI_UNICON "../resources/ombra.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\ombra.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running recorder the way its tray menu's Exit does and waits until the
; process is gone, so that its files can be replaced or removed. A recorder that
; does not end in time stops the (un)installation: nothing is left half done.
!macro CLOSE_RUNNING un
Function ${un}CloseRunning
  StrCpy $R1 0
  ${Do}
    FindWindow $R1 "#32770" "${MAIN_TITLE}" "" $R1
    ${If} $R1 = 0
      Return
    ${EndIf}
    ; Message boxes carry the same caption; the main window has the record button.
    GetDlgItem $R2 $R1 ${MAIN_RECORD_BUTTON}
  ${LoopWhile} $R2 = 0
  DetailPrint "Ending the running ${PRODUCT}"
  System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R3)'
  ; SYNCHRONIZE: enough to wait for the process.
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R3) p .R4'
  SendMessage $R1 ${WM_COMMAND} ${CMD_EXIT} 0 /TIMEOUT=5000
  StrCpy $R5 1
  ${If} $R4 P<> 0
    ; A recording in progress is finished and written first.
    System::Call 'kernel32::WaitForSingleObject(p R4, i 60000) i .R5'
    System::Call 'kernel32::CloseHandle(p R4)'
  ${Else}
    ${For} $R6 1 600
      System::Call 'user32::IsWindow(p R1) i .R7'
      ${If} $R7 = 0
        StrCpy $R5 0
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
  ${EndIf}
  ${If} $R5 = 0
    Return
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running. End it with Exit in its tray menu and try again." /SD IDOK
  Abort
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Ombra Skype Recorder" SecMain
  SectionIn RO
  Call CloseRunning
  SetOutPath "$INSTDIR"
  File "/oname=ombra.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\ombra.exe" "" "$INSTDIR\ombra.exe" 0 \
    SW_SHOWNORMAL "" "Records Skype calls into MP3 files"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\ombra.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKCU "${UNINST_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ; In KiB, as the list of installed programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Recordings, record.xml and the settings belong to the user and stay.
Section "Uninstall"
  Call un.CloseRunning
  Delete "$INSTDIR\ombra.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegValue HKCU "${RUN_KEY}" "Ombra"
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
