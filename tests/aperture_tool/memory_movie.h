#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "movie_file.h"

namespace halvaris::test {

// A movie held in memory, for failures that a real file will not produce on demand.
class MemoryMovie final : public MovieFile {
 public:
  MemoryMovie(std::string& bytes, bool* closed = nullptr) : bytes_(bytes), closed_(closed) {}
  ~MemoryMovie() override {
    if (closed_ != nullptr) *closed_ = true;
  }

  bool failWrites = false;

  int64_t Read(void* buffer, std::size_t count) override {
    if (position_ >= bytes_.size()) return 0;
    std::size_t available = std::min(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, available);
    position_ += available;
    return static_cast<int64_t>(available);
  }
  bool Write(const void* buffer, std::size_t count) override {
    if (failWrites) return false;
    if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ += count;
    return true;
  }
  bool Skip(int64_t offset) override { return SeekTo(static_cast<int64_t>(position_) + offset); }
  bool SeekTo(int64_t position) override {
    if (position < 0) return false;
    position_ = static_cast<std::size_t>(position);
    return true;
  }
  int64_t Position() override { return static_cast<int64_t>(position_); }

 private:
  std::string& bytes_;
  bool* closed_;
  std::size_t position_ = 0;
};

}  // namespace halvaris::test
