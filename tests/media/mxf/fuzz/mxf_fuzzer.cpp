// Runs halvaris-decode's input path on arbitrary bytes taken for an MXF file: recognition, the
// structure, the DV-DIF frames and the sound that --audio would write (sound tracks, or the
// frames' audio blocks). The first byte picks the forced video system (0: what the frames say).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame_source.h"
#include "input_file.h"
#include "media_error.h"
#include "mxf/mxf_file.h"

using namespace halvaris::media;

namespace {

// An MXF header partition key, so that most inputs are taken for MXF.
const std::uint8_t kHeaderPartition[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01,
                                         0x01, 0x0d, 0x01, 0x02, 0x01, 0x01, 0x02};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int forcedSystem = data[0] % 5;
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  if (!mxf::LooksLikeMxf(bytes.data(), bytes.size())) {
    bytes.insert(bytes.begin(), std::begin(kHeaderPartition), std::end(kHeaderPartition));
  }
  try {
    OpenedInput input =
        OpenInput(std::make_unique<InputFile>("fuzz.mxf", std::move(bytes)), forcedSystem);
    std::vector<std::string> warnings;
    std::unique_ptr<FrameSound> sound = input.openSound(warnings);
    std::vector<std::uint8_t> frame;
    std::vector<std::uint8_t> samples;
    const std::int64_t first = input.source->FrameCount() > 2 ? 1 : 0;
    input.source->SkipTo(first);
    for (std::int64_t i = first; i < first + 16; ++i) {
      if (!input.source->ReadFrame(frame)) break;
      if (sound == nullptr) continue;
      if (i == first && sound->FormatOf(frame.data(), frame.size()).channels == 0) break;
      samples.clear();
      sound->AppendSamples(i, frame.data(), frame.size(), samples);
    }
  } catch (const MediaError&) {
  }
  return 0;
}
