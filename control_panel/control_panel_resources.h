#pragma once

// Resource identifiers of the Control Panel program (used by C++ and the .rc file).

#define IDD_CONTROL_PANEL 100

// Status of the decoder.
#define IDC_MODULE_PATH 1001
#define IDC_FILE_VERSION 1002
#define IDC_MERIT 1003
#define IDC_PROCESSOR 1004
#define IDC_WORKERS 1005
// What the last button press did, or why it failed.
#define IDC_ACTION_RESULT 1006

#define IDC_PROPERTIES 1010
#define IDC_REGISTER_AGAIN 1011
#define IDC_FIX_MOVIES 1012
#define IDC_FIX_FOLDER 1013

// The dialog's own window class, so that the setup program can find a running Control Panel.
#define CONTROL_PANEL_WINDOW_CLASS "HalvarisControlPanel"
