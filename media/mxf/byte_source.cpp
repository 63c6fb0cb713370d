#include "mxf/byte_source.h"

#include <algorithm>
#include <cstring>

#include "input_file.h"
#include "media_error.h"

namespace halvaris::media {

FileByteSource::FileByteSource(std::unique_ptr<InputFile> file) : file_(std::move(file)) {
  if (file_->Size() < 0) {
    throw MediaError(file_->Name() +
                     " is not a file that can be read out of order (MXF needs that)");
  }
}

FileByteSource::~FileByteSource() = default;

const std::string& FileByteSource::Name() const {
  return file_->Name();
}

std::uint64_t FileByteSource::Size() const {
  return static_cast<std::uint64_t>(file_->Size());
}

std::size_t FileByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= Size() || count == 0) return 0;
  // Reads that follow each other (a walk over the essence) skip the seek and keep the buffer.
  if (offset != position_) file_->Seek(static_cast<std::int64_t>(offset));
  const std::size_t got = file_->Read(buffer, count);
  position_ = offset + got;
  return got;
}

std::unique_ptr<ByteSource> OpenByteSource(const std::string& path) {
  return std::make_unique<FileByteSource>(std::make_unique<InputFile>(path));
}

std::size_t MemoryByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (count == 0 || offset >= bytes_.size()) return 0;
  const std::size_t got =
      static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
  std::memcpy(buffer, bytes_.data() + offset, got);
  return got;
}

}  // namespace halvaris::media
