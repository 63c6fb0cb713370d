#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "file_identity.h"

namespace halvaris::media {

// A file opened for reading, or standard input for "-", with 64-bit positions on every platform
// (a long is 32 bits on Windows, so plain fseek stops at 2 GB). A regular file, standard input
// redirected from one included, can be read anywhere; anything else (a pipe, a FIFO, a device,
// /dev/fd/N of a process substitution) is read once from start to end.
class InputFile {
 public:
  // Throws MediaError when the file cannot be opened.
  explicit InputFile(const std::string& path);
  // Bytes held in memory, read as a regular file called `name` (for tests and fuzzing).
  InputFile(std::string name, std::vector<std::uint8_t> bytes);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The path as given, or "standard input".
  const std::string& Name() const { return name_; }
  bool IsStandardInput() const { return standardInput_; }

  // Size in bytes, or -1 when the input cannot be read out of order.
  std::int64_t Size() const { return size_; }

  // The file that was opened (not known for bytes in memory).
  FileIdentity Identity() const;

  // Reads up to `count` bytes; fewer only at the end of the input. Throws MediaError on a read
  // error.
  std::size_t Read(void* buffer, std::size_t count);

  // Moves to `offset`; only when Size() >= 0. Throws MediaError when the seek fails.
  void Seek(std::int64_t offset);

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
  bool standardInput_ = false;
  std::int64_t size_ = -1;
  std::int64_t base_ = 0;  // where standard input stood when the program started
  std::vector<std::uint8_t> memory_;
  std::size_t memoryPosition_ = 0;
};

// Puts standard input and output into binary mode where the platform distinguishes it.
void UseBinaryStandardStreams();

}  // namespace halvaris::media
