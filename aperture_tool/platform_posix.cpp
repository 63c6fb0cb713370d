#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform.h"

namespace halvaris::aperture {

const char kPathSeparator = '/';

bool IsFolder(const std::string& path) {
  struct stat attributes {};
  if (stat(path.c_str(), &attributes) != 0) return true;
  return S_ISDIR(attributes.st_mode);
}

std::size_t getfile(const std::string& folderPath, std::vector<std::string>& fileNames,
                    std::ostream& console) {
  struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
  };
  std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folderPath.c_str()));
  if (!directory) return 0;
  std::size_t listed = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(directory.get());
    if (entry == nullptr) break;
    try {
      fileNames.emplace_back(entry->d_name);
    } catch (const std::bad_alloc&) {
      console << "Allocation of filename buffer in getfile failed\n";
      fileNames.emplace_back();
    }
    ++listed;
  }
  // readdir leaves errno alone at the end of the listing and sets it on a failure.
  return errno == 0 ? listed : 0;
}

bool RenameFile(const std::string& from, const std::string& to, std::string& reason) {
  // rename() would silently replace an existing file of the new name; a hard link cannot.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // The file system cannot rename without replacing: link under the new name, drop the old.
    if (link(from.c_str(), to.c_str()) == 0) {
      if (unlink(from.c_str()) == 0) return true;
      int unlinkError = errno;
      unlink(to.c_str());
      errno = unlinkError;
    }
  }
  reason = std::strerror(errno);
  return false;
}

}  // namespace halvaris::aperture
