#include "video_segment.h"

#include <bitset>
#include <cstring>
#include <new>

#include "ac_code.h"
#include "bit_reader.h"
#include "coefficient_tables.h"
#include "dsp.h"
#include "placement_tables.h"
#include "spill_store.h"

namespace halvaris {

namespace {

// Out of line, so that the compiler allocates registers for each hot loop apart.
#if defined(__GNUC__)
#define HALVARIS_NOINLINE __attribute__((noinline))
#else
#define HALVARIS_NOINLINE
#endif

bool AllocateBuffers(DecodeContext& context) {
  if (context.blocks == nullptr) {
    // 40 blocks of 128 bytes plus room to align them to 32 bytes.
    context.blockStorage.reset(new (std::nothrow) unsigned char[kBlocksPerSegment * 128 + 64]);
    if (!context.blockStorage) {
      if (context.messages) {
        context.messages->Report("Could not allocate Halvaris DCT buffers", "Halvaris");
      }
      return false;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(context.blockStorage.get());
    context.blocks = reinterpret_cast<CoefficientBlock*>((address + 31) & ~std::uintptr_t{31});
  }
  if (!context.spillStorage) {
    context.spillStorage.reset(
        new (std::nothrow) std::uint64_t[kMacroblocksPerSegment * kSpillWords + kChainWords]());
    if (!context.spillStorage) {
      if (context.messages) {
        context.messages->Report("Could not allocate Halvaris buffers, out of memory?", "Halvaris");
      }
      return false;
    }
    for (int m = 0; m <= kMacroblocksPerSegment; ++m) {
      context.spill[m] = SpillBuffer{};
      context.spill[m].words = context.spillStorage.get() + m * kSpillWords;
    }
  }
  return true;
}

// Where a block's coefficients go: the block, and weight x step of each of its scan positions.
struct BlockTarget {
  std::int16_t* block;
  const std::int32_t* multipliers;

  // The low 16 bits of (weight x step x amplitude) / 32, the division truncating toward zero:
  // `roundingBias` is 31 for a negative amplitude, 0 otherwise (the multipliers are positive).
  void Put(std::ptrdiff_t p, int amplitude, int roundingBias) const {
    const std::int32_t value = (multipliers[p] * amplitude + roundingBias) >> 5;
    block[ZigZag[p]] = static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
  }

  // Places a code taken the long way, `run` positions after the next one; false when the run
  // passes the block's end (the block is then full and nothing is written).
  bool Place(std::ptrdiff_t& p, int run, int amplitude) const {
    p += run + 1;
    if (p > 63) return false;
    Put(p, amplitude, amplitude < 0 ? 31 : 0);
    return true;
  }
};

// A window that holds every bit it will get (a block's own area).
struct NoSource {
  static void TopUp(BitWindow&) {}
};

// The hot loop: takes whole short codes while the window holds them, the scan position p moving
// to where each code's coefficient lands. Returns true when the next code needs a closer look (an
// escape, a long code, or one the window does not hold all of), false when the block has ended: p
// is then kEndOfBlockAdvance or more after an end-of-block code (p - 129 is where it came), 64..128
// after a run that passed position 63. A source tops the window up before each code.
template <typename Source>
inline bool PlaceShortCodes(BitWindow& window, std::ptrdiff_t& p, const BlockTarget& target,
                            Source& source) {
  for (;;) {
    source.TopUp(window);
    // Fields read where they lie: the length straight from the table is the shortest path from
    // one code to the next.
    const ShortCode& code =
        ShortCodeTable[static_cast<std::size_t>(window.bits >> (64 - kShortCodeBits))];
    const int length = code.length;
    if (length > window.count) return true;
    window.Consume(length);
    p += code.advance;
    if (p > 63) return false;
    target.Put(p, code.amplitude, code.roundingBias);
  }
}

// The hot loop for two blocks at once, each taking one short code per turn, while both windows
// hold one: the two chains of table look-ups and shifts are independent, so each runs in the
// other's latency. Stops as soon as either block needs a closer look or has ended (p as in
// PlaceShortCodes); the caller goes on with each block alone.
inline void PlaceShortCodesOfTwo(BitWindow& windowA, std::ptrdiff_t& pA, const BlockTarget& targetA,
                                 BitWindow& windowB, std::ptrdiff_t& pB,
                                 const BlockTarget& targetB) {
  for (;;) {
    const ShortCode& codeA =
        ShortCodeTable[static_cast<std::size_t>(windowA.bits >> (64 - kShortCodeBits))];
    const ShortCode& codeB =
        ShortCodeTable[static_cast<std::size_t>(windowB.bits >> (64 - kShortCodeBits))];
    const int lengthA = codeA.length;
    const int lengthB = codeB.length;
    // One branch for both (no short-circuit), as for the ends below.
    if ((lengthA > windowA.count) | (lengthB > windowB.count)) return;
    windowA.Consume(lengthA);
    windowB.Consume(lengthB);
    pA += codeA.advance;
    pB += codeB.advance;
    if ((pA > 63) | (pB > 63)) {
      if (pA <= 63) targetA.Put(pA, codeA.amplitude, codeA.roundingBias);
      if (pB <= 63) targetB.Put(pB, codeB.amplitude, codeB.roundingBias);
      return;
    }
    targetA.Put(pA, codeA.amplitude, codeA.roundingBias);
    targetB.Put(pB, codeB.amplitude, codeB.roundingBias);
  }
}

// The unread bits of a spill buffer, taken into a window up to 32 at a time whenever it holds
// fewer, so that the window always holds the next code whole unless the buffer has run out.
struct SpillSource {
  const std::uint64_t* words;
  int position;  // of the next bit to enter the window
  int end;       // the buffer's write position

  void TopUp(BitWindow& window) {
    if (window.count >= 32) return;
    const int word = position >> 6;
    const int shift = position & 63;
    // The 64 bits from `position` on, zero past the end (see SpillStore::ClearAfterEnd); the
    // second word's part is shifted in two steps, so that a shift of 0 takes nothing from it.
    const std::uint64_t next = words[word] << shift | (words[word + 1] >> 1) >> (63 - shift);
    const int left = end - position;
    const int taken = left < 32 ? left : 32;
    window.bits |= (next >> 32) << (32 - window.count);
    window.count += taken;
    position += taken;
  }
};

// Decodes the coefficients of one segment into context.blocks: every block from its own area,
// then from the spare bits of its macroblock, then from those of the whole segment.
class SegmentDecoder {
 public:
  SegmentDecoder(DecodeContext& context, VideoSystem system)
      : context_(context), lumaKind_(WeightKind(system, 0)), chromaKind_(WeightKind(system, 4)) {}

  void Pass1(const std::uint8_t* frame, const std::uint32_t* addresses) {
    std::uint64_t unfinished = 0;
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      const std::uint8_t* difBlock = frame + addresses[m * 32];
      const int quantNumber = difBlock[3] & 15;  // the status nibble above it is not used
      const ScanMultiplierTable* luma = ScanMultipliers[lumaKind_][quantNumber];
      const ScanMultiplierTable* chroma = ScanMultipliers[chromaKind_][quantNumber];
      // Blocks two at a time; the block number is a constant in each call, so every block's area
      // layout is too.
      const std::uint64_t blocks = DecodeTwoFromArea<0>(m, difBlock, luma) |
                                   DecodeTwoFromArea<2>(m, difBlock, luma) << 2 |
                                   DecodeTwoFromArea<4>(m, difBlock, chroma) << 4 |
                                   DecodeTwoFromArea<6>(m, difBlock, chroma) << 6;
      unfinished |= blocks << (kBlocksPerMacroblock * m);
    }
    context_.unfinished = unfinished;
  }

  // Pass 2 reads each macroblock's own spare bits, pass 3 those of all five macroblocks in turn,
  // gathered into one chain first. Only the blocks still unfinished are visited.
  void LaterPasses() {
    std::uint64_t unfinished = context_.unfinished;
    if (unfinished == 0) return;  // most segments of plain pictures
    std::uint8_t filled = 0;      // macroblocks whose spill buffer holds their spare bits
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      std::uint64_t blocks = unfinished & (std::uint64_t{0xFF} << (kBlocksPerMacroblock * m));
      if (blocks == 0) continue;
      FillSpillBuffer(m, context_.spill[m]);
      filled |= static_cast<std::uint8_t>(1 << m);
      // A block whose source has run out only carries what it carried, as every block after it.
      for (; blocks != 0 && SpillStore::Available(context_.spill[m]) > 0; blocks &= blocks - 1) {
        const int index = LowestBit(blocks);
        if (DecodeFromSpill(index, context_.spill[m])) unfinished &= ~(std::uint64_t{1} << index);
      }
    }
    if (unfinished != 0) {
      SpillBuffer& chain = context_.spill[kChainBuffer];
      SpillStore::Open(chain);
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        if (filled & (1 << m)) {
          SpillStore::Append(chain, context_.spill[m]);
        } else {
          FillSpillBuffer(m, chain);
        }
      }
      SpillStore::ClearAfterEnd(chain);
      for (std::uint64_t blocks = unfinished; blocks != 0 && SpillStore::Available(chain) > 0;
           blocks &= blocks - 1) {
        const int index = LowestBit(blocks);
        if (DecodeFromSpill(index, chain)) unfinished &= ~(std::uint64_t{1} << index);
      }
      // What is still unfinished ran out of bits for good: damage no status flag announced.
      context_.unfinishedBlocks += static_cast<std::uint32_t>(std::bitset<64>(unfinished).count());
    }
    context_.unfinished = unfinished;
  }

 private:
  static int LowestBit(std::uint64_t bits) {
#if defined(__GNUC__)
    return __builtin_ctzll(bits);
#else
    int index = 0;
    while ((bits & 1) == 0) {
      bits >>= 1;
      ++index;
    }
    return index;
#endif
  }

  // Appends macroblock m's spare bits, its blocks' in order, to `buffer`.
  void FillSpillBuffer(int m, SpillBuffer& buffer) {
    if (&buffer != &context_.spill[kChainBuffer]) SpillStore::Open(buffer);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
      const int index = m * kBlocksPerMacroblock + b;
      SpillStore::Put(buffer, context_.spareBits[index], context_.spareCount[index]);
    }
    if (&buffer != &context_.spill[kChainBuffer]) SpillStore::ClearAfterEnd(buffer);
  }

  // Out of bits: the block keeps its position and the bits at hand for the next pass.
  void Carry(int index, std::uint32_t window16, int got, std::ptrdiff_t p) {
    context_.carryBits[index] = window16 << 16;
    context_.carryCount[index] = static_cast<std::uint16_t>(got);
    context_.resumePos[index] = static_cast<std::uint16_t>(p);
  }

  // The code at the top of `window` the long way (an escape, a long code, or too few bits for the
  // next one): false when the block runs out of bits, which then become its carried bits.
  bool TakeLongCode(int index, BitWindow& window, std::ptrdiff_t& p, const BlockTarget& target,
                    bool& ended) {
    const int got = window.count < 16 ? window.count : 16;
    const std::uint32_t window16 = window.Top16();
    const AcCode code = got == 0 ? AcCode{0, kOutOfBits, 0} : DecodeAcCode(window16, got);
    if (code.run < 0 || got < code.length) {
      // Out of bits (an end of block with fewer than 4 real bits among them).
      Carry(index, window16, got, p);
      return false;
    }
    window.Consume(code.length);
    ended = !target.Place(p, code.run, code.amplitude);
    return true;
  }

  // A block in pass 1: its area and where its coefficients go.
  struct AreaBlock {
    BlockArea area;
    BlockTarget target;
    int index;
    std::ptrdiff_t p;
  };

  // Pass 1 for block kBlock of macroblock m: its DC coefficient and class, and its area ready
  // for its codes.
  template <int kBlock>
  AreaBlock StartFromArea(int m, const std::uint8_t* difBlock,
                          const ScanMultiplierTable* classTables) {
    const std::uint8_t* areaStart = difBlock + (kBlock < 7 ? 5 + 10 * kBlock : 73);
    const int index = m * kBlocksPerMacroblock + kBlock;
    const int header = areaStart[0];
    // The DC coefficient: 9 bits, two's complement, the first 8 in the byte before the area.
    const int dc = 2 * static_cast<std::int8_t>(areaStart[-1]) + (header >> 7);
    if (kBlock == 0) context_.fieldMode[m] = static_cast<std::uint8_t>((header >> 6) & 1);
    const BlockTarget target{context_.blocks[index].value, classTables[(header >> 4) & 3]};
    target.block[0] = static_cast<std::int16_t>(4 * dc);
    context_.multipliers[index] = target.multipliers;
    return {BlockArea(areaStart, kBlock), target, index, 0};
  }

  // Blocks kFirst and kFirst + 1 of macroblock m from their own areas, their common short codes
  // two at a time. Returns bit 0 (bit 1) set when the first (second) runs out of bits and goes on
  // in a later pass.
  template <int kFirst>
  std::uint64_t DecodeTwoFromArea(int m, const std::uint8_t* difBlock,
                                  const ScanMultiplierTable* classTables) {
    AreaBlock a = StartFromArea<kFirst>(m, difBlock, classTables);
    AreaBlock b = StartFromArea<kFirst + 1>(m, difBlock, classTables);
    PlaceShortCodesOfTwo(a.area.window, a.p, a.target, b.area.window, b.p, b.target);
    return FinishFromArea(a) | FinishFromArea(b) << 1;
  }

  // The rest of pass 1 for a block: codes from its area until it ends or runs out of bits.
  // Returns 1 when it runs out and goes on in a later pass.
  std::uint64_t FinishFromArea(AreaBlock& block) {
    BitWindow& window = block.area.window;
    std::ptrdiff_t& p = block.p;
    NoSource noSource;
    std::uint64_t spareBits = 0;
    int spareCount = 0;
    std::uint64_t unfinished = 0;
    for (;;) {
      if (p > 63 || !PlaceShortCodes(window, p, block.target, noSource)) {
        if (p > 128) {
          p -= kEndOfBlockAdvance;
          // What is left of the area (at most 64 bits) becomes the macroblock's spare bits.
          window.Append(block.area.tail, block.area.tailCount);
          spareBits = window.bits;
          spareCount = window.count;
        }
        break;
      }
      if (block.area.RefillIfShort()) continue;
      // The window now holds the next code whole, or the area holds no more than the window.
      bool ended = false;
      if (!TakeLongCode(block.index, window, p, block.target, ended)) {
        unfinished = 1;
        break;
      }
      if (ended) break;
    }
    context_.spareBits[block.index] = spareBits;
    context_.spareCount[block.index] = static_cast<std::uint8_t>(spareCount);
    if (unfinished == 0) context_.resumePos[block.index] = 0;
    context_.hasAc[block.index] = p != 0;
    return unfinished;
  }

  // Decodes from the block's carried bits followed by the unread bits of `source`; true when the
  // block is finished. The carried bits are always the start of a code longer than they are, so
  // once a block has taken a code the window holds nothing but bits of `source`, and with nothing
  // left in `source` the block would carry the same bits again (the callers skip it then).
  bool DecodeFromSpill(int index, SpillBuffer& source) {
    const BlockTarget target{context_.blocks[index].value, context_.multipliers[index]};
    BitWindow window{std::uint64_t{context_.carryBits[index]} << 32, context_.carryCount[index]};
    SpillSource reader{source.words, source.readPosition, source.writePosition};
    const std::ptrdiff_t start = context_.resumePos[index];
    std::ptrdiff_t p = start;
    bool finished = true;
    for (;;) {
      if (!PlaceShortCodes(window, p, target, reader)) {
        if (p > 128) p -= kEndOfBlockAdvance;
        break;
      }
      bool ended = false;
      if (!TakeLongCode(index, window, p, target, ended)) {
        finished = false;
        break;
      }
      if (ended) break;
    }
    if (p != start) context_.hasAc[index] = 1;
    if (!finished) {
      // Everything at hand went into the carried bits.
      source.readPosition = source.writePosition;
      return false;
    }
    // What the window still holds is the unread part of `source`.
    source.readPosition = reader.position - window.count;
    context_.carryCount[index] = 0;
    context_.resumePos[index] = 0;
    return true;
  }

  DecodeContext& context_;
  const int lumaKind_;
  const int chromaKind_;
};

// Inverse transforms macroblock m of the segment and packs it into the picture at `position`.
// Blocks go in pairs through the transform (Cr, Cb, the upper luma blocks, the lower ones) and
// the packing (the two luma blocks of a half of the macroblock lie side by side in every
// arrangement, and share one chroma block).
void Reconstruct(DecodeContext& context, int m, MacroblockPosition position, bool is1080,
                 std::uint8_t* picture, std::ptrdiff_t pitch, const DspFunctions& dsp) {
  CoefficientBlock* blocks = context.blocks + m * kBlocksPerMacroblock;
  const std::uint8_t* hasAc = context.hasAc + m * kBlocksPerMacroblock;
  // Blocks without AC coefficients (most of a plain picture) take the table of DC-only results.
  auto transformPair = [&](int b) {
    if (hasAc[b] & hasAc[b + 1]) {
      dsp.inverseDct8x8Pair(blocks[b].value);
      return;
    }
    for (int k = b; k < b + 2; ++k) {
      if (hasAc[k]) {
        dsp.inverseDct8x8(blocks[k].value);
      } else {
        dsp.inverseDctDcOnly(blocks[k].value);
      }
    }
  };
  transformPair(4);
  transformPair(6);
  transformPair(0);
  transformPair(2);

  std::uint8_t* upper;  // blocks 0 and 1
  std::uint8_t* lower;  // blocks 2 and 3
  std::ptrdiff_t lineStep = pitch;
  if (is1080 && position.y >= 1072) {
    // The bottom row of the 1080-line pictures holds 32 x 8 macroblocks, blocks side by side;
    // the position table holds half their column.
    upper = picture + position.y * pitch + 4 * position.x;
    lower = upper + 32;
  } else if (is1080 && context.fieldMode[m] != 0) {
    // Upper blocks fill the even lines of the macroblock, lower blocks the odd lines.
    upper = picture + position.y * pitch + 2 * position.x;
    lower = upper + pitch;
    lineStep = 2 * pitch;
  } else {
    upper = picture + position.y * pitch + 2 * position.x;
    lower = upper + 8 * pitch;
  }
  dsp.packPairYuy2(blocks[0].value, blocks[4].value, upper, lineStep);
  dsp.packPairYuy2(blocks[2].value, blocks[5].value, lower, lineStep);
}

}  // namespace

namespace {
// One function for all three passes, called from two places but kept out of line: the compiler
// then inlines the passes into it and keeps the hot loops' state in registers.
HALVARIS_NOINLINE bool DecodeCoefficients(DecodeContext& context, const std::uint32_t* addresses,
                                          const std::uint8_t* frame, VideoSystem system) {
  if (!AllocateBuffers(context)) return false;
  std::memset(context.blocks, 0, sizeof(CoefficientBlock) * kBlocksPerSegment);
  SegmentDecoder decoder(context, system);
  decoder.Pass1(frame, addresses);
  decoder.LaterPasses();
  return true;
}

// GCC 12 takes a function that does nothing but prefetch for one without effects and drops the
// calls to it; inlined, the prefetches stay.
#if defined(__GNUC__)
#define HALVARIS_PREFETCH_HELPER __attribute__((always_inline)) inline
#else
#define HALVARIS_PREFETCH_HELPER inline
#endif

// How many segment slots ahead the picture lines are asked for: a slot decodes in 1.5 to 4
// microseconds, and lines that are not in a cache come from memory in a fraction of that, but the
// requests of several slots must be under way at once to keep the stores from waiting for them.
constexpr int kPictureLookahead = 4;

// Asks for the compressed macroblocks of a segment slot while the slot before it decodes: they lie
// scattered over the frame, far from what was read last.
HALVARIS_PREFETCH_HELPER void PrefetchCompressed(const std::uint8_t* frame,
                                                 const std::uint32_t* addresses) {
#if defined(__GNUC__)
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const std::uint8_t* difBlock = frame + addresses[m * 32];
    __builtin_prefetch(difBlock);
    __builtin_prefetch(difBlock + 79);
  }
#else
  (void)frame;
  (void)addresses;
#endif
}

// Asks for the picture lines a macroblock will be written to, into the second-level cache: every
// packed line goes to its own cache line, and a store that misses waits for the line to be read,
// so without this the stores of a few macroblocks fill the store queue and stall everything
// behind them. A read request brings an unshared line in exclusive, ready to be written (a write
// request needs an instruction the baseline processor lacks, and the compiler drops it), and
// aiming at the second level keeps the first for the coefficient blocks and tables (aiming at
// the first gained half as much). A segment slot's lines are asked for together, before its
// coefficients are decoded; asking for one macroblock's lines before each macroblock is packed
// measured the same.
HALVARIS_PREFETCH_HELPER void PrefetchPictureLines(const DecodeJob& job,
                                                   MacroblockPosition position, bool is1080) {
#if defined(__GNUC__)
  // The bottom row of the 1080-line pictures: 8 lines of 32 x 8 macroblocks (see Reconstruct).
  const bool bottomRow = is1080 && position.y >= 1072;
  const std::uint8_t* out = job.picture + position.y * job.pitch + (bottomRow ? 4 : 2) * position.x;
  for (int line = 0; line < (bottomRow ? 8 : 16); ++line) {
    __builtin_prefetch(out + line * job.pitch, 0, 2);
  }
#else
  (void)job;
  (void)position;
  (void)is1080;
#endif
}
}  // namespace

bool DecodeSegmentCoefficients(DecodeContext& context, int c, int q, int s,
                               const std::uint8_t* frame, VideoSystem system) {
  return DecodeCoefficients(
      context, &BuildPlacementTables().blockAddress[system - 1][BlockAddressIndex(c, q, 0, s)],
      frame, system);
}

void DecodeWorker(const DecodeJob& job, DecodeContext& context) {
  const PlacementTables& tables = BuildPlacementTables();
  const DspFunctions& dsp = ActiveDsp();
  const VideoSystem system = job.system;
  const bool is1080 = system == 1 || system == 3;
  const std::uint32_t* addresses = tables.blockAddress[system - 1];
  const MacroblockPosition* positions = tables.macroblockPosition[system - 1];
  auto position = [&](int j, int m) {
    return positions[MacroblockPositionIndex(job.channel, j / 27, m, j % 27)];
  };
  for (int j = job.firstSegment; j < job.firstSegment + kPictureLookahead && j <= job.lastSegment;
       ++j) {
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      PrefetchPictureLines(job, position(j, m), is1080);
    }
  }
  for (int j = job.firstSegment; j <= job.lastSegment; ++j) {
    if (j < job.lastSegment) {
      PrefetchCompressed(job.frame,
                         &addresses[BlockAddressIndex(job.channel, (j + 1) / 27, 0, (j + 1) % 27)]);
    }
    if (j + kPictureLookahead <= job.lastSegment) {
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        PrefetchPictureLines(job, position(j + kPictureLookahead, m), is1080);
      }
    }
    if (!DecodeCoefficients(context, &addresses[BlockAddressIndex(job.channel, j / 27, 0, j % 27)],
                            job.frame, system)) {
      context.incomplete = true;  // the slot is left as it was
      continue;
    }
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      Reconstruct(context, m, position(j, m), is1080, job.picture, job.pitch, dsp);
    }
  }
}

}  // namespace halvaris
