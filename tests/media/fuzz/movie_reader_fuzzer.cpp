// Runs halvaris-decode's input opening on arbitrary bytes held in memory: the QuickTime movie
// reader (atom walk, sample tables read in pieces), the system detection behind it, and the
// reading of the frames it finds. Any MediaError is an answer; a crash, a sanitizer report or an
// allocation past libFuzzer's -malloc_limit_mb is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "frame_source.h"
#include "input_file.h"
#include "media_error.h"

using halvaris::media::GeometryOf;
using halvaris::media::InputFile;
using halvaris::media::MediaError;
using halvaris::media::OpenedInput;
using halvaris::media::OpenInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto file =
        std::make_unique<InputFile>("fuzz.mov", std::vector<std::uint8_t>(data, data + size));
    OpenedInput input = OpenInput(std::move(file), 0);
    if (input.system < 1 || input.system > 4) std::abort();
    const std::size_t frameBytes = GeometryOf(input.system).frameBytes;
    const std::int64_t count = input.source->FrameCount();
    input.source->SkipTo(1);
    std::vector<std::uint8_t> frame;
    std::int64_t read = 0;
    while (read < 16 && input.source->ReadFrame(frame)) {
      if (frame.size() > frameBytes) std::abort();
      ++read;
    }
    if (count >= 0 && read > count) std::abort();
  } catch (const MediaError&) {
  }
  return 0;
}
