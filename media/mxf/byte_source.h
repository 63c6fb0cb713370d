#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvaris::media {

class InputFile;

// Random access to the bytes of one file. The MXF reader goes through this so that its tests can
// hand it bytes held in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  virtual const std::string& Name() const = 0;
  virtual std::uint64_t Size() const = 0;

  // Reads up to `count` bytes at `offset`; fewer only at the end of the data. Throws MediaError
  // on a read error.
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;

  // Reads exactly `count` bytes, or returns false when the data end first.
  bool ReadExactly(std::uint64_t offset, void* buffer, std::size_t count) {
    return ReadAt(offset, buffer, count) == count;
  }
};

// A file opened through InputFile. Standard input and pipes are refused: MXF is read out of order.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(std::unique_ptr<InputFile> file);
  ~FileByteSource() override;

  const std::string& Name() const override;
  std::uint64_t Size() const override;
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::unique_ptr<InputFile> file_;
  std::uint64_t position_ = UINT64_MAX;  // where the next plain read of `file_` starts
};

// Opens `path` as a FileByteSource; throws MediaError when it cannot be opened or is not a file.
std::unique_ptr<ByteSource> OpenByteSource(const std::string& path);

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(std::string name, std::vector<std::uint8_t> bytes)
      : name_(std::move(name)), bytes_(std::move(bytes)) {}

  const std::string& Name() const override { return name_; }
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::string name_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace halvaris::media
