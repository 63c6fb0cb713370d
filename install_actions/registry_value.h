// Reading one string value from the local machine's registry, the way the installer actions need
// it: a folder path that they use as a prefix.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace halvaris::install {

// Reads value valueName of key keyPath under HKEY_LOCAL_MACHINE (opened with KEY_READ, in the
// module's own registry view unless `view` names one: KEY_WOW64_32KEY or KEY_WOW64_64KEY) into a
// 256-byte buffer. Nothing is returned when the key or value is missing, when it is not a
// string, when it does not fit in 256 bytes with its terminator, or when it is empty: an empty
// prefix would aim the actions at whatever the current folder happens to be.
std::optional<std::string> ReadMachineFolderValue(const char* keyPath, const char* valueName,
                                                  REGSAM view = 0);

}  // namespace halvaris::install
