#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace halvaris::aperture {

// Byte access to one movie. Positions are 64-bit: video files over 4 GB are normal.
class MovieFile {
 public:
  virtual ~MovieFile() = default;

  // Reads up to `count` bytes at the current position. Returns the number of bytes read,
  // 0 at the end of the file, -1 on failure.
  virtual int64_t Read(void* buffer, std::size_t count) = 0;
  // Writes `count` bytes at the current position; true only when every byte was written.
  virtual bool Write(const void* buffer, std::size_t count) = 0;
  // Moves the position by `offset` bytes (either way). A position past the end is allowed.
  virtual bool Skip(int64_t offset) = 0;
  virtual bool SeekTo(int64_t position) = 0;
  // The current position, or -1 when it cannot be told.
  virtual int64_t Position() = 0;
};

enum class MovieAccess { kRead, kReadWrite };

// Opens an existing file in binary mode through the runtime's low-level descriptors; never
// creates or truncates. Returns nullptr when the file cannot be opened with that access.
// The descriptor is closed when the returned object is destroyed.
std::unique_ptr<MovieFile> OpenMovieFile(const std::string& path, MovieAccess access);

}  // namespace halvaris::aperture
