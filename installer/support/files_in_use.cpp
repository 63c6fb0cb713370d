// Files that an uninstall or a setup could not remove or replace, found before anything changes.

#include <windows.h>

#include "setup_support.h"
#include "win32_owners.h"

namespace halvaris::setup {

std::wstring WindowsErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result =
      length != 0 ? std::wstring(text, length) : L"Windows error " + std::to_wstring(error) + L".";
  LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
  return result;
}

std::wstring FileThatCannotBeRemoved(const std::wstring& folder) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return L"";
  std::wstring problem;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // A read-only file is removed all the same (its attribute is cleared first): only deleting
    // it is asked for then.
    const DWORD access =
        (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? DELETE : GENERIC_WRITE | DELETE;
    const win32::UniqueHandle file(
        CreateFileW((folder + L"\\" + found.cFileName).c_str(), access,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) problem = std::wstring(found.cFileName) + L": " + WindowsErrorText(GetLastError());
  } while (problem.empty() && FindNextFileW(search, &found));
  FindClose(search);
  return problem;
}

std::wstring WhyFileCannotBeWritten(const std::wstring& path, unsigned long& error) {
  win32::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  error = GetLastError();
  if (file) {
    // Only to learn the reason: a file made here is not left behind.
    const bool made = error != ERROR_ALREADY_EXISTS;
    error = ERROR_SUCCESS;
    file.Reset();
    if (made) DeleteFileW(path.c_str());
    return L"";
  }
  return WindowsErrorText(error);
}

}  // namespace halvaris::setup
