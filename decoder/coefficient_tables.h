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

// The weight tables chosen by the video system and the block: 1080-line luma, 1080-line chroma,
// 720-line luma, 720-line chroma.
inline int WeightKind(VideoSystem system, int block) {
  const bool is720 = system == 2 || system == 4;
  return (is720 ? 2 : 0) + (block >= 4 ? 1 : 0);
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

// Weight x step by scan position, for every weight kind, quantisation number and class: placing
// amplitude a at scan position p of a block is one multiply, (ScanMultipliers[..][p] x a) / 32
// truncated toward zero. Entry 0 (the DC position) is not used. 64 KiB, of which a segment touches
// a few tables of 256 bytes.
using ScanMultiplierTable = std::int32_t[64];
extern const ScanMultiplierTable (*const ScanMultipliers)[16][4];  // [4 kinds]

}  // namespace halvaris
