#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace halvaris::test {

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

// Sets the length of a file without writing its contents, so that a multi-gigabyte movie
// takes no room on disk; then writes `bytes` at `offset`.
void MakeSparseFile(const std::string& path, uint64_t length);
void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes);
std::string ReadAt(const std::string& path, uint64_t offset, std::size_t count);

}  // namespace halvaris::test
