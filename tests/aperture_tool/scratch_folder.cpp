#include "scratch_folder.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

namespace halvaris::aperture::testing {
namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("tapwright-test-" + std::to_string(random()) +
                                                      "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch folder could be made");
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  // Read-only files would stop the removal on Windows.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "<cannot read " + path + ">";
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void MakeSparseFile(const std::string& path, uint64_t length) {
  WriteFile(path, "");
  fs::resize_file(path, length);
}

void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string ReadAt(const std::string& path, uint64_t offset, std::size_t count) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(count, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return bytes;
}

}  // namespace halvaris::aperture::testing
