#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace halvaris::aperture::testing {

// A fresh folder under the system's temporary folder, removed with all it holds at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  const std::filesystem::path& Path() const { return path_; }
  // The full path of `name` inside the folder, as the platform writes it.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Makes a file of `length` bytes without writing them: on file systems with sparse files
// (those of Linux, and so Wine's) a multi-gigabyte movie then takes no room on disk.
void MakeSparseFile(const std::string& path, uint64_t length);
void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes);
std::string ReadAt(const std::string& path, uint64_t offset, std::size_t count);

}  // namespace halvaris::aperture::testing
