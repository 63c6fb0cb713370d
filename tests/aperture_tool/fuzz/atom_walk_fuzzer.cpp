// Runs Tapwright's atom walk over arbitrary bytes held in memory and checks what it wrote: the
// only change it may make to a file is to copy bytes 32-39 of a "tapt" atom's payload over bytes
// 12-19 of the same payload. Any other write, or a write of other bytes, aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <vector>

#include "atom_walk.h"

namespace {

using halvaris::aperture::MovieFile;

class MemoryMovie final : public MovieFile {
 public:
  explicit MemoryMovie(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  int64_t Read(void* buffer, std::size_t count) override {
    if (position_ >= static_cast<int64_t>(bytes_.size())) return 0;
    const std::size_t available = bytes_.size() - static_cast<std::size_t>(position_);
    const std::size_t got = count < available ? count : available;
    std::memcpy(buffer, bytes_.data() + position_, got);
    position_ += static_cast<int64_t>(got);
    return static_cast<int64_t>(got);
  }
  bool Write(const void* buffer, std::size_t count) override {
    if (position_ < 0 || static_cast<std::size_t>(position_) + count > bytes_.size()) std::abort();
    writes_.push_back({position_, count});
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ += static_cast<int64_t>(count);
    return true;
  }
  bool Skip(int64_t offset) override { return SeekTo(position_ + offset); }
  bool SeekTo(int64_t position) override {
    if (position < 0) return false;
    position_ = position;
    return true;
  }
  int64_t Position() override { return position_; }

  struct Span {
    int64_t position;
    std::size_t count;
  };
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  const std::vector<Span>& Writes() const { return writes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  int64_t position_ = 0;
  std::vector<Span> writes_;
};

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

bool TypeAt(const std::vector<std::uint8_t>& bytes, int64_t position, const char* type) {
  return position >= 0 && static_cast<std::size_t>(position) + 4 <= bytes.size() &&
         std::memcmp(bytes.data() + position, type, 4) == 0;
}

// True when `position` is byte 12 of the payload of a "tapt" atom, with a 32-bit or an
// extended size.
bool IsCleanApertureOfTapt(const std::vector<std::uint8_t>& bytes, int64_t position) {
  const int64_t payload = position - 12;
  if (TypeAt(bytes, payload - 4, "tapt")) return true;
  static const char kExtended[4] = {0, 0, 0, 1};
  return TypeAt(bytes, payload - 12, "tapt") && TypeAt(bytes, payload - 16, kExtended);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> original(data, data + size);
  MemoryMovie movie(original);
  NullBuffer discard;
  std::ostream console(&discard);
  halvaris::aperture::WalkMovie(movie, console);

  std::vector<bool> mayChange(size, false);
  for (const MemoryMovie::Span& write : movie.Writes()) {
    if (write.count != 8 || !IsCleanApertureOfTapt(original, write.position)) std::abort();
    const auto at = static_cast<std::size_t>(write.position);
    // Bytes 32-39 of the payload, as they were before the walk.
    if (at + 28 > size ||
        std::memcmp(movie.Bytes().data() + at, original.data() + at + 20, 8) != 0) {
      std::abort();
    }
    for (std::size_t i = at; i < at + 8; ++i) mayChange[i] = true;
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (!mayChange[i] && movie.Bytes()[i] != original[i]) std::abort();
  }
  return 0;
}
