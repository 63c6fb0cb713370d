; The Halvaris setup program: installs the decoder filter, the Control Panel and the tools for all
; users of 64-bit Windows, registers the filter, and writes an uninstaller that takes it all
; away again. Built by CMake (target `installer`):
;
;   makensis -DVERSION=1.0.2 -DBIN_DIR=<built modules> -DSUPPORT_DLL=<HalvarisSetupSupport.dll>
;            -DOUTPUT_FILE=<setup.exe> halvaris.nsi
;
; -DSIGN_COMMAND='<signing tool> "%1"' signs the uninstaller and the setup as makensis writes
; them (!uninstfinalize, !finalize); the script need not change for it.
; Test builds only: -DTEST_PROCESSOR_CHECK_RESULT=0 replaces the processor check's answer, to
; show that a processor without SSE2 is refused; -DTEST_ADMINISTRATOR_CHECK_RESULT=0 replaces
; the answer to "is this an administrator?". The shipped setup has no such switch.
;
; Whatever goes wrong ends with the previous install whole, or the new one whole, or (when
; writing the new one's files fails after the previous one was removed) with nothing installed.
; Exit codes (also in silent mode, /S): 0 installed; 1 cancelled by the user; and
!define EXIT_PROCESSOR_UNSUPPORTED 3  ; the processor lacks MMX, SSE or SSE2, or the check could
                                      ; not run; nothing changed
!define EXIT_CONTROL_PANEL_RUNNING 4  ; a running Control Panel did not close; nothing changed
!define EXIT_PREVIOUS_NOT_REMOVED 5   ; a file of the installed copy is in use, or its uninstaller
                                      ; failed; the installed copy is left as it was
!define EXIT_FILES_NOT_WRITTEN 6      ; a file, the uninstaller or the Apps & Features entry; what
                                      ; this setup wrote is removed again
!define EXIT_REGISTRATION_FAILED 7    ; the decoder's DllRegisterServer failed (installed, entry)
!define EXIT_SHORTCUTS_NOT_CREATED 8  ; installed and registered, but without shortcuts
!define EXIT_ANOTHER_SETUP_RUNNING 9  ; another Halvaris setup or uninstaller ran on; nothing changed
!define EXIT_UNUSABLE_FOLDER 10       ; the install folder cannot work; nothing changed
!define EXIT_NOT_ADMINISTRATOR 11     ; not run as an administrator; nothing changed
!define EXIT_NEWER_INSTALLED 12       ; a newer version is installed (silent); nothing changed
; The uninstaller: 0 removed; 4, 7, 9 or 11 with nothing removed (as above); 13 when it is not
; in the installed copy's folder, nothing removed; 3010 removed, but files in use are deleted only
; when Windows restarts.
!define EXIT_NOT_THE_INSTALLED_COPY 13
; Both write what they do to %TEMP%\Halvaris-setup.log and %TEMP%\Halvaris-uninstall.log.

!ifndef VERSION
  !error "VERSION, BIN_DIR, SUPPORT_DLL and OUTPUT_FILE must be defined (see the top of this file)"
!endif
!ifndef BIN_DIR
  !error "VERSION, BIN_DIR, SUPPORT_DLL and OUTPUT_FILE must be defined (see the top of this file)"
!endif
!ifndef SUPPORT_DLL
  !error "VERSION, BIN_DIR, SUPPORT_DLL and OUTPUT_FILE must be defined (see the top of this file)"
!endif
!ifndef OUTPUT_FILE
  !error "VERSION, BIN_DIR, SUPPORT_DLL and OUTPUT_FILE must be defined (see the top of this file)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include control_panel.nsh

!define PRODUCT "Halvaris"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvaris"
!define START_MENU_FOLDER "$SMPROGRAMS\Halvaris"
; One setup or uninstaller at a time, across sessions.
!define SETUP_MUTEX "Global\HalvarisSetupOrUninstaller"
; Set by the setup for the previous copy's uninstaller, which runs while the setup holds the mutex.
!define SETUP_HOLDS_MUTEX "HALVARIS_SETUP_HOLDS_MUTEX"
!define SUPPORT "$PLUGINSDIR\HalvarisSetupSupport.dll"

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

!ifdef SIGN_COMMAND
  !uninstfinalize '${SIGN_COMMAND}'
  !finalize '${SIGN_COMMAND}'
!endif

; The uninstaller is this same program, so it shows the same version resource.
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup and uninstaller"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "Halvaris-${VERSION}-x64-setup.exe"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

Page directory "" "" LeaveDirectoryPage
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Log            ; the open log file
Var WrittenFiles   ; how many names of written files are on the stack, for a failed install
Var CreatedFolder  ; the outermost folder the install made for $INSTDIR, or ""

!macro LOG TEXT
  DetailPrint "${TEXT}"
  FileWriteUTF16LE $Log "${TEXT}$\r$\n"
!macroend

!macro OPEN_LOG NAME
  FileOpen $Log "$TEMP\${NAME}" w
  FileWriteWord $Log 0xFEFF
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  !insertmacro LOG "${PRODUCT} ${VERSION}, $2-$1-$0 $4:$5:$6: $CMDLINE"
!macroend

; Ends a section with MESSAGE (shown unless silent) and exit code CODE.
!macro FAIL CODE MESSAGE
  !insertmacro LOG "${MESSAGE} (exit code ${CODE})"
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  SetErrorLevel ${CODE}
  Abort "${MESSAGE}"
!macroend

; Ends .onInit or un.onInit, before anything changed, with MESSAGE and exit code CODE.
!macro QUIT CODE MESSAGE
  !insertmacro LOG "${MESSAGE} (exit code ${CODE})"
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  FileClose $Log
  SetErrorLevel ${CODE}
  Quit
!macroend

; Takes the mutex that lets one setup or uninstaller run at a time, or quits. A silent run waits
; up to a minute for the other to finish; a person is asked.
!macro TAKE_SETUP_MUTEX
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${SETUP_MUTEX}") p .R0'
  ${Do}
    StrCpy $R1 -1
    ${If} $R0 P<> 0
      ${If} ${Silent}
        System::Call 'kernel32::WaitForSingleObject(p R0, i 60000) i .R1'
      ${Else}
        System::Call 'kernel32::WaitForSingleObject(p R0, i 0) i .R1'
      ${EndIf}
    ${EndIf}
    ; The mutex is held until this program ends; one left by a program that crashed is ours too.
    ${If} $R1 = 0
    ${OrIf} $R1 = 0x80
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Another Halvaris setup or uninstaller is running. Let it finish, then press Retry." /SD IDCANCEL IDRETRY retry_mutex
    !insertmacro QUIT ${EXIT_ANOTHER_SETUP_RUNNING} "Another Halvaris setup or uninstaller is running; nothing was changed."
    retry_mutex:
  ${Loop}
!macroend

!macro REQUIRE_ADMINISTRATOR
  System::Call 'shell32::IsUserAnAdmin() i .r0'
!ifdef TEST_ADMINISTRATOR_CHECK_RESULT
  StrCpy $0 ${TEST_ADMINISTRATOR_CHECK_RESULT}
!endif
  ${If} $0 == 0
    !insertmacro QUIT ${EXIT_NOT_ADMINISTRATOR} "Halvaris installs for all users, which needs an administrator: run it as administrator. Nothing was changed."
  ${EndIf}
!macroend

; Removes the folder $INSTDIR when empty, and the empty folders above it up to TOP, which the
; install made (none when TOP is empty). REBOOTOK is "" or /REBOOTOK.
!macro REMOVE_INSTALL_FOLDERS TOP REBOOTOK
  RMDir ${REBOOTOK} "$INSTDIR"
  StrCpy $R0 "$INSTDIR"
  StrLen $R2 "${TOP}"
  ${Do}
    ; Up only while the folder lies below TOP (TOP is $INSTDIR or a folder above it).
    StrLen $R1 $R0
    StrCpy $R3 $R0 $R2
    ${If} $R2 = 0
    ${OrIf} $R1 <= $R2
    ${OrIf} $R3 != "${TOP}"
      ${Break}
    ${EndIf}
    ${GetParent} $R0 $R0
    RMDir $R0
  ${Loop}
!macroend

; The setup's own support functions run from its temporary folder.
Function .onInit
  SetRegView 64
  SetShellVarContext all
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TorvekInstallHelper.dll" "${BIN_DIR}\TorvekInstallHelper.dll"
  File "/oname=${SUPPORT}" "${SUPPORT_DLL}"
  ; The log is another run's until the mutex is ours.
  !insertmacro TAKE_SETUP_MUTEX
  !insertmacro OPEN_LOG "Halvaris-setup.log"
  !insertmacro REQUIRE_ADMINISTRATOR

  ; NSIS takes /D= only unquoted, and replaces a folder it cannot use with the default or a
  ; name with the refused characters left out (so does setting $INSTDIR): the folder is read
  ; from the command line as given, and an unusable one is refused.
  System::Call 'kernel32::GetCommandLineW() w .r0'
  System::Call '${SUPPORT}::RequestedFolderOnCommandLine(w r0, w "/D=", w .r1, i ${NSIS_MAX_STRLEN}) i .r3 ?u'
  ${If} $3 = 1
    StrCpy $0 $1
  ${Else}
    StrCpy $0 $INSTDIR
  ${EndIf}
  System::Call '${SUPPORT}::CheckInstallFolder(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ${If} $2 = 0
    StrCpy $INSTDIR $0
  ${ElseIf} ${Silent}
    !insertmacro QUIT ${EXIT_UNUSABLE_FOLDER} "$1 Nothing was installed."
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$1 Choose another folder."
  ${EndIf}

  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
    ${VersionCompare} $0 ${VERSION} $1
    ${If} $1 = 1
      ${If} ${Silent}
        !insertmacro QUIT ${EXIT_NEWER_INSTALLED} "Halvaris $0 is installed, which is newer than this setup's ${VERSION}; uninstall it first to go back. Nothing was changed."
      ${EndIf}
      MessageBox MB_YESNO|MB_ICONQUESTION "Halvaris $0 is installed, which is newer than this setup's ${VERSION}. Replace it with ${VERSION}?" IDYES replace_newer
      !insertmacro QUIT 1 "Cancelled: Halvaris $0 stays installed."
      replace_newer:
    ${EndIf}
  ${EndIf}

  ; A person sees the folder page first: the Control Panel is closed only once they have
  ; chosen to install.
  ${If} ${Silent}
    Call CheckProcessorAndControlPanel
    ${If} $R0 <> 0
      !insertmacro QUIT $R0 $R1
    ${EndIf}
  ${EndIf}
FunctionEnd

; The directory page: a folder that cannot work is refused with the reason.
Function LeaveDirectoryPage
  StrCpy $0 $INSTDIR
  System::Call '${SUPPORT}::CheckInstallFolder(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ${If} $2 <> 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$1 Choose another folder."
    Abort
  ${EndIf}
FunctionEnd

; The processor check, which also asks a running Control Panel to close, and the wait for it to
; end. $R0: 0, or the exit code with the message in $R1. The helper DLL is unloaded after the call.
Function CheckProcessorAndControlPanel
  StrCpy $0 "error"
  System::Call '$PLUGINSDIR\TorvekInstallHelper.dll::VerifyCPU() i.r0 ?cu'
!ifdef TEST_PROCESSOR_CHECK_RESULT
  StrCpy $0 ${TEST_PROCESSOR_CHECK_RESULT}
!endif
  StrCpy $R0 0
  ${If} $0 == 0
    StrCpy $R0 ${EXIT_PROCESSOR_UNSUPPORTED}
    StrCpy $R1 "This processor lacks MMX, SSE or SSE2, which the Halvaris decoder needs. Nothing was installed."
  ${ElseIf} $0 != 1
    StrCpy $R0 ${EXIT_PROCESSOR_UNSUPPORTED}
    StrCpy $R1 "The processor check could not be run ($0). Nothing was installed."
  ${Else}
    !insertmacro WAIT_FOR_CONTROL_PANELS_TO_CLOSE $0
    ${If} $0 != 1
      StrCpy $R0 ${EXIT_CONTROL_PANEL_RUNNING}
      StrCpy $R1 "The Halvaris Control Panel is still running. Close it and run the setup again."
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "-Check the processor"
  ${IfNot} ${Silent}
    Call CheckProcessorAndControlPanel
    ${If} $R0 <> 0
      !insertmacro FAIL $R0 $R1
    ${EndIf}
  ${EndIf}
SectionEnd

; An installed copy is removed first, by its own uninstaller, wherever it was installed: an
; upgrade leaves neither old files nor a second registration or Apps & Features entry behind.
; A file of it that a program holds would stay until a restart: the setup then stops with that
; copy untouched. The uninstaller runs from a copy so that it can be waited for.
Section "-Remove the installed copy"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    System::Call '${SUPPORT}::FindFileInUse(w r0, w .r2, i ${NSIS_MAX_STRLEN}) i .r3 ?u'
    ${If} $3 <> 0
      !insertmacro FAIL ${EXIT_PREVIOUS_NOT_REMOVED} "The installed copy of Halvaris in $0 cannot be replaced now: $2 Close the programs that use it (video players and editors, graph-decode), then run the setup again. The installed copy was left as it was."
    ${EndIf}
    !insertmacro LOG "Removing the installed copy in $0"
    ClearErrors
    CopyFiles /SILENT "$0\Uninstall.exe" "$PLUGINSDIR\previous-uninstall.exe"
    System::Call 'kernel32::SetEnvironmentVariableW(w "${SETUP_HOLDS_MUTEX}", w "1")'
    ExecWait '"$PLUGINSDIR\previous-uninstall.exe" /S _?=$0' $1
    System::Call 'kernel32::SetEnvironmentVariableW(w "${SETUP_HOLDS_MUTEX}", p 0)'
    ; 3010: removed, with files a program took since the check deleted at the next restart;
    ; those in the folder this install writes are kept (see the files).
    ${If} ${Errors}
    ${OrIf} $1 != 0
    ${AndIf} $1 != 3010
      !insertmacro FAIL ${EXIT_PREVIOUS_NOT_REMOVED} "The installed copy of Halvaris in $0 could not be removed (uninstaller exit code $1). Uninstall it, then run the setup again."
    ${EndIf}
    Delete "$PLUGINSDIR\previous-uninstall.exe"
  ${EndIf}
SectionEnd

; Removes what this setup wrote, when it cannot finish writing: no files without an entry.
Function RemoveWrittenFiles
  ${DoWhile} $WrittenFiles > 0
    Pop $0
    Delete "$INSTDIR\$0"
    IntOp $WrittenFiles $WrittenFiles - 1
  ${Loop}
  !insertmacro REMOVE_INSTALL_FOLDERS $CreatedFolder ""
FunctionEnd

; Ends the install with what stops $INSTDIR\FILE being written, after removing what was written.
!macro FAIL_TO_WRITE FILE
  StrCpy $0 "$INSTDIR\${FILE}"
  System::Call '${SUPPORT}::CheckFileWritable(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ${If} $2 = 1
    StrCpy $1 "$1 Close programs that play video and run the setup again."
  ${EndIf}
  Call RemoveWrittenFiles
  !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "Halvaris could not write $INSTDIR\${FILE}: $1 Nothing was installed."
!macroend

; Writes FILE (from SOURCE) into $INSTDIR, or ends the install. NSIS skips a file it cannot
; overwrite without setting the error flag, so the file is tried first.
!macro INSTALL_FILE SOURCE FILE
  StrCpy $0 "$INSTDIR\${FILE}"
  System::Call '${SUPPORT}::CheckFileWritable(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ClearErrors
  ${If} $2 = 0
    File "/oname=${FILE}" "${SOURCE}"
  ${EndIf}
  ${If} $2 <> 0
  ${OrIf} ${Errors}
    !insertmacro FAIL_TO_WRITE "${FILE}"
  ${EndIf}
  Push "${FILE}"
  IntOp $WrittenFiles $WrittenFiles + 1
!macroend

Section "-Files"
  ; The folders this install makes, up to the outermost, go again with it.
  StrCpy $CreatedFolder ""
  StrCpy $0 "$INSTDIR"
  ${DoUntil} ${FileExists} "$0\*.*"
    StrCpy $CreatedFolder $0
    ${GetParent} $0 $0
  ${LoopUntil} $0 == ""
  StrCpy $WrittenFiles 0
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${If} ${Errors}
    !insertmacro REMOVE_INSTALL_FOLDERS $CreatedFolder ""
    !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "Halvaris could not make the folder $INSTDIR. Nothing was installed."
  ${EndIf}
  SetOutPath "$INSTDIR"
  SetOverwrite try
  !insertmacro INSTALL_FILE "${BIN_DIR}\halvarisDecoder.ax" "halvarisDecoder.ax"
  !insertmacro INSTALL_FILE "${BIN_DIR}\ControlPanel.exe" "ControlPanel.exe"
  !insertmacro INSTALL_FILE "${BIN_DIR}\Tapwright.exe" "Tapwright.exe"
  !insertmacro INSTALL_FILE "${BIN_DIR}\halvaris-decode.exe" "halvaris-decode.exe"
  !insertmacro INSTALL_FILE "${BIN_DIR}\graph-decode.exe" "graph-decode.exe"
  !insertmacro INSTALL_FILE "${BIN_DIR}\TorvekInstallHelper.dll" "TorvekInstallHelper.dll"
  !insertmacro INSTALL_FILE "README.txt" "README.txt"
  StrCpy $0 "$INSTDIR\Uninstall.exe"
  System::Call '${SUPPORT}::CheckFileWritable(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ClearErrors
  ${If} $2 = 0
    WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${EndIf}
  ${If} $2 <> 0
  ${OrIf} ${Errors}
    !insertmacro FAIL_TO_WRITE "Uninstall.exe"
  ${EndIf}
  Push "Uninstall.exe"
  IntOp $WrittenFiles $WrittenFiles + 1

  ; An earlier uninstall may have left these files and the folder to be deleted when Windows
  ; restarts (files in use then): the new install must survive that restart.
  StrCpy $0 $INSTDIR
  System::Call '${SUPPORT}::ForgetPendingDeletionsIn(w r0) i .r0 ?u'
  ${If} $0 < 0
    Call RemoveWrittenFiles
    !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "Halvaris could not cancel the deletions of its files that an earlier uninstall left for the next restart. Restart Windows and run the setup again. Nothing was installed."
  ${ElseIf} $0 > 0
    !insertmacro LOG "Cancelled $0 deletions left for the next restart in $INSTDIR"
  ${EndIf}
SectionEnd

; Written before anything else can fail, so that whatever is on disk from here on can be
; uninstalled.
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
  ${If} $CreatedFolder != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFolder" "$CreatedFolder"
  ${EndIf}
  ${If} ${Errors}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Call RemoveWrittenFiles
    !insertmacro FAIL ${EXIT_FILES_NOT_WRITTEN} "The Apps & Features entry could not be written. Nothing was installed."
  ${EndIf}
SectionEnd

; DllRegisterServer of the decoder: its COM class and page, and its filter mapper entry.
Section "-Register the decoder"
  !insertmacro LOG "Registering $INSTDIR\halvarisDecoder.ax"
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

Function .onInstSuccess
  !insertmacro LOG "Installed in $INSTDIR (exit code 0)"
  FileClose $Log
FunctionEnd

Function .onInstFailed
  FileClose $Log
FunctionEnd

Function .onUserAbort
  !insertmacro LOG "Cancelled by the user"
FunctionEnd

; The class CLASSID, and for the filter its entry in DirectShow's filter category, when its
; InprocServer32 still names this copy's module (StrCmp ignores case, as paths do).
!define DECODER_CLSID "{8B498501-1218-11CF-ADC4-00A0D100041B}"
!define DECODER_PAGE_CLSID "{8B498502-1218-11CF-ADC4-00A0D100041B}"
!define LEGACY_FILTER_CATEGORY "{083863F1-70DE-11D0-BD40-00A0C911CE86}"
!macro REMOVE_CLASS_IF_OURS CLASSID
  ReadRegStr $0 HKCR "CLSID\${CLASSID}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\halvarisDecoder.ax"
    !insertmacro LOG "Removing the registration of ${CLASSID} directly"
    DeleteRegKey HKCR "CLSID\${LEGACY_FILTER_CATEGORY}\Instance\${CLASSID}"
    DeleteRegKey HKCR "CLSID\${CLASSID}"
  ${EndIf}
!macroend

Var InstalledHere  ; 1 when the Apps & Features entry names this uninstaller's folder

; The uninstaller removes only the copy it belongs to: the folder that the Apps & Features entry
; names, or one holding the decoder module. Run from elsewhere, it changes nothing.
Function un.onInit
  SetRegView 64
  SetShellVarContext all
  InitPluginsDir
  File "/oname=${SUPPORT}" "${SUPPORT_DLL}"
  ReadEnvStr $0 "${SETUP_HOLDS_MUTEX}"
  ${If} $0 != 1
    !insertmacro TAKE_SETUP_MUTEX
  ${EndIf}
  !insertmacro OPEN_LOG "Halvaris-uninstall.log"
  !insertmacro REQUIRE_ADMINISTRATOR

  ; NSIS reads _?= only unquoted; quoted, as PowerShell and deployment tools pass it, it is
  ; read here.
  System::Call 'kernel32::GetCommandLineW() w .r0'
  System::Call '${SUPPORT}::RequestedFolderOnCommandLine(w r0, w "_?=", w .r1, i ${NSIS_MAX_STRLEN}) i .r2 ?u'
  ${If} $2 = 1
    StrCpy $INSTDIR $1
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $InstalledHere 0
  ${If} $0 == $INSTDIR
    StrCpy $InstalledHere 1
  ${ElseIfNot} ${FileExists} "$INSTDIR\halvarisDecoder.ax"
    !insertmacro QUIT ${EXIT_NOT_THE_INSTALLED_COPY} "$INSTDIR is not the folder of the installed Halvaris ($0); nothing was removed. Run the Uninstall.exe in that folder, or a copy of it with _?=<that folder>."
  ${ElseIf} $0 == ""
    ; A copy whose entry has gone: the shortcuts are most likely its own.
    StrCpy $InstalledHere 1
  ${EndIf}
FunctionEnd

; The install in reverse: the Control Panel closed, the decoder unregistered, the shortcuts, the
; files and the Apps & Features entry removed, and the folders the install made if nothing else
; is left in them. The shortcuts and the entry only when they belong to this copy.
Section "Uninstall"
  !insertmacro BROADCAST_CLOSE_CONTROL_PANEL
  !insertmacro WAIT_FOR_CONTROL_PANELS_TO_CLOSE $0
  ${If} $0 != 1
    !insertmacro FAIL ${EXIT_CONTROL_PANEL_RUNNING} "The Halvaris Control Panel is still running. Close it and uninstall again."
  ${EndIf}

  ; The decoder's own DllUnregisterServer; when the module is missing or damaged, the keys its
  ; registration writes are removed directly, but only while they name this copy's module.
  ${If} ${FileExists} "$INSTDIR\halvarisDecoder.ax"
    !insertmacro LOG "Unregistering $INSTDIR\halvarisDecoder.ax"
    UnRegDLL "$INSTDIR\halvarisDecoder.ax"
  ${EndIf}
  !insertmacro REMOVE_CLASS_IF_OURS "${DECODER_CLSID}"
  !insertmacro REMOVE_CLASS_IF_OURS "${DECODER_PAGE_CLSID}"
  ReadRegStr $0 HKCR "CLSID\${DECODER_CLSID}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\halvarisDecoder.ax"
    !insertmacro FAIL ${EXIT_REGISTRATION_FAILED} "The Halvaris decoder could not be unregistered; nothing was removed."
  ${EndIf}

  ${If} $InstalledHere = 1
    Delete "${START_MENU_FOLDER}\Halvaris Control Panel.lnk"
    Delete "${START_MENU_FOLDER}\Tapwright.lnk"
    Delete "${START_MENU_FOLDER}\Uninstall Halvaris.lnk"
    RMDir "${START_MENU_FOLDER}"
  ${EndIf}

  ; A module that a running player still holds is deleted when Windows restarts.
  Delete /REBOOTOK "$INSTDIR\halvarisDecoder.ax"
  Delete /REBOOTOK "$INSTDIR\ControlPanel.exe"
  Delete /REBOOTOK "$INSTDIR\Tapwright.exe"
  Delete /REBOOTOK "$INSTDIR\halvaris-decode.exe"
  Delete /REBOOTOK "$INSTDIR\graph-decode.exe"
  Delete /REBOOTOK "$INSTDIR\TorvekInstallHelper.dll"
  Delete /REBOOTOK "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ${If} $InstalledHere = 1
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
    !insertmacro REMOVE_INSTALL_FOLDERS $1 /REBOOTOK
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    RMDir /REBOOTOK "$INSTDIR"
  ${EndIf}

  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "Some Halvaris files are in use; Windows deletes them when it restarts." /SD IDOK
    !insertmacro LOG "Removed; files in use are deleted when Windows restarts (exit code 3010)"
    SetErrorLevel 3010
  ${Else}
    !insertmacro LOG "Removed (exit code 0)"
  ${EndIf}
  FileClose $Log
SectionEnd

Function un.onUninstFailed
  FileClose $Log
FunctionEnd
