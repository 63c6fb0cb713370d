#pragma once

#include <cstdint>
#include <cstring>

#include "decode_context.h"

namespace halvaris {

// The five spill buffers of a segment, read one at a time (pass 2) or as one chain (pass 3).
class SpillStore {
 public:
  explicit SpillStore(SpillBuffer* buffers) : buffers_(buffers) {}

  // Empties buffer i; only the words the previous segment wrote need clearing.
  static void Open(SpillBuffer& buffer) {
    std::memset(buffer.words, 0,
                sizeof(std::uint32_t) * static_cast<std::size_t>(buffer.wordsInUse));
    buffer.writePosition = 0;
    buffer.readPosition = 0;
    buffer.wordsInUse = 0;
  }

  // Appends the top k (0..32) bits of value to buffer i.
  void Put(int i, std::uint32_t value, int k) { PutInto(buffers_[i], value, k); }

  static void PutInto(SpillBuffer& buffer, std::uint32_t value, int k) {
    if (k == 0) return;
    const int word = buffer.writePosition >> 5;
    const int shift = buffer.writePosition & 31;
    const std::uint32_t kept = k == 32 ? value : value & ~(0xFFFFFFFFu >> k);
    buffer.words[word] |= kept >> shift;
    if (shift != 0) buffer.words[word + 1] |= kept << (32 - shift);
    buffer.writePosition += k;
    buffer.wordsInUse = (buffer.writePosition >> 5) + 1;
  }

  // Up to k (1..32) bits from buffer `first` on through buffer `last`, most significant bit
  // first, bits after the real ones cleared; nothing is consumed.
  std::uint32_t Peek(int first, int last, int k, int& got) const {
    got = 0;
    if (k <= 0) return 0;
    std::uint32_t value = 0;
    for (int i = first; i <= last && got < k; ++i) {
      int part;
      const std::uint32_t bits = PeekOne(buffers_[i], k - got, part);
      if (part == 0) continue;
      value |= bits >> got;
      got += part;
    }
    return value;
  }

  // Appends the unread bits of buffers 0..4, in order, to `chain`: reading the chain from its
  // start is then the same as reading the five buffers one after another.
  void Gather(SpillBuffer& chain) const {
    for (int i = 0; i < kMacroblocksPerSegment; ++i) {
      SpillBuffer source = buffers_[i];
      while (source.readPosition < source.writePosition) {
        int got;
        const std::uint32_t bits = PeekOne(source, 32, got);
        PutInto(chain, bits, got);
        source.readPosition += got;
      }
    }
  }

  // `count` (1..32) bits of `buffer` from bit `position`, first in bit 31, the rest zero.
  static std::uint32_t BitsAt(const SpillBuffer& buffer, int position, int count) {
    const int word = position >> 5;
    const int shift = position & 31;
    std::uint32_t value = buffer.words[word] << shift;
    if (shift != 0) value |= buffer.words[word + 1] >> (32 - shift);
    return count == 32 ? value : value & ~(0xFFFFFFFFu >> count);
  }

  // Skips k bits from buffer `first` on through buffer `last`; returns the bits that could not
  // be skipped.
  int Skip(int first, int last, int k) {
    for (int i = first; i <= last && k > 0; ++i) k = SkipOne(buffers_[i], k);
    return k > 0 ? k : 0;
  }

 private:
  static std::uint32_t PeekOne(const SpillBuffer& buffer, int k, int& got) {
    const int available = buffer.writePosition - buffer.readPosition;
    if (available <= 0) {
      got = 0;
      return 0;
    }
    got = available < k ? available : k;
    return BitsAt(buffer, buffer.readPosition, got);
  }

  static int SkipOne(SpillBuffer& buffer, int k) {
    if (k <= 0) return 0;
    if (buffer.writePosition == buffer.readPosition) return k;
    if (buffer.readPosition + k >= buffer.writePosition) {
      const int excess = buffer.readPosition + k - buffer.writePosition;
      buffer.readPosition = buffer.writePosition;
      return excess;
    }
    buffer.readPosition += k;
    return 0;
  }

  SpillBuffer* buffers_;
};

}  // namespace halvaris
