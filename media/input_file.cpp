#include "input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media_error.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <sys/stat.h>
#endif

namespace halvaris::media {

namespace {

int SeekTo(std::FILE* file, std::int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin);
#else
  return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

std::int64_t Position(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

bool IsRegularFile(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 status;
  return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat status;
  return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

}  // namespace

InputFile::InputFile(const std::string& path) : name_(path == "-" ? "standard input" : path) {
  if (path == "-") {
    file_ = stdin;
    standardInput_ = true;
  } else {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
      throw MediaError("cannot open " + path + ": " + std::strerror(errno),
                       MediaErrorCode::CannotRead);
    }
  }
  // Standard input redirected from a file can be read anywhere like the file itself.
  if (IsRegularFile(file_)) {
    const std::int64_t start = Position(file_);
    if (start >= 0 && SeekTo(file_, 0, SEEK_END) == 0) {
      const std::int64_t end = Position(file_);
      if (end >= start && SeekTo(file_, start, SEEK_SET) == 0) size_ = end - start;
    }
    base_ = start;
  }
}

InputFile::InputFile(std::string name, std::vector<std::uint8_t> bytes)
    : name_(std::move(name)),
      size_(static_cast<std::int64_t>(bytes.size())),
      memory_(std::move(bytes)) {}

InputFile::~InputFile() {
  if (file_ != nullptr && !standardInput_) std::fclose(file_);
}

FileIdentity InputFile::Identity() const {
  return file_ != nullptr ? IdentityOfStream(file_) : FileIdentity{};
}

std::size_t InputFile::Read(void* buffer, std::size_t count) {
  if (file_ == nullptr) {
    const std::size_t got = std::min(count, memory_.size() - memoryPosition_);
    if (got > 0) std::memcpy(buffer, memory_.data() + memoryPosition_, got);
    memoryPosition_ += got;
    return got;
  }
  const std::size_t got = std::fread(buffer, 1, count, file_);
  if (got < count && std::ferror(file_)) {
    throw MediaError("cannot read " + name_ + ": " + std::strerror(errno),
                     MediaErrorCode::CannotRead);
  }
  return got;
}

void InputFile::Seek(std::int64_t offset) {
  if (size_ < 0 || offset < 0 ||
      (file_ != nullptr && SeekTo(file_, base_ + offset, SEEK_SET) != 0)) {
    throw MediaError("cannot move to byte " + std::to_string(offset) + " of " + name_,
                     MediaErrorCode::CannotRead);
  }
  if (file_ == nullptr) {
    memoryPosition_ = static_cast<std::size_t>(std::min(offset, size_));
  }
}

void UseBinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace halvaris::media
