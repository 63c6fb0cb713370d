#include <windows.h>

#include <new>

#include "platform.h"

namespace halvaris::aperture {
namespace {

// Ends a folder listing when it goes out of scope.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (IsValid()) FindClose(handle_);
  }
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::string DescribeError(DWORD error) {
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(error);
  return std::string(text, length);
}

}  // namespace

const char kPathSeparator = '\\';

bool IsFolder(const std::string& path) {
  // INVALID_FILE_ATTRIBUTES has every bit set, the directory bit included.
  return (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::size_t getfile(const std::string& folderPath, std::vector<std::string>& fileNames,
                    std::ostream& console) {
  std::string pattern = folderPath + "\\*";
  WIN32_FIND_DATAA entry{};
  FindHandle listing(FindFirstFileA(pattern.c_str(), &entry));
  if (!listing.IsValid()) return 0;
  std::size_t listed = 0;
  do {
    try {
      fileNames.emplace_back(entry.cFileName);
    } catch (const std::bad_alloc&) {
      console << "Allocation of filename buffer in getfile failed\n";
      fileNames.emplace_back();
    }
    ++listed;
  } while (FindNextFileA(listing.Get(), &entry));
  return GetLastError() == ERROR_NO_MORE_FILES ? listed : 0;
}

bool RenameFile(const std::string& from, const std::string& to, std::string& reason) {
  // Without MOVEFILE_REPLACE_EXISTING an existing file of the new name is left alone.
  if (MoveFileA(from.c_str(), to.c_str())) return true;
  reason = DescribeError(GetLastError());
  return false;
}

}  // namespace halvaris::aperture
