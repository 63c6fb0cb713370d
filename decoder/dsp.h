#pragma once

#include <cstddef>
#include <cstdint>

namespace halvaris {

// The pixel kernels of one instruction set. Every level gives the same bytes as the scalar one
// for every input; the decoder takes one level for the whole process (ActiveDsp).
struct DspFunctions {
  // In-place 8x8 inverse DCT of a 16-byte-aligned block of 64 values, row-major.
  void (*inverseDct8x8)(std::int16_t* block);
  // The same for two blocks that follow one another (128 values).
  void (*inverseDct8x8Pair)(std::int16_t* blocks);
  // The inverse DCT of a block whose only non-zero value is element 0: the same results as the
  // full transform, from a table when element 0 is a multiple of 4 (as the decoder writes it).
  void (*inverseDctDcOnly)(std::int16_t* block);
  // Writes two 8x8 luma blocks that lie side by side (128 values, the left block first) with
  // their chroma into 8 lines of 32 YUY2 bytes: `chroma` is the Cr block (its left four columns
  // go with the left luma block), the Cb block lies 128 values further on. `lineStep` is the
  // distance in bytes from one written line to the next.
  void (*packPairYuy2)(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                       std::ptrdiff_t lineStep);
  const char* name;
};

// The scalar level, and the SIMD levels where this build and this processor have them (nullptr
// otherwise).
const DspFunctions& ScalarDsp();
const DspFunctions* Sse2Dsp();
const DspFunctions* Avx2Dsp();

// The level named "scalar", "sse2" or "avx2", or nullptr when there is none of that name here.
const DspFunctions* DspNamed(const char* name);

// Every level this build and processor have, the scalar one first; returns how many (1..3).
int AvailableDsps(const DspFunctions* levels[3]);

// The level the decoder uses, chosen once: the best one the processor has, unless the environment
// asks for another. HALVARIS_CPU=scalar|sse2|avx2 names a level (a level the processor lacks gives
// the best one below it); HALVARIS_FORCE_SCALAR set to anything but "0" means scalar.
const DspFunctions& ActiveDsp();

// The choice ActiveDsp makes, from the two variables' values (nullptr when not set).
const DspFunctions& ChooseDsp(const char* cpu, const char* forceScalar);

// The line values (every column of a line is the same) of the transform of a DC-only block whose
// element 0 is 4 x (index - 256), index 0..511. Filled by BuildDcOnlyLines, which every accessor
// of a level (ScalarDsp, Sse2Dsp, Avx2Dsp) calls before it hands out the kernels, so the kernels
// read it without a check.
extern std::int16_t DcOnlyLines[512][8];
void BuildDcOnlyLines();

// The kernels, each in the file named for it.
void InverseDct8x8Scalar(std::int16_t* block);
void InverseDct8x8PairScalar(std::int16_t* blocks);
void InverseDctDcOnlyScalar(std::int16_t* block);
// The eight line values of the transform of a block whose only non-zero value is element 0 (every
// column of a line is the same), computed as InverseDct8x8Scalar does but for one column.
void InverseDctDcOnlyLinesScalar(std::int16_t dc, std::int16_t lines[8]);
void PackBlockYuy2Scalar(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                         std::ptrdiff_t lineStep);
void PackPairYuy2Scalar(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                        std::ptrdiff_t lineStep);
#if defined(HALVARIS_SSE2_KERNELS)
void InverseDct8x8Sse2(std::int16_t* block);
void InverseDct8x8PairSse2(std::int16_t* blocks);
void InverseDctDcOnlySse2(std::int16_t* block);
void PackPairYuy2Sse2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                      std::ptrdiff_t lineStep);
#endif
#if defined(HALVARIS_AVX2_KERNELS)
void InverseDct8x8PairAvx2(std::int16_t* blocks);
void InverseDctDcOnlyAvx2(std::int16_t* block);
void PackPairYuy2Avx2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                      std::ptrdiff_t lineStep);
#endif

}  // namespace halvaris
