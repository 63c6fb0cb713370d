#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace halvaris::media {

// Which file a name or an open stream reaches, whatever links lead to it: the device and file
// number on POSIX, the volume serial number and file index on Windows. Two names for one file
// (hard or symbolic links, /dev/fd/N, /proc/self/fd/N) have the same identity.
struct FileIdentity {
  bool known = false;  // false: no such file, or it cannot be asked
  std::uint64_t device = 0;
  std::uint64_t file = 0;

  bool SameFileAs(const FileIdentity& other) const {
    return known && other.known && device == other.device && file == other.file;
  }
};

FileIdentity IdentityOfPath(const std::string& path);
FileIdentity IdentityOfStream(std::FILE* stream);

}  // namespace halvaris::media
