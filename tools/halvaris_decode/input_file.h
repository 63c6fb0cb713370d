#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace halvaris::decode_tool {

// A file opened for reading, or standard input for "-", with 64-bit positions on every platform
// (a long is 32 bits on Windows, so plain fseek stops at 2 GB).
class InputFile {
 public:
  // Throws ToolError when the file cannot be opened.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& Name() const { return name_; }
  bool IsStandardInput() const { return standardInput_; }

  // Size in bytes, or -1 for a pipe.
  std::int64_t Size() const { return size_; }

  // Reads up to `count` bytes; fewer only at the end of the input. Throws ToolError on a read
  // error.
  std::size_t Read(void* buffer, std::size_t count);

  // Moves to `offset`; only for files (Size() >= 0). Throws ToolError when the seek fails.
  void Seek(std::int64_t offset);

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
  bool standardInput_ = false;
  std::int64_t size_ = -1;
};

// Puts standard input and output into binary mode where the platform distinguishes it.
void UseBinaryStandardStreams();

}  // namespace halvaris::decode_tool
