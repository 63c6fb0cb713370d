#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "messages.h"
#include "video_system.h"

namespace halvaris {

// 64 coefficients (or, after the inverse DCT, samples minus 128) of one 8x8 block, row-major.
struct alignas(16) CoefficientBlock {
  std::int16_t value[64];
};

constexpr int kMacroblocksPerSegment = 5;
constexpr int kBlocksPerMacroblock = 8;
constexpr int kBlocksPerSegment = kMacroblocksPerSegment * kBlocksPerMacroblock;

// A macroblock's blocks leave at most 6 x 64 + 2 x 48 = 480 spare bits; the chain holds what five
// of them still have. Three words more than the bits need, so that a write or a 64-bit read up to
// 31 bits past the end of a buffer stays inside its storage.
constexpr int kSpillCapacityBits = 480;
constexpr int kSpillWords = kSpillCapacityBits / 64 + 3;
constexpr int kChainWords = kMacroblocksPerSegment * kSpillCapacityBits / 64 + 3;
constexpr int kChainBuffer = kMacroblocksPerSegment;  // index of the chain in DecodeContext::spill

// One macroblock's pool of spare bits: the bits its blocks left after their end-of-block codes.
struct SpillBuffer {
  std::uint64_t* words = nullptr;  // most significant bit first
  int writePosition = 0;           // in bits
  int readPosition = 0;
};

// The work of one worker during one wave: segment slots firstSegment..lastSegment (j = 27q + s)
// of one channel of one frame.
struct DecodeJob {
  std::int32_t firstSegment = 0;
  std::int32_t lastSegment = -1;
  std::int32_t channel = 0;
  std::uint8_t* picture = nullptr;
  std::ptrdiff_t pitch = 0;  // bytes from one picture line to the next
  const std::uint8_t* frame = nullptr;
  VideoSystem system = 1;
};

// Everything a worker needs to decode one video segment, reused from segment to segment.
// Buffers are allocated on the first segment and kept for the context's life.
struct alignas(64) DecodeContext {     // own cache lines: workers write theirs constantly
  CoefficientBlock* blocks = nullptr;  // 40 blocks, 32-byte aligned inside blockStorage
  std::unique_ptr<unsigned char[]> blockStorage;
  std::unique_ptr<std::uint64_t[]> spillStorage;
  SpillBuffer spill[kMacroblocksPerSegment + 1];  // the five buffers, then their chain

  // Weight x step of each scan position of each block (see ScanMultipliers).
  const std::int32_t* multipliers[kBlocksPerSegment];
  // Bit 8m + b: block b of macroblock m ran out of bits and goes on in a later pass. Only these
  // blocks' resume positions and carried bits mean anything.
  std::uint64_t unfinished = 0;
  std::uint16_t resumePos[kBlocksPerSegment];  // the last scan position passed; 0 once finished
  std::uint32_t carryBits[kBlocksPerSegment];  // up to 16 bits, most significant bit first
  std::uint16_t carryCount[kBlocksPerSegment];
  std::uint8_t fieldMode[kMacroblocksPerSegment];
  std::uint8_t hasAc[kBlocksPerSegment];  // an AC coefficient was written into the block
  // What each block left of its area after its end-of-block code (at most 64 bits, most
  // significant bit first). The spill buffers are filled from these only when a block needs them.
  std::uint64_t spareBits[kBlocksPerSegment];
  std::uint8_t spareCount[kBlocksPerSegment];

  // Blocks whose codes ran out of bits after every pass, since the dispatcher last cleared it.
  std::uint32_t unfinishedBlocks = 0;

  const MessageSink* messages = nullptr;  // where allocation failures are told
  bool incomplete = false;  // a segment was left undecoded since the dispatcher last cleared it
};

}  // namespace halvaris
