// Runs the frame decoder on arbitrary bytes. The first byte picks the video system and whether
// the frame is handed over short (missing bytes taken as zero) or as the input repeated to the
// system's full size, so that small inputs reach every macroblock of a frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "halvaris/halvaris.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int system = data[0] % 4 + 1;
  const bool shortFrame = (data[0] & 0x80) != 0;
  HalvarisSystemInfo info;
  halvaris_system_info(system, &info);
  const std::uint8_t* input = data + 1;
  const std::size_t inputSize = size - 1;

  std::vector<std::uint8_t> frame;
  if (shortFrame) {
    frame.assign(input, input + inputSize);
  } else {
    frame.resize(info.frameBytes);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = input[i % inputSize];
  }
  // Exactly the coded size, so that any write outside the picture is caught.
  std::vector<std::uint8_t> picture(info.pictureBytes);
  static HalvarisDecoder* decoder = [] {
    HalvarisSettings settings;
    halvaris_default_settings(&settings);
    settings.workerCount = 2;
    HalvarisDecoder* created = nullptr;
    if (halvaris_decoder_create(&settings, &created) != HALVARIS_OK) std::abort();
    return created;
  }();
  if (halvaris_decode_frame(decoder, system, frame.data(), frame.size(), picture.data(),
                            2 * info.width, picture.size()) != HALVARIS_OK) {
    std::abort();  // the decoder never fails on data
  }
  return 0;
}
