// Runs the system detection of raw DIF data on arbitrary bytes: the library's
// halvaris_detect_system, halvaris-decode's opening of a raw stream, and the watch over the
// systems the frames of a stream name. The first byte chooses the --system given (0: none).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "frame_source.h"
#include "halvaris/halvaris.h"
#include "input_file.h"
#include "media_error.h"
#include "mov_reader.h"
#include "system_detection.h"

using namespace halvaris::media;

namespace {

bool SameFacts(const HalvarisFrameFacts& a, const HalvarisFrameFacts& b) {
  return a.difHeader == b.difHeader && a.system == b.system && a.fieldOrder == b.fieldOrder &&
         a.sourceType == b.sourceType;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int forcedSystem = data[0] % 5;
  const std::uint8_t* stream = data + 1;
  const std::size_t bytes = size - 1;

  HalvarisFrameFacts facts;
  const int system = halvaris_detect_system(stream, bytes, &facts);
  if (system < 0 || system > 4 || system != facts.system) std::abort();
  if (system != 0 && (!facts.difHeader || facts.sourceType < 0)) std::abort();
  if (facts.sourceType < -1 || facts.sourceType > 31) std::abort();
  if (facts.fieldOrder < HALVARIS_FIELD_ORDER_UNKNOWN ||
      facts.fieldOrder > HALVARIS_FIELD_ORDER_BOTTOM_FIRST) {
    std::abort();
  }
  // Only the first HALVARIS_DETECT_BYTES bytes count.
  if (bytes > HALVARIS_DETECT_BYTES) {
    HalvarisFrameFacts head;
    halvaris_detect_system(stream, HALVARIS_DETECT_BYTES, &head);
    if (!SameFacts(head, facts)) std::abort();
  }

  // Two frames of a stream: the watch never stops at a frame like the one before it.
  SystemWatch watch;
  const std::size_t half = bytes / 2;
  watch.Check(stream, half, 0);
  const bool stopped = !watch.Check(stream + half, bytes - half, 1).empty();
  if (stopped && half == bytes - half && std::memcmp(stream, stream + half, half) == 0) {
    std::abort();
  }

  try {
    auto file =
        std::make_unique<InputFile>("fuzz.dif", std::vector<std::uint8_t>(stream, stream + bytes));
    OpenedInput input = OpenInput(std::move(file), forcedSystem);
    if (forcedSystem != 0 && input.system != forcedSystem) std::abort();
    if (forcedSystem == 0 && input.system != system && !LooksLikeMovie(stream, bytes)) std::abort();
    const std::size_t frameBytes = GeometryOf(input.system).frameBytes;
    std::vector<std::uint8_t> frame;
    for (int i = 0; i < 4 && input.source->ReadFrame(frame); ++i) {
      if (frame.empty() || frame.size() > frameBytes) std::abort();
    }
  } catch (const MediaError&) {
  }
  return 0;
}
