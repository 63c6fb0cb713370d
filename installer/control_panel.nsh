; Closing a running Halvaris Control Panel before its files are replaced or removed.
;
; A Control Panel closes itself when the registered window message "Halvaris Message Close
; Control Panel" is broadcast; the installer's processor check (VerifyCPU) broadcasts it, and the
; uninstaller broadcasts it itself. The broadcast is posted, not sent, so nobody waits for it:
; these macros wait until every Control Panel window has gone and its program has ended, which
; is when its files can be replaced. A Control Panel is found by its dialog's window class.

!define CONTROL_PANEL_WINDOW_CLASS "HalvarisControlPanel"
!define CLOSE_CONTROL_PANEL_MESSAGE "Halvaris Message Close Control Panel"

!macro BROADCAST_CLOSE_CONTROL_PANEL
  System::Call 'user32::RegisterWindowMessage(t "${CLOSE_CONTROL_PANEL_MESSAGE}") i.R0'
  ${If} $R0 <> 0
    System::Call 'user32::PostMessage(p 0xFFFF, i R0, p 0, p 0)'
  ${EndIf}
!macroend

; Sets RESULT to 1 when no Control Panel runs any more, 0 when one is still there after up to
; three waits of five seconds.
!macro WAIT_FOR_CONTROL_PANELS_TO_CLOSE RESULT
  StrCpy ${RESULT} 1
  StrCpy $R9 0
  ${Do}
    FindWindow $R8 "${CONTROL_PANEL_WINDOW_CLASS}"
    ${If} $R8 P= 0
      ${Break}
    ${EndIf}
    ${If} $R9 >= 3
      StrCpy ${RESULT} 0
      ${Break}
    ${EndIf}
    IntOp $R9 $R9 + 1
    ; Its program, not only its window, must have ended before its files can be replaced.
    StrCpy $R7 0
    System::Call 'user32::GetWindowThreadProcessId(p R8, *i .R7)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R7) p.R6'
    ${If} $R6 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p R6, i 5000)'
      System::Call 'kernel32::CloseHandle(p R6)'
    ${Else}
      Sleep 500
    ${EndIf}
  ${Loop}
!macroend
