#include "tapwright_launcher.h"

#include <commdlg.h>
#include <shlobj.h>

#include <thread>

#include "win32_owners.h"

namespace halvaris::control_panel {
namespace {

// Quotes one argument for the C runtime's command-line parsing. Paths hold no quotes, but a
// folder path may end in backslashes ("C:\"), which would otherwise escape the closing quote.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"" + argument;
  const std::size_t lastOther = argument.find_last_not_of(L'\\');
  const std::size_t trailing =
      lastOther == std::wstring::npos ? argument.size() : argument.size() - lastOther - 1;
  quoted.append(trailing, L'\\');
  return quoted + L"\"";
}

void RunOne(const std::wstring& program, const std::wstring& target, HWND notify) {
  std::wstring commandLine = TapwrightCommandLine(program, target);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process)) {
    PostMessageW(notify, kTapwrightFailedMessage, GetLastError(), 0);
    return;
  }
  const win32::UniqueHandle processHandle(process.hProcess);
  const win32::UniqueHandle threadHandle(process.hThread);
  // One console at a time: each waits for the user, who would otherwise face a pile of them.
  WaitForSingleObject(processHandle.Get(), INFINITE);
}

}  // namespace

std::wstring TapwrightCommandLine(const std::wstring& program, const std::wstring& target) {
  return Quoted(program) + L" " + Quoted(target);
}

std::vector<std::wstring> PickMovies(HWND owner) {
  // Room for many names: the dialog fails rather than cut a selection short.
  std::wstring buffer(64 * 1024, L'\0');
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"QuickTime movies (*.mov)\0*.mov\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrTitle = L"Movies whose clean aperture Tapwright sets";
  dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!GetOpenFileNameW(&dialog)) return {};

  // One name: the full path. Several: the folder, then each name, each ended by a zero.
  std::vector<std::wstring> parts;
  for (const wchar_t* part = buffer.c_str(); *part != L'\0'; part += wcslen(part) + 1) {
    parts.emplace_back(part);
  }
  if (parts.size() <= 1) return parts;
  std::wstring folder = parts[0];
  if (folder.back() != L'\\') folder += L'\\';
  std::vector<std::wstring> movies;
  for (std::size_t i = 1; i < parts.size(); ++i) movies.push_back(folder + parts[i]);
  return movies;
}

std::wstring PickFolder(HWND owner) {
  BROWSEINFOW browse = {};
  browse.hwndOwner = owner;
  browse.lpszTitle = L"A folder of movies whose clean aperture Tapwright sets";
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (chosen == nullptr) return {};
  std::wstring path(MAX_PATH, L'\0');
  const bool named = SHGetPathFromIDListW(chosen, path.data()) != FALSE;
  CoTaskMemFree(chosen);
  if (!named) return {};
  path.resize(wcslen(path.c_str()));
  return path;
}

bool StartTapwright(const std::wstring& program, std::vector<std::wstring> targets, HWND notify) {
  try {
    std::thread([program, targets = std::move(targets), notify] {
      for (const std::wstring& target : targets) RunOne(program, target, notify);
    }).detach();
    return true;
  } catch (...) {
    return false;  // no thread or no memory: nothing was started
  }
}

}  // namespace halvaris::control_panel
