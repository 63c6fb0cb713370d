// The installed Control Panel, driven as a user would drive it: the program is started, its
// window found, its buttons pressed, and what it shows read back from its controls and compared
// with the real registry and files. Runs in a prefix where the setup has installed Halvaris, on
// an X display (installed_control_panel_test.sh), with
//   HALVARIS_INSTALL_FOLDER  the installation folder, a Windows path
//   HALVARIS_SETUP           the setup program, a Windows path
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "control_panel_resources.h"
#include "halvaris_build_version.h"
#include "win32_owners.h"
#include "worker_count.h"

namespace {

using namespace std::chrono_literals;
using halvaris::win32::LoadedModule;
using halvaris::win32::RegistryKey;
using halvaris::win32::UniqueHandle;

constexpr wchar_t kFilterClass[] = L"CLSID\\{8B498501-1218-11CF-ADC4-00A0D100041B}";
constexpr wchar_t kFilterCategoryEntry[] =
    L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\"
    L"{8B498501-1218-11CF-ADC4-00A0D100041B}";

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

std::wstring InstallFolder() {
  return Environment(L"HALVARIS_INSTALL_FOLDER");
}

std::wstring InstalledDecoder() {
  return InstallFolder() + L"\\halvarisDecoder.ax";
}

// Polls `condition` every 50 ms until it holds or `limit` has passed.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// Runs a command line to its end; its exit code, or -1 when it could not start.
int RunToEnd(std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  const UniqueHandle processHandle(process.hProcess);
  const UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(processHandle.Get(), 300000);
  DWORD code = 0;
  GetExitCodeProcess(processHandle.Get(), &code);
  return static_cast<int>(code);
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR ignored = 0;
  // Sent, so that another process's control answers for itself; bounded, so that a hung
  // program fails the test rather than stopping it.
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &ignored);
  return text;
}

struct WindowSearch {
  DWORD processId;
  HWND except;
  const wchar_t* className;  // nullptr: any class
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<WindowSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search.processId || window == search.except || !IsWindowVisible(window)) {
    return TRUE;
  }
  wchar_t className[256] = {};
  GetClassNameW(window, className, 256);
  if (search.className != nullptr && wcscmp(className, search.className) != 0) return TRUE;
  search.found = window;
  return FALSE;
}

// A visible top-level window of process `processId`, other than `except`.
HWND FindTopLevelWindow(DWORD processId, const wchar_t* className, HWND except = nullptr) {
  WindowSearch search = {processId, except, className, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct TextSearch {
  std::wstring prefix;
  HWND found;
};

BOOL CALLBACK MatchText(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<TextSearch*>(parameter);
  if (WindowText(window).rfind(search.prefix, 0) == 0) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

// A window inside `parent` whose text starts with `prefix`.
HWND FindChildWithText(HWND parent, const std::wstring& prefix) {
  TextSearch search = {prefix, nullptr};
  EnumChildWindows(parent, MatchText, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The installed ControlPanel.exe, started for one test and ended with it.
class ControlPanel {
 public:
  ControlPanel() {
    std::wstring commandLine = L"\"" + InstallFolder() + L"\\ControlPanel.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      ADD_FAILURE() << "ControlPanel.exe does not start: " << GetLastError();
      return;
    }
    process_.Reset(process.hProcess);
    CloseHandle(process.hThread);
    processId_ = process.dwProcessId;
    WaitUntil([this] {
      window_ = FindTopLevelWindow(processId_, L"" CONTROL_PANEL_WINDOW_CLASS);
      return window_ != nullptr;
    });
  }
  ~ControlPanel() {
    if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.Get(), 99);
      WaitForSingleObject(process_.Get(), 10000);
    }
  }
  ControlPanel(const ControlPanel&) = delete;
  ControlPanel& operator=(const ControlPanel&) = delete;

  HWND window() const { return window_; }
  DWORD processId() const { return processId_; }
  std::wstring Text(int control) const { return WindowText(GetDlgItem(window_, control)); }

  // Posted: a button may open a modal window, and the test must go on meanwhile.
  void Press(int button) const {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, button)));
  }

  // The property frame a press of the Properties button opened; nullptr after 20 s without.
  HWND WaitForPropertyFrame() const {
    HWND frame = nullptr;
    WaitUntil([&] {
      frame = FindTopLevelWindow(processId_, nullptr, window_);
      return frame != nullptr && FindChildWithText(frame, L"Halvaris Decoder ") != nullptr;
    });
    return frame;
  }

  // The exit code once the program has ended within `limit`; -1 when it still runs.
  int ExitCodeWithin(std::chrono::milliseconds limit) const {
    if (WaitForSingleObject(process_.Get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.Get(), &code);
    return static_cast<int>(code);
  }

 private:
  UniqueHandle process_;
  DWORD processId_ = 0;
  HWND window_ = nullptr;
};

std::wstring RegisteredModule() {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kFilterClass) + L"\\InprocServer32").c_str(),
                    0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return L"";
  }
  wchar_t value[MAX_PATH + 1] = {};
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &bytes) != ERROR_SUCCESS) {
    return L"";
  }
  return value;
}

// The merit as the filter mapper stored it, read straight from its registry data.
std::wstring StoredMerit() {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kFilterCategoryEntry, 0, KEY_READ, key.Put()) !=
      ERROR_SUCCESS) {
    return L"no filter category entry";
  }
  std::vector<BYTE> data(4096);
  DWORD bytes = static_cast<DWORD>(data.size());
  if (RegQueryValueExW(key.Get(), L"FilterData", nullptr, nullptr, data.data(), &bytes) !=
          ERROR_SUCCESS ||
      bytes < 8) {
    return L"no FilterData";
  }
  std::uint32_t merit = 0;
  std::memcpy(&merit, data.data() + 4, 4);
  wchar_t text[16];
  swprintf(text, 16, L"0x%08X", merit);
  return text;
}

std::wstring FileVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (block.empty() ||
      !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    return L"none";
  }
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

int Regsvr32(const std::wstring& options) {
  return RunToEnd(L"regsvr32.exe /s " + options + L" \"" + InstalledDecoder() + L"\"");
}

TEST(InstalledControlPanel, ShowsWhatTheRegistryAndTheModuleSay) {
  ASSERT_FALSE(InstallFolder().empty()) << "HALVARIS_INSTALL_FOLDER is not set";
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";

  EXPECT_EQ(controlPanel.Text(IDC_MODULE_PATH), RegisteredModule());
  EXPECT_EQ(_wcsicmp(RegisteredModule().c_str(), InstalledDecoder().c_str()), 0);
  EXPECT_EQ(controlPanel.Text(IDC_FILE_VERSION), FileVersionOf(InstalledDecoder()));
  const std::wstring projectVersion = std::to_wstring(HALVARIS_VERSION_MAJOR) + L"." +
                                      std::to_wstring(HALVARIS_VERSION_MINOR) + L"." +
                                      std::to_wstring(HALVARIS_VERSION_PATCH) + L".0";
  EXPECT_EQ(controlPanel.Text(IDC_FILE_VERSION), projectVersion);
  EXPECT_EQ(controlPanel.Text(IDC_MERIT), StoredMerit());
  EXPECT_EQ(controlPanel.Text(IDC_MERIT), L"0x00800001");
  // Every x86-64 processor has the three extensions.
  EXPECT_EQ(controlPanel.Text(IDC_PROCESSOR), L"MMX, SSE and SSE2 present");
  EXPECT_EQ(controlPanel.Text(IDC_WORKERS),
            std::to_wstring(halvaris::win32::WorkerCountOfThisMachine()));

  controlPanel.Press(IDCANCEL);
  EXPECT_EQ(controlPanel.ExitCodeWithin(10s), 0);
}

TEST(InstalledControlPanel, RegistersTheInstalledDecoderAgain) {
  ASSERT_EQ(Regsvr32(L"/u"), 0);
  ASSERT_EQ(RegisteredModule(), L"");
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";
  EXPECT_EQ(controlPanel.Text(IDC_MODULE_PATH), L"Not registered");
  EXPECT_EQ(controlPanel.Text(IDC_MERIT), L"Not listed by DirectShow");

  controlPanel.Press(IDC_REGISTER_AGAIN);

  EXPECT_TRUE(WaitUntil([&] { return controlPanel.Text(IDC_MODULE_PATH) != L"Not registered"; }));
  EXPECT_EQ(_wcsicmp(RegisteredModule().c_str(), InstalledDecoder().c_str()), 0);
  EXPECT_EQ(controlPanel.Text(IDC_MODULE_PATH), RegisteredModule());
  EXPECT_EQ(controlPanel.Text(IDC_MERIT), StoredMerit());
  EXPECT_EQ(controlPanel.Text(IDC_ACTION_RESULT), L"Registered " + InstalledDecoder());
}

TEST(InstalledControlPanel, OpensTheDecodersPropertyPage) {
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";

  controlPanel.Press(IDC_PROPERTIES);
  const HWND frame = controlPanel.WaitForPropertyFrame();
  ASSERT_NE(frame, nullptr) << "no property frame with the decoder's page";
  const std::wstring pageText =
      WindowText(FindChildWithText(frame, L"Halvaris Decoder " HALVARIS_VERSION_DISPLAY));
  EXPECT_NE(pageText.find(L"For help and licensing go to"), std::wstring::npos) << pageText;

  // Cancel closes the frame; the Control Panel stays, with nothing to report.
  PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(frame); }));
  EXPECT_TRUE(IsWindow(controlPanel.window()));
  EXPECT_EQ(controlPanel.Text(IDC_ACTION_RESULT), L"");
  EXPECT_EQ(controlPanel.ExitCodeWithin(0ms), -1);
}

// What an installer does before it replaces the files: the processor check of the installed
// helper, called here from the test's own process, asks the Control Panel to close.
class ProcessorCheck {
 public:
  ProcessorCheck()
      : module_(LoadLibraryW((InstallFolder() + L"\\TorvekInstallHelper.dll").c_str())) {}

  int Run() const {
    const auto verifyCpu = module_.Export<std::int32_t(__cdecl*)()>("VerifyCPU");
    return verifyCpu != nullptr ? verifyCpu() : -1;
  }

 private:
  LoadedModule module_;
};

TEST(InstalledControlPanel, ClosesWhenAnotherProgramRunsTheProcessorCheck) {
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";
  EXPECT_EQ(ProcessorCheck().Run(), 1);
  EXPECT_EQ(controlPanel.ExitCodeWithin(10s), 0);
}

// With the property page open, its frame runs a modal loop of its own: the setup's broadcast
// still ends the program, which holds the decoder module then.
TEST(InstalledControlPanel, SetupOverTheInstalledCopyClosesItFirst) {
  const std::wstring setup = Environment(L"HALVARIS_SETUP");
  ASSERT_FALSE(setup.empty()) << "HALVARIS_SETUP is not set";
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";
  controlPanel.Press(IDC_PROPERTIES);  // the decoder module is loaded in the Control Panel
  ASSERT_NE(controlPanel.WaitForPropertyFrame(), nullptr);

  EXPECT_EQ(RunToEnd(L"\"" + setup + L"\" /S"), 0);

  EXPECT_EQ(controlPanel.ExitCodeWithin(0ms), 0);
  EXPECT_EQ(_wcsicmp(RegisteredModule().c_str(), InstalledDecoder().c_str()), 0);
  EXPECT_EQ(StoredMerit(), L"0x00800001");
}

// The process id of a running program named `exeName`, or 0.
DWORD FindProcess(const wchar_t* exeName) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, exeName) == 0) return entry.th32ProcessID;
  }
  return 0;
}

// The text on the console of process `processId`, read by attaching to it.
std::wstring ConsoleText(DWORD processId) {
  FreeConsole();
  if (!AttachConsole(processId)) return L"";
  std::wstring text;
  const UniqueHandle output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (output && GetConsoleScreenBufferInfo(output.Get(), &info)) {
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * (info.dwCursorPosition.Y + 1);
    text.resize(cells);
    DWORD read = 0;
    ReadConsoleOutputCharacterW(output.Get(), text.data(), cells, {0, 0}, &read);
    text.resize(read);
  }
  FreeConsole();
  return text;
}

// Picking a movie in the file dialog starts Tapwright on it, in a console of its own.
TEST(InstalledControlPanel, RunsTapwrightOnThePickedMovie) {
  const std::wstring movie = InstallFolder() + L"\\README.txt";  // any file: Tapwright says so
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";
  ASSERT_EQ(FindProcess(L"Tapwright.exe"), 0u);

  controlPanel.Press(IDC_FIX_MOVIES);
  HWND picker = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    picker = FindTopLevelWindow(controlPanel.processId(), L"#32770", controlPanel.window());
    return picker != nullptr;
  })) << "no file dialog";
  constexpr int kFileNameBox = 0x47C;  // the Explorer-style dialog's file name box (cmb13)
  SendMessageTimeoutW(GetDlgItem(picker, kFileNameBox), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(movie.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
  PostMessageW(picker, WM_COMMAND, IDOK, 0);

  DWORD tapwright = 0;
  ASSERT_TRUE(WaitUntil([&] { return (tapwright = FindProcess(L"Tapwright.exe")) != 0; }))
      << "Tapwright was not started";
  // Tapwright's line may reach the console in more than one write: wait for the whole of it.
  const std::wstring expected = L"You dropped " + movie + L" into Tapwright,";
  std::wstring console;
  EXPECT_TRUE(WaitUntil([&] {
    console = ConsoleText(tapwright);
    return console.find(expected) != std::wstring::npos;
  })) << "Tapwright's console shows: "
      << console;
  // The Control Panel says so once Tapwright has started, which may be after its first line.
  EXPECT_TRUE(WaitUntil([&] {
    return controlPanel.Text(IDC_ACTION_RESULT) == L"Tapwright runs in its own window.";
  })) << controlPanel.Text(IDC_ACTION_RESULT);

  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, tapwright));
  TerminateProcess(process.Get(), 0);
  WaitForSingleObject(process.Get(), 10000);
}

// A window of `processId` (other than `except`) that holds a control with exactly `text`.
HWND FindWindowHolding(DWORD processId, const std::wstring& text, HWND except) {
  HWND found = nullptr;
  WaitUntil([&] {
    const HWND candidate = FindTopLevelWindow(processId, L"#32770", except);
    const HWND control = candidate != nullptr ? FindChildWithText(candidate, text) : nullptr;
    if (control != nullptr && WindowText(control) == text) found = candidate;
    return found != nullptr;
  });
  return found;
}

void PressButton(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// The setup started as a person starts it, waiting on its folder page.
struct InteractiveSetup {
  InteractiveSetup() {
    std::wstring commandLine = L"\"" + Environment(L"HALVARIS_SETUP") + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
      return;
    process.Reset(started.hProcess);
    processId = started.dwProcessId;
    CloseHandle(started.hThread);
    WaitUntil([&] {
      wizard = FindTopLevelWindow(processId, L"#32770");
      return wizard != nullptr && WindowText(GetDlgItem(wizard, IDOK)) == L"&Install";
    });
  }
  UniqueHandle process;
  DWORD processId = 0;
  HWND wizard = nullptr;  // with its Install button
};

// The setup run by a person: Install on the folder page; at the end, the question of the
// installed helper, answered Yes, starts the installed Control Panel.
TEST(InstalledControlPanel, InteractiveSetupEndsByOfferingToStartIt) {
  InteractiveSetup interactive;
  const HWND wizard = interactive.wizard;
  ASSERT_NE(wizard, nullptr) << "no setup window with an Install button";
  const UniqueHandle& setup = interactive.process;
  PressButton(wizard, IDOK);

  const HWND question = FindWindowHolding(
      interactive.processId, L"Would you like to start the Control Panel program?", wizard);
  ASSERT_NE(question, nullptr) << "the setup did not offer to start the Control Panel";
  EXPECT_EQ(WindowText(question), L"Halvaris");
  PressButton(question, IDYES);

  HWND controlPanel = nullptr;
  EXPECT_TRUE(WaitUntil([&] {
    controlPanel = FindWindowW(L"" CONTROL_PANEL_WINDOW_CLASS, nullptr);
    return controlPanel != nullptr;
  })) << "Yes did not start the Control Panel";

  ASSERT_TRUE(WaitUntil([&] {
    return WindowText(GetDlgItem(wizard, IDOK)) == L"&Close" &&
           IsWindowEnabled(GetDlgItem(wizard, IDOK));
  })) << "the setup did not finish";
  PressButton(wizard, IDOK);
  EXPECT_EQ(WaitForSingleObject(setup.Get(), 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(setup.Get(), &code);
  EXPECT_EQ(code, 0u);

  if (controlPanel != nullptr) {
    DWORD controlPanelId = 0;
    GetWindowThreadProcessId(controlPanel, &controlPanelId);
    const UniqueHandle controlPanelProcess(OpenProcess(SYNCHRONIZE, FALSE, controlPanelId));
    PressButton(controlPanel, IDCANCEL);
    EXPECT_EQ(WaitForSingleObject(controlPanelProcess.Get(), 10000), WAIT_OBJECT_0);
  }
}

// A person who starts the setup has chosen nothing yet: a running Control Panel stays open on the
// folder page, and Cancel leaves it running.
TEST(InstalledControlPanel, InteractiveSetupLeavesItOpenUntilInstallIsPressed) {
  ControlPanel controlPanel;
  ASSERT_NE(controlPanel.window(), nullptr) << "no Control Panel window";
  InteractiveSetup interactive;
  ASSERT_NE(interactive.wizard, nullptr) << "no setup window with an Install button";
  EXPECT_EQ(controlPanel.ExitCodeWithin(2s), -1) << "the Control Panel was closed";
  PressButton(interactive.wizard, IDCANCEL);
  if (WaitForSingleObject(interactive.process.Get(), 20000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the setup did not end on Cancel";
    TerminateProcess(interactive.process.Get(), 1);
  }
  EXPECT_EQ(controlPanel.ExitCodeWithin(0ms), -1) << "Cancel closed the Control Panel";
}

// A folder that cannot work, typed on the folder page, is refused with the reason; the page stays.
// (NSIS itself disables Install for some, such as device names, without saying why; a folder too
// long to register the decoder from passes NSIS's own check.)
TEST(InstalledControlPanel, SetupFolderPageRefusesAnUnusableFolder) {
  InteractiveSetup interactive;
  ASSERT_NE(interactive.wizard, nullptr) << "no setup window with an Install button";
  const HWND folderBox = FindChildWithText(interactive.wizard, InstallFolder());
  ASSERT_NE(folderBox, nullptr) << "no folder box showing " << InstallFolder();
  const std::wstring tooLong = L"C:\\Long\\" + std::wstring(233, L'x');
  SendMessageTimeoutW(folderBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(tooLong.c_str()),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  PressButton(interactive.wizard, IDOK);

  const HWND refusal = FindWindowHolding(
      interactive.processId,
      L"The folder \"" + tooLong +
          L"\" is 241 characters long; the decoder can be registered only from a folder of at "
          L"most 235 characters. Choose another folder.",
      interactive.wizard);
  EXPECT_NE(refusal, nullptr) << "the folder page took a folder of 241 characters";
  if (refusal != nullptr) {
    PressButton(refusal, IDOK);
    EXPECT_TRUE(WaitUntil([&] {
      return FindTopLevelWindow(interactive.processId, L"#32770", interactive.wizard) == nullptr &&
             WindowText(GetDlgItem(interactive.wizard, IDOK)) == L"&Install";
    })) << "the folder page did not stay";
  }

  PressButton(interactive.wizard, IDCANCEL);
  if (WaitForSingleObject(interactive.process.Get(), 20000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the setup did not end on Cancel";
    TerminateProcess(interactive.process.Get(), 1);
  }
}

}  // namespace
