#include "mxf/byte_source.h"

#include "input_file.h"
#include "media_error.h"

namespace halvaris::media {

ByteSource::ByteSource(std::unique_ptr<InputFile> file) : file_(std::move(file)) {
  if (file_->Size() < 0) {
    throw MediaError(
        file_->Name() + " is not a file that can be read out of order (MXF needs that)",
        MediaErrorCode::NotSeekable);
  }
}

ByteSource::~ByteSource() = default;

const std::string& ByteSource::Name() const {
  return file_->Name();
}

std::uint64_t ByteSource::Size() const {
  return static_cast<std::uint64_t>(file_->Size());
}

std::size_t ByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= Size() || count == 0) return 0;
  // Reads that follow each other (a walk over the essence) skip the seek and keep the buffer.
  if (offset != position_) file_->Seek(static_cast<std::int64_t>(offset));
  const std::size_t got = file_->Read(buffer, count);
  position_ = offset + got;
  return got;
}

std::unique_ptr<ByteSource> OpenByteSource(const std::string& path) {
  return std::make_unique<ByteSource>(std::make_unique<InputFile>(path));
}

}  // namespace halvaris::media
