#include "file_identity.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace halvaris::media {

#ifdef _WIN32

namespace {
FileIdentity IdentityOfHandle(HANDLE handle) {
  FileIdentity identity;
  BY_HANDLE_FILE_INFORMATION information;
  if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information)) {
    identity.known = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.file =
        static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  }
  return identity;
}
}  // namespace

FileIdentity IdentityOfPath(const std::string& path) {
  // Backup semantics let a folder be opened too; no access is asked for, only attributes.
  const HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileIdentity{};
  const FileIdentity identity = IdentityOfHandle(handle);
  CloseHandle(handle);
  return identity;
}

FileIdentity IdentityOfStream(std::FILE* stream) {
  return IdentityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

#else

namespace {
FileIdentity IdentityOfStatus(const struct stat& status) {
  FileIdentity identity;
  identity.known = true;
  identity.device = static_cast<std::uint64_t>(status.st_dev);
  identity.file = static_cast<std::uint64_t>(status.st_ino);
  return identity;
}
}  // namespace

FileIdentity IdentityOfPath(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return FileIdentity{};
  return IdentityOfStatus(status);
}

FileIdentity IdentityOfStream(std::FILE* stream) {
  struct stat status;
  if (fstat(fileno(stream), &status) != 0) return FileIdentity{};
  return IdentityOfStatus(status);
}

#endif

}  // namespace halvaris::media
