#pragma once

#include <cstdint>

#include "video_system.h"

namespace halvaris {

// Scan position p of a block holds element ZigZag[p] (element 8v + u: vertical frequency v,
// horizontal frequency u).
extern const std::int32_t ZigZag[64];

// Weight of each element: 1080-line luma, 1080-line chroma, 720-line luma, 720-line chroma.
// Element 0 (DC) is never weighted.
extern const std::int16_t WeightTable[4][64];

// The weight table in scan order: entry p holds element ZigZag[p] and its weight, so that placing
// a coefficient is one lookup.
struct ScanWeight {
  std::int16_t element;
  std::int16_t weight;
};
extern const ScanWeight (*const ScanWeights)[64];  // [4][64], by weight kind

inline const ScanWeight* ScanWeightsFor(VideoSystem system, int block) {
  const bool is720 = system == 2 || system == 4;
  return ScanWeights[(is720 ? 2 : 0) + (block >= 4 ? 1 : 0)];
}

// Quantisation steps by quantisation number (0..15) and class (0..3); 255 marks the combinations
// the recorder's table gives no step for.
constexpr std::uint8_t kNoQuantStep = 255;
extern const std::uint8_t QuantStepTable[16][4];

// The step a block is dequantised with. The format's steps double from class to class; the
// combinations without a step in the table follow the same rule (quantisation number 0 counting
// as step 1), which is what encoders that use them expect. The largest step is 52 x 8 = 416.
extern const std::int32_t (*const QuantSteps)[4];  // [16][4]
inline std::int32_t QuantStep(int quantNumber, int blockClass) {
  return QuantSteps[quantNumber & 15][blockClass & 3];
}

}  // namespace halvaris
