#include "registry_value.h"

#include <windows.h>

#include <cstring>

#include "win32_owners.h"

namespace halvaris::install {
namespace {

constexpr DWORD folderValueBufferSize = 256;

}  // namespace

std::optional<std::string> ReadMachineFolderValue(const char* keyPath, const char* valueName,
                                                  REGSAM view) {
  win32::RegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }

  char buffer[folderValueBufferSize] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;  // ERROR_MORE_DATA included: a value that does not fit is not read.
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;

  // The registry does not promise a terminator; a value that fills the buffer without one would
  // need 257 bytes and so does not fit either.
  const std::size_t length = strnlen(buffer, size);
  if (length == sizeof(buffer)) return std::nullopt;
  if (length == 0) return std::nullopt;
  return std::string(buffer, length);
}

}  // namespace halvaris::install
