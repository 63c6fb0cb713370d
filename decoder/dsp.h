#pragma once

#include <cstddef>
#include <cstdint>

namespace halvaris {

// The pixel kernels, chosen once per process: SSE2 where the processor has it, otherwise (or when
// the environment variable HALVARIS_FORCE_SCALAR is set to anything but "0") the scalar twins,
// which give the same bytes.
struct DspFunctions {
  // In-place 8x8 inverse DCT of a 16-byte-aligned block of 64 values, row-major.
  void (*inverseDct8x8)(std::int16_t* block);
  // Writes one 8x8 luma block with its chroma into 8 lines of 16 YUY2 bytes. `chroma` points at
  // the first of the four Cr columns; the Cb columns lie 128 values further on.
  void (*packBlockYuy2)(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                        std::ptrdiff_t lineStep);
  const char* name;
};

const DspFunctions& ActiveDsp();

// The inverse DCT of a block whose only non-zero value is element 0 (a multiple of 4 from -1024
// to 1020, as the decoder writes it): a table lookup with the same results as the full transform.
void InverseDctDcOnly(std::int16_t* block);

const DspFunctions& ScalarDsp();
// nullptr when this build or this processor has no SSE2.
const DspFunctions* Sse2Dsp();

// The kernels, each in the file named for it.
void InverseDct8x8Scalar(std::int16_t* block);
void PackBlockYuy2Scalar(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                         std::ptrdiff_t lineStep);
#if defined(HALVARIS_SSE2_KERNELS)
void InverseDct8x8Sse2(std::int16_t* block);
void PackBlockYuy2Sse2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                       std::ptrdiff_t lineStep);
#endif

}  // namespace halvaris
