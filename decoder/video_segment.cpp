#include "video_segment.h"

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

constexpr int kPass2 = 2;
constexpr int kPass3 = 3;

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

// The low 16 bits of (weight x step x amplitude) / 32, the division truncating toward zero.
inline std::int16_t Dequantise(std::int32_t weight, std::int32_t step, std::int32_t amplitude) {
  const std::int32_t value = (weight * step * amplitude) / 32;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

// Places (run, amplitude) at scan position p and moves p past it; false when the run passes the
// block's end (the block is then full and nothing is written).
inline bool Place(std::int16_t* block, int& p, int run, int amplitude, const ScanWeight* scan,
                  std::int32_t step) {
  p += run;
  if (p > 63) return false;
  const ScanWeight entry = scan[p];
  block[entry.element] = Dequantise(entry.weight, step, amplitude);
  ++p;
  return true;
}

// The hot loop: takes whole short codes from the window while it holds them. Returns true when the
// next code needs a closer look (an escape, a long code, or one the window does not hold all of),
// false when the block has ended: p is then more than 128 after an end-of-block code (p - 129 is
// where it came), 64..128 after a run that passed position 63.
inline bool PlaceShortCodes(BitWindow& window, std::int16_t* block, int& position,
                            const ScanWeight* scan, std::int32_t step) {
  std::ptrdiff_t p = position;  // machine-word sized, so that it indexes the table directly
  for (;;) {
    // Fields read where they lie: the length straight from the table is the shortest path from
    // one code to the next.
    const ShortCode& code =
        ShortCodeTable[static_cast<std::size_t>(window.bits >> (64 - kShortCodeBits))];
    const int length = code.length;
    if (length > window.count) break;
    window.Consume(length);
    p += code.advance;
    if (p > 64) {
      position = static_cast<int>(p);
      return false;
    }
    const ScanWeight entry = scan[p - 1];
    block[entry.element] = Dequantise(entry.weight, step, code.amplitude);
  }
  position = static_cast<int>(p);
  return true;
}

// Decodes the coefficients of one segment into context.blocks: every block from its own area,
// then from the spare bits of its macroblock, then from those of the whole segment.
class SegmentDecoder {
 public:
  SegmentDecoder(DecodeContext& context, VideoSystem system)
      : context_(context),
        lumaScan_(ScanWeightsFor(system, 0)),
        chromaScan_(ScanWeightsFor(system, 4)) {}

  void Pass1(const std::uint8_t* frame, const std::uint32_t* addresses) {
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      const std::uint8_t* difBlock = frame + addresses[m * 32];
      const int quantNumber = difBlock[3] & 15;  // the status nibble above it is not used
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const std::uint8_t* areaStart = difBlock + (b < 7 ? 5 + 10 * b : 73);
        const int index = m * kBlocksPerMacroblock + b;
        const int header = areaStart[0];
        int dc = 2 * areaStart[-1] + (header >> 7);
        if (dc >= 256) dc -= 512;
        if (b == 0) context_.fieldMode[m] = static_cast<std::uint8_t>((header >> 6) & 1);
        std::int16_t* coefficients = context_.blocks[index].value;
        coefficients[0] = static_cast<std::int16_t>(4 * dc);
        const std::int32_t step = QuantStep(quantNumber, (header >> 4) & 3);
        context_.quantStep[index] = step;
        DecodeFromArea(index, BlockArea(areaStart, b), b < 4 ? lumaScan_ : chromaScan_, step);
      }
    }
  }

  // Pass 2 reads each macroblock's own spare bits, pass 3 those of all five macroblocks in turn,
  // gathered into one chain first.
  void LaterPass(int pass) {
    if (!AnyUnfinished()) return;  // most segments of plain pictures
    if (pass == kPass2) FillSpillBuffers();
    if (pass == kPass3) SpillStore::Gather(context_.spill, context_.spill[kChainBuffer]);
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      const int first = pass == kPass2 ? m : kChainBuffer;
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const int index = m * kBlocksPerMacroblock + b;
        if (context_.resumePos[index] == 0) continue;
        DecodeFromSpill(index, context_.spill[first], b < 4 ? lumaScan_ : chromaScan_,
                        context_.quantStep[index]);
      }
    }
  }

 private:
  // Each macroblock's spare bits, its blocks' in order. Segments whose blocks all end in their own
  // areas never need them.
  void FillSpillBuffers() {
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      SpillBuffer& buffer = context_.spill[m];
      SpillStore::Open(buffer);
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const int index = m * kBlocksPerMacroblock + b;
        SpillStore::Put(buffer, context_.spareBits[index], context_.spareCount[index]);
      }
    }
  }

  bool AnyUnfinished() const {
    int unfinished = 0;
    for (std::uint16_t position : context_.resumePos) unfinished |= position;
    return unfinished != 0;
  }

  // Out of bits: the block keeps its position and the bits at hand for the next pass.
  void Carry(int index, std::uint32_t window16, int got, int p) {
    context_.carryBits[index] = window16 << 16;
    context_.carryCount[index] = static_cast<std::uint16_t>(got);
    context_.resumePos[index] = static_cast<std::uint16_t>(p);
  }

  void DecodeFromArea(int index, BlockArea area, const ScanWeight* scan, std::int32_t step) {
    std::int16_t* block = context_.blocks[index].value;
    BitWindow& window = area.window;
    context_.spareBits[index] = 0;
    context_.spareCount[index] = 0;
    int p = 1;
    for (;;) {
      if (!PlaceShortCodes(window, block, p, scan, step)) {
        if (p > 128) {
          p -= kEndOfBlockAdvance;
          // What is left of the area (at most 64 bits) becomes the macroblock's spare bits.
          window.Append(area.tail, area.tailCount);
          context_.spareBits[index] = window.bits;
          context_.spareCount[index] = static_cast<std::uint8_t>(window.count);
        }
        break;
      }
      if (area.RefillIfShort()) continue;
      // The window now holds the next code whole, or the area holds no more than the window.
      const int got = window.count < 16 ? window.count : 16;
      const std::uint32_t window16 = window.Top16();
      const AcCode code = got == 0 ? AcCode{0, kOutOfBits, 0} : DecodeAcCode(window16, got);
      if (code.run < 0 || got < code.length) {
        // Out of bits (an end of block with fewer than 4 real bits among them): the rest of the
        // area becomes the block's carried bits; later passes go on from them.
        Carry(index, window16, got, p);
        break;
      }
      window.Consume(code.length);
      if (!Place(block, p, code.run, code.amplitude, scan, step)) break;
    }
    context_.hasAc[index] = p != 1;
  }

  // Decodes from the block's carried bits followed by the unread bits of `source`. The carried
  // bits are always the start of a code longer than they are, so once a block has taken a code
  // the window holds nothing but bits of `source`.
  void DecodeFromSpill(int index, SpillBuffer& source, const ScanWeight* scan, std::int32_t step) {
    std::int16_t* block = context_.blocks[index].value;
    BitWindow window{std::uint64_t{context_.carryBits[index]} << 32, context_.carryCount[index]};
    const int start = context_.resumePos[index];
    int p = start;
    for (;;) {
      if (!PlaceShortCodes(window, block, p, scan, step)) {
        if (p > 128) p -= kEndOfBlockAdvance;
        break;
      }
      if (window.count <= 48 && SpillStore::Available(source) > 0) {
        int got;
        const std::uint64_t bits = SpillStore::Peek(source, 64 - window.count, got);
        window.Append64(bits, got);
        source.readPosition += got;
        continue;
      }
      const int got = window.count < 16 ? window.count : 16;
      const std::uint32_t window16 = window.Top16();
      const AcCode code = got == 0 ? AcCode{0, kOutOfBits, 0} : DecodeAcCode(window16, got);
      if (code.run < 0 || got < code.length) {
        // Out of bits: everything at hand is carried into the next pass.
        Carry(index, window16, got, p);
        if (p != start) context_.hasAc[index] = 1;
        return;
      }
      window.Consume(code.length);
      if (!Place(block, p, code.run, code.amplitude, scan, step)) break;
    }
    // Finished: what the window still holds is the unread part of `source`.
    context_.carryCount[index] = 0;
    context_.resumePos[index] = 0;
    source.readPosition -= window.count;
    if (p != start) context_.hasAc[index] = 1;
  }

  DecodeContext& context_;
  const ScanWeight* lumaScan_;
  const ScanWeight* chromaScan_;
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

bool DecodeSegmentCoefficients(DecodeContext& context, int c, int q, int s,
                               const std::uint8_t* frame, VideoSystem system) {
  if (!AllocateBuffers(context)) return false;

  std::memset(context.blocks, 0, sizeof(CoefficientBlock) * kBlocksPerSegment);
  std::memset(context.resumePos, 0, sizeof context.resumePos);
  std::memset(context.carryCount, 0, sizeof context.carryCount);
  std::memset(context.hasAc, 0, sizeof context.hasAc);

  const std::uint32_t* addresses =
      &BuildPlacementTables().blockAddress[system - 1][BlockAddressIndex(c, q, 0, s)];
  SegmentDecoder decoder(context, system);
  decoder.Pass1(frame, addresses);
  decoder.LaterPass(kPass2);
  decoder.LaterPass(kPass3);
  return true;
}

void DecodeVideoSegment(DecodeContext& context, int c, int q, int s, std::uint8_t* picture,
                        std::ptrdiff_t pitch, const std::uint8_t* frame, VideoSystem system) {
  if (!DecodeSegmentCoefficients(context, c, q, s, frame, system)) {
    context.incomplete = true;
    return;
  }

  const PlacementTables& tables = BuildPlacementTables();
  const DspFunctions& dsp = ActiveDsp();
  const bool is1080 = system == 1 || system == 3;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const MacroblockPosition position =
        tables.macroblockPosition[system - 1][MacroblockPositionIndex(c, q, m, s)];
    Reconstruct(context, m, position, is1080, picture, pitch, dsp);
  }
}

namespace {
// Asks for the compressed macroblocks and the picture lines of segment slot j while the slot
// before it decodes: both lie scattered over the frame and the picture, far from what was used
// last, and the picture's lines must be read before they are written.
void PrefetchSegment(const DecodeJob& job, int j) {
#if defined(__GNUC__)
  const PlacementTables& tables = BuildPlacementTables();
  const int q = j / 27;
  const int s = j % 27;
  const std::uint32_t* addresses =
      &tables.blockAddress[job.system - 1][BlockAddressIndex(job.channel, q, 0, s)];
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const std::uint8_t* difBlock = job.frame + addresses[m * 32];
    __builtin_prefetch(difBlock);
    __builtin_prefetch(difBlock + 79);
    const MacroblockPosition position =
        tables.macroblockPosition[job.system - 1][MacroblockPositionIndex(job.channel, q, m, s)];
    // The bottom row of the 1080-line pictures: 8 lines of 32 x 8 macroblocks (see Reconstruct).
    const bool bottomRow = (job.system == 1 || job.system == 3) && position.y >= 1072;
    const std::uint8_t* out =
        job.picture + position.y * job.pitch + (bottomRow ? 4 : 2) * position.x;
    for (int line = 0; line < (bottomRow ? 8 : 16); ++line) {
      __builtin_prefetch(out + line * job.pitch, 1);
    }
  }
#else
  (void)job;
  (void)j;
#endif
}
}  // namespace

void DecodeWorker(const DecodeJob& job, DecodeContext& context) {
  for (int j = job.firstSegment; j <= job.lastSegment; ++j) {
    if (j < job.lastSegment) PrefetchSegment(job, j + 1);
    DecodeVideoSegment(context, job.channel, j / 27, j % 27, job.picture, job.pitch, job.frame,
                       job.system);
  }
}

}  // namespace halvaris
