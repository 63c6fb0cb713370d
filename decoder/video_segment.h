#pragma once

#include <cstddef>
#include <cstdint>

#include "decode_context.h"

namespace halvaris {

// Decodes the coefficients of the 40 blocks of segment slot (c, q, s) into context.blocks
// (dequantised, before the inverse DCT); false when the buffers could not be allocated.
bool DecodeSegmentCoefficients(DecodeContext& context, int c, int q, int s,
                               const std::uint8_t* frame, VideoSystem system);

// Decodes the five macroblocks of segment slot (channel c, sequence slot q, segment slot s) of
// `frame` into `picture` (packed 4:2:2, `pitch` bytes per line). Allocation failures are
// reported, leave the slot undecoded and mark the context incomplete.
void DecodeVideoSegment(DecodeContext& context, int c, int q, int s, std::uint8_t* picture,
                        std::ptrdiff_t pitch, const std::uint8_t* frame, VideoSystem system);

// Runs one job: every segment slot of its share, in order.
void DecodeWorker(const DecodeJob& job, DecodeContext& context);

}  // namespace halvaris
