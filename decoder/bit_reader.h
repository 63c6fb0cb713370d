#pragma once

#include <cstdint>
#include <cstring>

namespace halvaris {

inline std::uint64_t LoadBigEndian64(const std::uint8_t* bytes) {
  std::uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return value;
#else
  return __builtin_bswap64(value);
#endif
}

// The bits of one block's own area that follow its 12 header bits. Bits past the area read as
// zero; the area is never read beyond its last byte.
class AreaReader {
 public:
  // `areaStart` is the byte holding the DCT mode bit and the class; blocks 0..5 own 9 bytes from
  // there, blocks 6 and 7 own 7. Only bytes of the area's own DIF block are loaded: block 6
  // masks off the byte after its area, block 7 (the last of the DIF block) loads from the byte
  // before its area.
  AreaReader(const std::uint8_t* areaStart, int block) {
    if (block < 6) {
      bits_ = LoadBigEndian64(areaStart) << 4;
      buffered_ = 60;
      remaining_ = 68;
      tail_ = areaStart[8];
      hasTail_ = true;
    } else {
      const std::uint64_t bytes = block == 6 ? LoadBigEndian64(areaStart) & ~std::uint64_t{0xFF}
                                             : LoadBigEndian64(areaStart - 1) << 8;
      bits_ = bytes << 4;
      buffered_ = remaining_ = 52;
    }
  }

  bool Exhausted() const { return remaining_ == 0; }
  int Available() const { return remaining_; }

  // The next n (16 or 32) bits, right-aligned, without consuming them; `got` is how many of
  // them are real (the others are zero).
  std::uint32_t Read(int n, int& got) const {
    got = remaining_ < n ? remaining_ : n;
    return static_cast<std::uint32_t>(bits_ >> (64 - n));
  }

  // Consumes k bits (never more than are available); consuming the last one exhausts the area.
  void Advance(int k) {
    bits_ <<= k;
    buffered_ -= k;
    remaining_ -= k;
    if (buffered_ < 32 && hasTail_) {
      bits_ |= std::uint64_t{tail_} << (56 - buffered_);
      buffered_ += 8;
      hasTail_ = false;
    }
  }

 private:
  std::uint64_t bits_;     // the next unread bits, first in bit 63; zero past the area
  int buffered_;           // bits of the area held in bits_
  int remaining_;          // bits of the area not yet consumed
  std::uint8_t tail_ = 0;  // the ninth byte of a long area, moved into bits_ when there is room
  bool hasTail_ = false;
};

}  // namespace halvaris
