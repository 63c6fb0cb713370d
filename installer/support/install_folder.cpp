// The install folder: where the administrator asked for it, and whether it can hold the install.

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "setup_support.h"

namespace halvaris::setup {
namespace {

// The longest name the install writes into its folder, with the backslash before it.
constexpr size_t kLongestInstalledName = sizeof("\\TorvekInstallHelper.dll") - 1;
// Paths the decoder's registration and the programs use must fit in MAX_PATH with their null.
constexpr size_t kLongestFolder = MAX_PATH - 1 - kLongestInstalledName;

bool IsReservedDeviceName(std::wstring name) {
  // "con.txt" and "con " name the device too: only the part before the first dot counts.
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" || name == L"CONIN$" ||
      name == L"CONOUT$")
    return true;
  return name.size() == 4 && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) &&
         name[3] >= L'1' && name[3] <= L'9';
}

std::wstring Quoted(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

}  // namespace

std::wstring RequestedFolder(const std::wstring& commandLine, const std::wstring& marker) {
  const size_t unquoted = commandLine.find(L" " + marker);
  const size_t quoted = commandLine.find(L"\"" + marker);
  if (unquoted == std::wstring::npos && quoted == std::wstring::npos) return L"";
  std::wstring folder;
  if (quoted == std::wstring::npos || (unquoted != std::wstring::npos && unquoted < quoted)) {
    folder = commandLine.substr(unquoted + 1 + marker.size());
  } else {
    const size_t start = quoted + 1 + marker.size();
    const size_t end = commandLine.find(L'"', start);
    folder = commandLine.substr(start, end == std::wstring::npos ? end : end - start);
  }
  while (!folder.empty() && (folder.back() == L' ' || folder.back() == L'\t')) folder.pop_back();
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring UnusableFolderReason(const std::wstring& given) {
  if (given.empty()) return L"No folder was given.";
  if (given.find(L'/') != std::wstring::npos)
    return L"The folder " + Quoted(given) +
           L" is written with forward slashes; write it with backslashes, as in "
           L"C:\\Program Files\\Halvaris.";
  const bool hasDrive =
      given.size() >= 3 && std::iswalpha(given[0]) && given[1] == L':' && given[2] == L'\\';
  if (!hasDrive)
    return L"The folder " + Quoted(given) +
           L" is not a full path on a drive; give one like C:\\Program Files\\Halvaris.";
  const std::wstring root = given.substr(0, 3);
  const UINT driveType = GetDriveTypeW(root.c_str());
  if (driveType == DRIVE_NO_ROOT_DIR || driveType == DRIVE_UNKNOWN)
    return L"There is no drive " + root.substr(0, 2) + L" on this computer.";
  if (driveType == DRIVE_CDROM) return L"Drive " + root.substr(0, 2) + L" is a CD or DVD drive.";

  std::wstring folder = given;
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (folder.size() <= 3)
    return L"The folder " + Quoted(given) + L" is the root of drive " + root.substr(0, 2) +
           L"; choose a folder on it, as in " + root + L"Halvaris.";
  if (folder.size() > kLongestFolder)
    return L"The folder " + Quoted(given) + L" is " + std::to_wstring(folder.size()) +
           L" characters long; the decoder can be registered only from a folder of at most " +
           std::to_wstring(kLongestFolder) + L" characters.";

  size_t start = 3;
  while (start <= folder.size()) {
    size_t end = folder.find(L'\\', start);
    if (end == std::wstring::npos) end = folder.size();
    const std::wstring name = folder.substr(start, end - start);
    if (name.empty()) return L"The folder " + Quoted(given) + L" has an empty name in it (\\\\).";
    for (const wchar_t c : name) {
      if (c < 32 || std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos)
        return L"The folder " + Quoted(given) + L" holds the character " +
               (c < 32 ? L"with code " + std::to_wstring(static_cast<int>(c))
                       : Quoted(std::wstring(1, c))) +
               L", which Windows does not allow in names.";
    }
    if (name.back() == L'.' || name.back() == L' ')
      return L"The name " + Quoted(name) + L" in the folder " + Quoted(given) +
             L" ends with a dot or a space, which Windows drops.";
    if (IsReservedDeviceName(name))
      return L"The name " + Quoted(name) + L" in the folder " + Quoted(given) +
             L" is one Windows keeps for a device.";
    start = end + 1;
  }

  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return L"The folder " + Quoted(given) + L" is a file.";
  return L"";
}

}  // namespace halvaris::setup
