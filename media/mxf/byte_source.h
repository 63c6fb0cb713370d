#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvaris::media {

class InputFile;

// Random access to an input that can be read out of order (a file, or bytes held in memory): the
// MXF reader's view of an InputFile, which is the one source of bytes of every reader.
class ByteSource {
 public:
  // Throws MediaError (NotSeekable) for a stream: MXF is read out of order.
  explicit ByteSource(std::unique_ptr<InputFile> file);
  ~ByteSource();
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  const std::string& Name() const;
  std::uint64_t Size() const;

  // Reads up to `count` bytes at `offset`; fewer only at the end of the data. Throws MediaError
  // on a read error.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

  // Reads exactly `count` bytes, or returns false when the data end first.
  bool ReadExactly(std::uint64_t offset, void* buffer, std::size_t count) {
    return ReadAt(offset, buffer, count) == count;
  }

 private:
  std::unique_ptr<InputFile> file_;
  std::uint64_t position_ = UINT64_MAX;  // where the next plain read of `file_` starts
};

// Opens `path` as a ByteSource; throws MediaError when it cannot be opened or is not a file.
std::unique_ptr<ByteSource> OpenByteSource(const std::string& path);

}  // namespace halvaris::media
