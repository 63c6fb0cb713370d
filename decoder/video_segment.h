#pragma once

#include <cstddef>
#include <cstdint>

#include "decode_context.h"

namespace halvaris {

// Decodes the coefficients of the 40 blocks of segment slot (c, q, s) into context.blocks
// (dequantised, before the inverse DCT); false when the buffers could not be allocated.
bool DecodeSegmentCoefficients(DecodeContext& context, int c, int q, int s,
                               const std::uint8_t* frame, VideoSystem system);

// Runs one job: every segment slot of its share, in order, each decoded into the picture (packed
// 4:2:2). Allocation failures are reported, leave the slots undecoded and mark the context
// incomplete. The kernel level is taken once per job.
void DecodeWorker(const DecodeJob& job, DecodeContext& context);

}  // namespace halvaris
