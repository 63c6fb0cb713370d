#pragma once

#include <array>
#include <cstdint>

namespace halvaris {

// Result of reading one AC code. run -1 is end of block; run -2 means the bits at hand do not
// hold the whole code (length then tells how many it needs).
struct AcCode {
  int length;
  int run;
  int amplitude;
};

constexpr int kEndOfBlock = -1;
constexpr int kOutOfBits = -2;

// One entry per value of a code's first 13 bits. The code is complete, so every entry is filled.
struct AcCodeEntry {
  std::int16_t amplitude;  // signed
  std::int8_t run;         // kEndOfBlock, or kAmplitudeEscape for the escape carrying 8 bits
  std::uint8_t length;     // whole length in bits, sign bit included
};

// Entries with a run of 0 or more are whole codes: a decoder may take them directly when it has
// `length` bits, and fall back to DecodeAcCode otherwise.
constexpr std::int8_t kAmplitudeEscape = -3;
extern const std::array<AcCodeEntry, 8192> AcCodeTable;

// The codes of at most 10 bits (sign included), by the next 10 bits of the stream: most codes of
// real pictures are this short, and the table (4 KiB) stays in the first-level cache where the full
// one (32 KiB) would not. A code's advance is its run + 1: how far it moves the scan position, the
// coefficient landing on the last position passed. End of block is a code of 4 bits whose advance,
// kEndOfBlockAdvance, carries the scan position past any block's end, so that a decoder ends the
// block on the same test as a run that passes position 63 and tells the two apart afterwards. Every
// other index (the escapes, longer codes) has length kLookFurther, which is more than any window
// holds, so one comparison with the bits at hand tells a whole short code from everything else.
// A short code's amplitude comes with the bias that makes an arithmetic shift of its product
// truncate toward zero: 31 for a negative amplitude, 0 otherwise (products are weight x step x
// amplitude, and weight x step is positive).
struct ShortCode {
  std::uint8_t length;  // sign bit included
  std::uint8_t advance;
  std::int8_t amplitude;
  std::uint8_t roundingBias;
};
constexpr int kShortCodeBits = 10;
constexpr std::uint8_t kLookFurther = 255;
// Positions reach at most 64 + 64 on runs; an end of block from position p (1..64) gives p + 129.
constexpr std::uint8_t kEndOfBlockAdvance = 129;
extern const std::array<ShortCode, 1 << kShortCodeBits> ShortCodeTable;

// Reads the code at the top of `window` (16 bits, right-aligned, first bit in bit 15) of which
// `available` bits are real (the rest are zero).
inline AcCode DecodeAcCode(std::uint32_t window, int available) {
  const AcCodeEntry entry = AcCodeTable[(window >> 3) & 8191];
  if (entry.run == kEndOfBlock) return {4, kEndOfBlock, 0};
  if (available < entry.length) return {entry.length, kOutOfBits, 0};
  if (entry.run == kAmplitudeEscape) {
    const int magnitude = static_cast<int>((window >> 1) & 0xFF);
    return {16, 0, (window & 1) ? -magnitude : magnitude};
  }
  return {entry.length, entry.run, entry.amplitude};
}

}  // namespace halvaris
