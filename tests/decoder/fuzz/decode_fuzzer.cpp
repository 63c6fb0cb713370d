// Runs the frame decoder on arbitrary bytes. The first byte picks the video system and whether
// the frame is handed over short (missing bytes taken as zero) or as the input repeated to the
// system's full size, so that small inputs reach every macroblock of a frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/frame_dispatcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const halvaris::VideoSystem system = data[0] % 4 + 1;
  const bool shortFrame = (data[0] & 0x80) != 0;
  const halvaris::SystemGeometry& geometry = halvaris::GeometryOf(system);
  const std::uint8_t* input = data + 1;
  const std::size_t inputSize = size - 1;

  std::vector<std::uint8_t> frame;
  if (shortFrame) {
    frame.assign(input, input + inputSize);
  } else {
    frame.resize(geometry.frameBytes);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = input[i % inputSize];
  }
  // Exactly the coded size, so that any write outside the picture is caught.
  std::vector<std::uint8_t> picture(halvaris::PictureBytes(system));
  static halvaris::FrameDispatcher dispatcher(2);
  dispatcher.DecodeFrame(picture.data(), geometry.width, geometry.height, picture.size(),
                         frame.data(), frame.size(), system);
  return 0;
}
