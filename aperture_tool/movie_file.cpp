#include "movie_file.h"

#include <fcntl.h>

#include <limits>

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace halvaris::aperture {
namespace {

// The few descriptor calls differ between the runtimes only in name and in the width of their
// offsets; everything above them is shared.
#ifdef _WIN32
int OpenDescriptor(const char* path, MovieAccess access) {
  return _open(path, (access == MovieAccess::kRead ? _O_RDONLY : _O_RDWR) | _O_BINARY);
}
int64_t SeekDescriptor(int descriptor, int64_t offset, int origin) {
  return _lseeki64(descriptor, offset, origin);
}
int64_t ReadDescriptor(int descriptor, void* buffer, std::size_t count) {
  return _read(descriptor, buffer, static_cast<unsigned>(count));
}
int64_t WriteDescriptor(int descriptor, const void* buffer, std::size_t count) {
  return _write(descriptor, buffer, static_cast<unsigned>(count));
}
void CloseDescriptor(int descriptor) {
  _close(descriptor);
}
// The runtime reads and writes at most an unsigned int per call.
constexpr std::size_t kLargestTransfer = std::numeric_limits<int>::max();
#else
static_assert(sizeof(off_t) == 8, "movie positions need a 64-bit off_t");
int OpenDescriptor(const char* path, MovieAccess access) {
  // Opening a named pipe found in a dropped folder would wait for a writer forever; a pipe holds
  // no movie, so it is not opened at all.
  struct stat attributes {};
  if (stat(path, &attributes) == 0 && S_ISFIFO(attributes.st_mode)) return -1;
  return open(path, (access == MovieAccess::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC);
}
int64_t SeekDescriptor(int descriptor, int64_t offset, int origin) {
  return lseek(descriptor, static_cast<off_t>(offset), origin);
}
int64_t ReadDescriptor(int descriptor, void* buffer, std::size_t count) {
  return read(descriptor, buffer, count);
}
int64_t WriteDescriptor(int descriptor, const void* buffer, std::size_t count) {
  return write(descriptor, buffer, count);
}
void CloseDescriptor(int descriptor) {
  close(descriptor);
}
constexpr std::size_t kLargestTransfer = std::numeric_limits<ssize_t>::max();
#endif

class DescriptorFile final : public MovieFile {
 public:
  explicit DescriptorFile(int descriptor) : descriptor_(descriptor) {}
  DescriptorFile(const DescriptorFile&) = delete;
  DescriptorFile& operator=(const DescriptorFile&) = delete;
  ~DescriptorFile() override { CloseDescriptor(descriptor_); }

  int64_t Read(void* buffer, std::size_t count) override {
    if (count > kLargestTransfer) count = kLargestTransfer;
    return ReadDescriptor(descriptor_, buffer, count);
  }

  bool Write(const void* buffer, std::size_t count) override {
    // A write may take fewer bytes than asked; only a write that stops making progress fails.
    auto* bytes = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
      int64_t written =
          WriteDescriptor(descriptor_, bytes, count > kLargestTransfer ? kLargestTransfer : count);
      if (written <= 0) return false;
      bytes += written;
      count -= static_cast<std::size_t>(written);
    }
    return true;
  }

  bool Skip(int64_t offset) override { return SeekDescriptor(descriptor_, offset, SEEK_CUR) >= 0; }
  bool SeekTo(int64_t position) override {
    return position >= 0 && SeekDescriptor(descriptor_, position, SEEK_SET) == position;
  }
  int64_t Position() override { return SeekDescriptor(descriptor_, 0, SEEK_CUR); }

 private:
  int descriptor_;
};

}  // namespace

std::unique_ptr<MovieFile> OpenMovieFile(const std::string& path, MovieAccess access) {
  int descriptor = OpenDescriptor(path.c_str(), access);
  if (descriptor < 0) return nullptr;
  return std::make_unique<DescriptorFile>(descriptor);
}

}  // namespace halvaris::aperture
