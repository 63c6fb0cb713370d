#include "control_panel_dialog.h"

#include <cwchar>
#include <string>
#include <vector>

#include "control_panel_resources.h"
#include "decoder_actions.h"
#include "decoder_status.h"
#include "tapwright_launcher.h"

namespace halvaris::control_panel {
namespace {

UINT closeMessage = 0;

std::wstring HresultText(HRESULT result) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
  return text;
}

void SetText(HWND dialog, int control, const std::wstring& text) {
  SetDlgItemTextW(dialog, control, text.c_str());
}

void ShowStatus(HWND dialog) {
  const DecoderStatus status = GatherDecoderStatus();
  if (status.modulePath.empty()) {
    SetText(dialog, IDC_MODULE_PATH, L"Not registered");
  } else {
    SetText(dialog, IDC_MODULE_PATH,
            status.moduleExists ? status.modulePath : status.modulePath + L" (file missing)");
  }
  SetText(dialog, IDC_FILE_VERSION, status.fileVersion.empty() ? L"Unknown" : status.fileVersion);
  if (status.merit) {
    wchar_t merit[16];
    std::swprintf(merit, 16, L"0x%08lX", static_cast<unsigned long>(*status.merit));
    SetText(dialog, IDC_MERIT, merit);
  } else {
    SetText(dialog, IDC_MERIT, L"Not listed by DirectShow");
  }
  SetText(dialog, IDC_PROCESSOR,
          status.processorSupported ? L"MMX, SSE and SSE2 present"
                                    : L"Lacks MMX, SSE or SSE2: the decoder cannot run here");
  SetText(dialog, IDC_WORKERS, std::to_wstring(status.workerCount));
}

void ShowProperties(HWND dialog) {
  const HRESULT result = ShowDecoderProperties(dialog);
  SetText(dialog, IDC_ACTION_RESULT,
          SUCCEEDED(result) ? L""
                            : L"The decoder's property page could not be opened (" +
                                  HresultText(result) + L"). Register the decoder again.");
}

// The module installed beside this program, or else whichever one is registered: the button
// mends a registration that was removed or pointed elsewhere.
void RegisterAgain(HWND dialog) {
  std::wstring path = InstalledDecoderPath();
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = RegisteredModulePath();
  if (path.empty()) {
    SetText(dialog, IDC_ACTION_RESULT, L"No decoder module to register was found.");
    return;
  }
  const HRESULT result = RegisterDecoderModule(path);
  if (SUCCEEDED(result)) {
    SetText(dialog, IDC_ACTION_RESULT, L"Registered " + path);
  } else if (result == E_ACCESSDENIED) {
    SetText(dialog, IDC_ACTION_RESULT,
            L"Registering needs administrator rights: run the Control Panel as administrator.");
  } else {
    SetText(dialog, IDC_ACTION_RESULT, L"Registering failed (" + HresultText(result) + L").");
  }
  ShowStatus(dialog);
}

void FixApertures(HWND dialog, std::vector<std::wstring> targets) {
  if (targets.empty()) return;
  const std::wstring program = ProgramFolder() + L"Tapwright.exe";
  if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetText(dialog, IDC_ACTION_RESULT, L"Tapwright.exe is not beside the Control Panel.");
    return;
  }
  const bool started = StartTapwright(program, std::move(targets), dialog);
  SetText(dialog, IDC_ACTION_RESULT,
          started ? L"Tapwright runs in its own window." : L"Tapwright could not be started.");
}

// Windows of this thread that a button opened (the property frame, a file dialog) run their
// own modal loops; they are asked to close first, so that the dialog's loop can end too.
BOOL CALLBACK CloseOtherWindow(HWND window, LPARAM dialog) {
  if (window != reinterpret_cast<HWND>(dialog) && IsWindowVisible(window)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

void CloseEverything(HWND dialog) {
  EnumThreadWindows(GetCurrentThreadId(), CloseOtherWindow, reinterpret_cast<LPARAM>(dialog));
  EndDialog(dialog, 0);
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (closeMessage != 0 && message == closeMessage) {
    CloseEverything(dialog);
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      ShowStatus(dialog);
      return TRUE;
    case kTapwrightFailedMessage:
      SetText(dialog, IDC_ACTION_RESULT,
              L"Tapwright could not be started (error " + std::to_wstring(wParam) + L").");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_PROPERTIES:
          ShowProperties(dialog);
          return TRUE;
        case IDC_REGISTER_AGAIN:
          RegisterAgain(dialog);
          return TRUE;
        case IDC_FIX_MOVIES:
          FixApertures(dialog, PickMovies(dialog));
          return TRUE;
        case IDC_FIX_FOLDER: {
          std::wstring folder = PickFolder(dialog);
          if (!folder.empty()) FixApertures(dialog, {std::move(folder)});
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      break;
  }
  (void)lParam;
  return FALSE;
}

}  // namespace

int RunControlPanelDialog(HINSTANCE instance) {
  closeMessage = RegisterWindowMessageA(kCloseControlPanelMessageName);

  // The dialog template names this class; it is the standard dialog class under our own name.
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefDlgProcW;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
  windowClass.lpszClassName = L"" CONTROL_PANEL_WINDOW_CLASS;
  if (RegisterClassExW(&windowClass) == 0) return -1;

  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONTROL_PANEL), nullptr, DialogProcedure, 0);
  return result == -1 ? -1 : 0;
}

}  // namespace halvaris::control_panel
