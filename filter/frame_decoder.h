#pragma once

// The filter's frame decoder: one libhalvaris decoder per filter instance, made for the current
// worker count, whose messages are shown as the module's message boxes.

#include "halvaris/halvaris.hpp"

namespace halvaris::filter {

using halvaris::UniqueDecoder;

// The settings a filter's decoder is made with: `workerCount` workers, its messages to
// ShowMessage, and the pool unless HALVARIS_DECODE_THREADS says "per-wave" (fresh threads for
// every wave, for measuring what starting them costs).
HalvarisSettings FilterDecoderSettings(int workerCount);

// A decoder with those settings; empty when it cannot be made.
UniqueDecoder MakeFilterDecoder(int workerCount);

}  // namespace halvaris::filter
