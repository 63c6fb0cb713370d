#pragma once

// The compressed frame a fuzz input stands for. The first byte picks the video system and whether
// the rest is handed over short or repeated to the system's full size, so that small inputs reach
// every DIF sequence of a frame.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "halvaris/halvaris.h"

struct FuzzFrame {
  int system = 0;
  HalvarisSystemInfo info{};
  std::vector<std::uint8_t> bytes;
};

// `size` is at least 2.
inline FuzzFrame FrameOfFuzzInput(const std::uint8_t* data, std::size_t size) {
  FuzzFrame frame;
  frame.system = data[0] % 4 + 1;
  halvaris_system_info(frame.system, &frame.info);
  const std::uint8_t* input = data + 1;
  const std::size_t inputSize = size - 1;
  if ((data[0] & 0x80) != 0) {
    frame.bytes.assign(input, input + inputSize);
  } else {
    frame.bytes.resize(frame.info.frameBytes);
    for (std::size_t i = 0; i < frame.bytes.size(); ++i) frame.bytes[i] = input[i % inputSize];
  }
  return frame;
}
