#pragma once

#include <cstdint>

#include "decode_context.h"

namespace halvaris {

// The spare bits of a segment: five spill buffers, one per macroblock, filled from what its blocks
// left after their end-of-block codes, and the chain of what the five still hold after pass 2.
// Bits are kept most significant bit first in 64-bit words, so a block's leftover is one or two
// word writes and a reader takes up to 64 bits at a time.
class SpillStore {
 public:
  // Empties the buffer. Only the word at the write position must be clear: Put fills words in
  // order and clears the next one as it goes.
  static void Open(SpillBuffer& buffer) {
    buffer.writePosition = 0;
    buffer.readPosition = 0;
    buffer.words[0] = 0;
  }

  // Appends the top k (0..64) bits of value; the bits of value below them must be zero.
  static void Put(SpillBuffer& buffer, std::uint64_t value, int k) {
    const int word = buffer.writePosition >> 6;
    const int shift = buffer.writePosition & 63;
    buffer.words[word] |= value >> shift;
    buffer.words[word + 1] = shift != 0 ? value << (64 - shift) : 0;
    buffer.writePosition += k;
  }

  static int Available(const SpillBuffer& buffer) {
    return buffer.writePosition - buffer.readPosition;
  }

  // The next min(k, available) bits (k = 1..64) at the top of the result, the rest zero; `got`
  // tells how many. Nothing is consumed.
  static std::uint64_t Peek(const SpillBuffer& buffer, int k, int& got) {
    const int available = Available(buffer);
    got = available < k ? available : k;
    if (got <= 0) {
      got = 0;
      return 0;
    }
    return BitsAt(buffer, buffer.readPosition) & (~std::uint64_t{0} << (64 - got));
  }

  // Consumes k bits; returns those that could not be consumed because the buffer ran out.
  static int Skip(SpillBuffer& buffer, int k) {
    if (k <= 0) return 0;
    const int available = Available(buffer);
    if (k >= available) {
      buffer.readPosition = buffer.writePosition;
      return k - available;
    }
    buffer.readPosition += k;
    return 0;
  }

  // Appends the unread bits of `source` to `chain`.
  static void Append(SpillBuffer& chain, const SpillBuffer& source) {
    SpillBuffer rest = source;
    for (;;) {
      int got;
      const std::uint64_t bits = Peek(rest, 64, got);
      if (got == 0) break;
      Put(chain, bits, got);
      rest.readPosition += got;
    }
  }

  // Empties `chain` and appends to it the unread bits of buffers[0..4], in order: reading the
  // chain is then the same as reading the five buffers one after another.
  static void Gather(const SpillBuffer* buffers, SpillBuffer& chain) {
    Open(chain);
    for (int i = 0; i < kMacroblocksPerSegment; ++i) Append(chain, buffers[i]);
    ClearAfterEnd(chain);
  }

  // Clears the two words after the one holding the write position (Put leaves the rest of that
  // one clear), so that a reader may take 64 bits from up to 31 bits past the end without
  // finding anything there.
  static void ClearAfterEnd(SpillBuffer& buffer) {
    const int word = buffer.writePosition >> 6;
    buffer.words[word + 1] = 0;
    buffer.words[word + 2] = 0;
  }

 private:
  // The 64 bits from `position` on (those past the write position are not defined).
  static std::uint64_t BitsAt(const SpillBuffer& buffer, int position) {
    const int word = position >> 6;
    const int shift = position & 63;
    const std::uint64_t high = buffer.words[word] << shift;
    return shift != 0 ? high | buffer.words[word + 1] >> (64 - shift) : high;
  }
};

}  // namespace halvaris
