// Deletions left for the next restart in PendingFileRenameOperations: a multi-string of pairs,
// "\??\SOURCE" then the new name, or an empty string when SOURCE is to be deleted.

#include <windows.h>

#include <vector>

#include "setup_support.h"
#include "win32_owners.h"

namespace halvaris::setup {
namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingOperations[] = L"PendingFileRenameOperations";

// Whether `path` is `folder` or lies in it, as Windows compares names (case ignored).
bool IsInFolder(std::wstring path, const std::wstring& folder) {
  for (const wchar_t* prefix : {L"\\??\\", L"\\\\?\\"}) {
    if (path.compare(0, 4, prefix) == 0) path.erase(0, 4);
  }
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (path.size() < folder.size()) return false;
  if (CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                           static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL)
    return false;
  return path.size() == folder.size() || path[folder.size()] == L'\\';
}

std::vector<std::wstring> SplitMultiString(const std::vector<wchar_t>& data) {
  std::vector<std::wstring> strings;
  size_t start = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != L'\0') continue;
    strings.emplace_back(&data[start], i - start);
    start = i + 1;
  }
  // The list ends with an empty string of its own, which is no entry.
  while (!strings.empty() && strings.size() % 2 != 0 && strings.back().empty()) strings.pop_back();
  return strings;
}

}  // namespace

int ForgetPendingDeletions(const std::wstring& givenFolder) {
  std::wstring folder = givenFolder;
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (folder.empty()) return -1;

  win32::RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
    return -1;
  DWORD type = 0;
  DWORD bytes = 0;
  LONG status = RegQueryValueExW(key.Get(), kPendingOperations, nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return -1;
  std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
  status = RegQueryValueExW(key.Get(), kPendingOperations, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &bytes);
  if (status != ERROR_SUCCESS) return -1;
  data.resize(bytes / sizeof(wchar_t));
  if (data.empty() || data.back() != L'\0') data.push_back(L'\0');

  const std::vector<std::wstring> entries = SplitMultiString(data);
  std::vector<wchar_t> kept;
  int forgotten = 0;
  for (size_t i = 0; i < entries.size(); i += 2) {
    const std::wstring& source = entries[i];
    const std::wstring target = i + 1 < entries.size() ? entries[i + 1] : L"";
    if (target.empty() && IsInFolder(source, folder)) {
      ++forgotten;
      continue;
    }
    kept.insert(kept.end(), source.begin(), source.end());
    kept.push_back(L'\0');
    kept.insert(kept.end(), target.begin(), target.end());
    kept.push_back(L'\0');
  }
  if (forgotten == 0) return 0;
  if (kept.empty()) {
    status = RegDeleteValueW(key.Get(), kPendingOperations);
  } else {
    kept.push_back(L'\0');
    status = RegSetValueExW(key.Get(), kPendingOperations, 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(kept.data()),
                            static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  }
  return status == ERROR_SUCCESS ? forgotten : -1;
}

}  // namespace halvaris::setup
