; The Halvaris setup program: installs the decoder filter, the Control Panel and the tools for all
; users of 64-bit Windows, registers the filter, and writes an uninstaller that takes it all
; away again. Built by CMake (target `installer`):
;
;   makensis -DVERSION=1.0.2 -DBIN_DIR=<built modules> -DOUTPUT_FILE=<setup.exe> halvaris.nsi
;
; Test builds only: -DTEST_PROCESSOR_CHECK_RESULT=0 replaces the processor check's answer, to
; show that a processor without SSE2 is refused. The shipped setup has no such switch.
;
; Exit codes (also in silent mode, /S): 0 installed; 1 cancelled by the user; and
!define EXIT_PROCESSOR_UNSUPPORTED 3  ; the processor lacks MMX, SSE or SSE2; nothing installed
!define EXIT_CONTROL_PANEL_RUNNING 4  ; a running Control Panel did not close
!define EXIT_PREVIOUS_NOT_REMOVED 5   ; the installed copy could not be uninstalled first
!define EXIT_FILES_NOT_WRITTEN 6      ; a file, the uninstaller or the Apps & Features entry
!define EXIT_REGISTRATION_FAILED 7    ; the decoder's DllRegisterServer failed
!define EXIT_SHORTCUTS_NOT_CREATED 8
; The uninstaller: 0 removed; 4, and 7 when the decoder's registration could not be removed, with
; nothing removed; 3010 removed, but files in use are deleted only when Windows restarts.

!ifndef VERSION
  !error "VERSION, BIN_DIR and OUTPUT_FILE must be defined (see the top of this file)"
!endif
!ifndef BIN_DIR
  !error "VERSION, BIN_DIR and OUTPUT_FILE must be defined (see the top of this file)"
!endif
!ifndef OUTPUT_FILE
  !error "VERSION, BIN_DIR and OUTPUT_FILE must be defined (see the top of this file)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include control_panel.nsh

!define PRODUCT "Halvaris"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvaris"
!define START_MENU_FOLDER "$SMPROGRAMS\Halvaris"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTPUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An installed copy is upgraded where it is, unless /D= or the directory page says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written ends the install; it is never skipped.
AllowSkipFiles off

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Ends the install with MESSAGE (shown unless silent) and exit code CODE.
!macro FAIL CODE MESSAGE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  SetErrorLevel ${CODE}
  Abort "${MESSAGE}"
!macroend

; Before anything is installed: the processor check, which also asks a running Control Panel to
; close. The helper DLL runs from the setup's temporary folder and is unloaded after each call.
Function .onInit
  SetRegView 64
  SetShellVarContext all
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TorvekInstallHelper.dll" "${BIN_DIR}\TorvekInstallHelper.dll"
  StrCpy $0 "error"
  System::Call '$PLUGINSDIR\TorvekInstallHelper.dll::VerifyCPU() i.r0 ?cu'
!ifdef TEST_PROCESSOR_CHECK_RESULT
  StrCpy $0 ${TEST_PROCESSOR_CHECK_RESULT}
!endif
  ${If} $0 != 1
    ${If} $0 == 0
      StrCpy $1 "This processor lacks MMX, SSE or SSE2, which the Halvaris decoder needs. Nothing was installed."
    ${Else}
      StrCpy $1 "The processor check could not be run ($0). Nothing was installed."
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP $1 /SD IDOK
    SetErrorLevel ${EXIT_PROCESSOR_UNSUPPORTED}
    Quit
  ${EndIf}
  !insertmacro WAIT_FOR_CONTROL_PANELS_TO_CLOSE $0
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "The Halvaris Control Panel is still running. Close it and run the setup again." /SD IDOK
    SetErrorLevel ${EXIT_CONTROL_PANEL_RUNNING}
    Quit
  ${EndIf}
FunctionEnd

; An installed copy is removed first, by its own uninstaller, wherever it was installed: an
; upgrade leaves neither old files nor a second registration or Apps & Features entry behind.
; The uninstaller runs from a copy so that it can be waited for (it removes its own original).
Section "-Remove the installed copy"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    DetailPrint "Removing the installed copy in $0"
    ClearErrors
    CopyFiles /SILENT "$0\Uninstall.exe" "$PLUGINSDIR\previous-uninstall.exe"
    ExecWait '"$PLUGINSDIR\previous-uninstall.exe" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
      !insertmacro FAIL ${EXIT_PREVIOUS_NOT_REMOVED} "The installed copy of Halvaris in $0 could not be removed (uninstaller exit code $1). Uninstall it, then run the setup again."
    ${EndIf}
    Delete "$PLUGINSDIR\previous-uninstall.exe"
  ${EndIf}
SectionEnd

Section "-Files"
  SetOutPath "$INSTDIR"
  SetOverwrite try
  ClearErrors
  File "${BIN_DIR}\halvarisDecoder.ax"
  File "${BIN_DIR}\ControlPanel.exe"
  File "${BIN_DIR}\Tapwright.exe"
  File "${BIN_DIR}\halvaris-decode.exe"
  File "${BIN_DIR}\graph-decode.exe"
  File "${BIN_DIR}\TorvekInstallHelper.dll"
  File "README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "Halvaris's files could not be written to $INSTDIR. Close programs that play video and run the setup again."
  ${EndIf}
SectionEnd

; Written before anything else can fail, so that whatever is on disk can be uninstalled.
Section "-Apps & Features entry"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ControlPanel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "The Apps & Features entry could not be written."
  ${EndIf}
SectionEnd

; DllRegisterServer of the decoder: its COM class and page, and its filter mapper entry.
Section "-Register the decoder"
  DetailPrint "Registering $INSTDIR\halvarisDecoder.ax"
  ClearErrors
  RegDLL "$INSTDIR\halvarisDecoder.ax"
  ${If} ${Errors}
    !insertmacro FAIL ${EXIT_REGISTRATION_FAILED} "The Halvaris decoder could not be registered with DirectShow. Halvaris is installed but will not decode; uninstall it, or register it again from the Control Panel."
  ${EndIf}
SectionEnd

Section "-Start menu"
  ClearErrors
  CreateDirectory "${START_MENU_FOLDER}"
  CreateShortcut "${START_MENU_FOLDER}\Halvaris Control Panel.lnk" "$INSTDIR\ControlPanel.exe"
  ; Movies and folders dropped on the shortcut reach Tapwright as its argument.
  CreateShortcut "${START_MENU_FOLDER}\Tapwright.lnk" "$INSTDIR\Tapwright.exe" "" "" "" \
      SW_SHOWNORMAL "" "Drop QuickTime movies or a folder of them here to fix their aperture"
  CreateShortcut "${START_MENU_FOLDER}\Uninstall Halvaris.lnk" "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    !insertmacro FAIL ${EXIT_SHORTCUTS_NOT_CREATED} "The Start menu shortcuts could not be created."
  ${EndIf}
SectionEnd

; An interactive install ends by offering to start the Control Panel; a silent one asks nothing.
Section "-Finish"
  ${IfNot} ${Silent}
    StrCpy $0 "$INSTDIR"
    System::Call '$PLUGINSDIR\TorvekInstallHelper.dll::CompleteHalvarisInstall(m r0) i ?cu'
  ${EndIf}
SectionEnd

; The class CLASSID, and for the filter its entry in DirectShow's filter category, when its
; InprocServer32 still names this copy's module (StrCmp ignores case, as paths do).
!define DECODER_CLSID "{8B498501-1218-11CF-ADC4-00A0D100041B}"
!define DECODER_PAGE_CLSID "{8B498502-1218-11CF-ADC4-00A0D100041B}"
!define LEGACY_FILTER_CATEGORY "{083863F1-70DE-11D0-BD40-00A0C911CE86}"
!macro REMOVE_CLASS_IF_OURS CLASSID
  ReadRegStr $0 HKCR "CLSID\${CLASSID}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\halvarisDecoder.ax"
    DetailPrint "Removing the registration of ${CLASSID} directly"
    DeleteRegKey HKCR "CLSID\${LEGACY_FILTER_CATEGORY}\Instance\${CLASSID}"
    DeleteRegKey HKCR "CLSID\${CLASSID}"
  ${EndIf}
!macroend

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; The install in reverse: the Control Panel closed, the decoder unregistered, the shortcuts, the
; files and the Apps & Features entry removed, and the folder if nothing else is left in it.
Section "Uninstall"
  !insertmacro BROADCAST_CLOSE_CONTROL_PANEL
  !insertmacro WAIT_FOR_CONTROL_PANELS_TO_CLOSE $0
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "The Halvaris Control Panel is still running. Close it and uninstall again." /SD IDOK
    SetErrorLevel ${EXIT_CONTROL_PANEL_RUNNING}
    Abort
  ${EndIf}

  ; The decoder's own DllUnregisterServer; when the module is missing or damaged, the keys its
  ; registration writes are removed directly, but only while they name this copy's module.
  ${If} ${FileExists} "$INSTDIR\halvarisDecoder.ax"
    DetailPrint "Unregistering $INSTDIR\halvarisDecoder.ax"
    UnRegDLL "$INSTDIR\halvarisDecoder.ax"
  ${EndIf}
  !insertmacro REMOVE_CLASS_IF_OURS "${DECODER_CLSID}"
  !insertmacro REMOVE_CLASS_IF_OURS "${DECODER_PAGE_CLSID}"
  ReadRegStr $0 HKCR "CLSID\${DECODER_CLSID}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\halvarisDecoder.ax"
    MessageBox MB_OK|MB_ICONSTOP "The Halvaris decoder could not be unregistered; nothing was removed." /SD IDOK
    SetErrorLevel ${EXIT_REGISTRATION_FAILED}
    Abort
  ${EndIf}

  Delete "${START_MENU_FOLDER}\Halvaris Control Panel.lnk"
  Delete "${START_MENU_FOLDER}\Tapwright.lnk"
  Delete "${START_MENU_FOLDER}\Uninstall Halvaris.lnk"
  RMDir "${START_MENU_FOLDER}"

  ; A module that a running player still holds is deleted when Windows restarts.
  Delete /REBOOTOK "$INSTDIR\halvarisDecoder.ax"
  Delete /REBOOTOK "$INSTDIR\ControlPanel.exe"
  Delete /REBOOTOK "$INSTDIR\Tapwright.exe"
  Delete /REBOOTOK "$INSTDIR\halvaris-decode.exe"
  Delete /REBOOTOK "$INSTDIR\graph-decode.exe"
  Delete /REBOOTOK "$INSTDIR\TorvekInstallHelper.dll"
  Delete /REBOOTOK "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "Some Halvaris files are in use; Windows deletes them when it restarts." /SD IDOK
    SetErrorLevel 3010
  ${EndIf}
SectionEnd
