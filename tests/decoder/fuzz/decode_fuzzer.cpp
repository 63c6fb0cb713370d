// Runs the frame decoder on arbitrary bytes, a short frame's missing bytes taken as zero.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_frame.h"
#include "halvaris/halvaris.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const FuzzFrame frame = FrameOfFuzzInput(data, size);
  // Exactly the coded size, so that any write outside the picture is caught.
  std::vector<std::uint8_t> picture(frame.info.pictureBytes);
  static HalvarisDecoder* decoder = [] {
    HalvarisSettings settings;
    halvaris_default_settings(&settings);
    settings.workerCount = 2;
    HalvarisDecoder* created = nullptr;
    if (halvaris_decoder_create(&settings, &created) != HALVARIS_OK) std::abort();
    return created;
  }();
  if (halvaris_decode_frame(decoder, frame.system, frame.bytes.data(), frame.bytes.size(),
                            picture.data(), 2 * frame.info.width, picture.size()) != HALVARIS_OK) {
    std::abort();  // the decoder never fails on data
  }
  return 0;
}
