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

// The next bits of a block's code stream in one machine word, first bit in bit 63: `count` bits
// are real and every bit below them is zero. Taking a code is one shift, and a code table is
// indexed by the top bits directly.
struct BitWindow {
  std::uint64_t bits;
  int count;

  // The next 16 bits, right-aligned (zero past the real ones).
  std::uint32_t Top16() const { return static_cast<std::uint32_t>(bits >> 48); }

  void Consume(int k) {
    bits <<= k;
    count -= k;
  }

  // Appends the top k bits of `value` (the rest of it zero); count + k must not exceed 64.
  void Append(std::uint32_t value, int k) { Append64(std::uint64_t{value} << 32, k); }
  void Append64(std::uint64_t value, int k) {
    bits |= value >> count;
    count += k;
  }
};

// The bits of one block's own area that follow its 12 header bits. Only bytes of the area's own
// DIF block are loaded, so nothing past a frame's end is touched: block 6 masks off the byte after
// its area, block 7 (the last of the DIF block) loads from the byte before its area.
struct BlockArea {
  // `areaStart` is the byte holding the DCT mode bit and the class; blocks 0..5 own 9 bytes from
  // there (68 code bits), blocks 6 and 7 own 7 (52 code bits).
  BlockArea(const std::uint8_t* areaStart, int block) {
    if (block < 6) {
      // 64 bits in the window, the last 4 of the ninth byte in the tail.
      window = {LoadBigEndian64(areaStart) << 4 | std::uint64_t{areaStart[8]} >> 4, 64};
      tail = std::uint32_t{areaStart[8]} << 28;
      tailCount = 4;
    } else {
      const std::uint64_t bytes = block == 6 ? LoadBigEndian64(areaStart) & ~std::uint64_t{0xFF}
                                             : LoadBigEndian64(areaStart - 1) << 8;
      window = {bytes << 4, 52};
      tail = 0;
      tailCount = 0;
    }
  }

  int Available() const { return window.count + tailCount; }

  // Moves the last bits of a long area into the window once the window holds fewer than 16 bits
  // (so that the next code's bits are all there); false when there is nothing to move.
  bool RefillIfShort() {
    if (window.count >= 16 || tailCount == 0) return false;
    window.Append(tail, tailCount);
    tail = 0;
    tailCount = 0;
    return true;
  }

  BitWindow window;
  std::uint32_t tail;  // the area's last 4 bits, top-aligned, until they are moved into the window;
  int tailCount;       // then zero, so that appending what is left of the area never adds it twice
};

}  // namespace halvaris
