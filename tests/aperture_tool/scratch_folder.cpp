#include "scratch_folder.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace halvaris::test {
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

#ifdef _WIN32
namespace {

class FileHandle {
 public:
  FileHandle(const std::string& path, DWORD disposition)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { CloseHandle(handle_); }
  HANDLE Get() const { return handle_; }
  void MoveTo(uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN)) {
      throw std::runtime_error("cannot seek");
    }
  }

 private:
  HANDLE handle_;
};

}  // namespace

void MakeSparseFile(const std::string& path, uint64_t length) {
  FileHandle file(path, CREATE_ALWAYS);
  DWORD returned = 0;
  // Without the sparse flag NTFS would allocate every byte; Wine may not need it.
  DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  file.MoveTo(length);
  if (!SetEndOfFile(file.Get())) throw std::runtime_error("cannot set the length of " + path);
}

void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) {
  FileHandle file(path, OPEN_EXISTING);
  file.MoveTo(offset);
  DWORD written = 0;
  if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::string ReadAt(const std::string& path, uint64_t offset, std::size_t count) {
  FileHandle file(path, OPEN_EXISTING);
  file.MoveTo(offset);
  std::string bytes(count, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(count), &read, nullptr)) read = 0;
  bytes.resize(read);
  return bytes;
}
#else
namespace {

class Descriptor {
 public:
  Descriptor(const std::string& path, int flags) : descriptor_(open(path.c_str(), flags, 0644)) {
    if (descriptor_ < 0) throw std::runtime_error("cannot open " + path);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(descriptor_); }
  int Get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

void MakeSparseFile(const std::string& path, uint64_t length) {
  Descriptor file(path, O_RDWR | O_CREAT | O_TRUNC);
  if (ftruncate(file.Get(), static_cast<off_t>(length)) != 0) {
    throw std::runtime_error("cannot set the length of " + path);
  }
}

void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) {
  Descriptor file(path, O_RDWR);
  if (pwrite(file.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
      static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::string ReadAt(const std::string& path, uint64_t offset, std::size_t count) {
  Descriptor file(path, O_RDONLY);
  std::string bytes(count, '\0');
  ssize_t read = pread(file.Get(), bytes.data(), count, static_cast<off_t>(offset));
  bytes.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return bytes;
}
#endif

}  // namespace halvaris::test
