// Runs the MXF reader on arbitrary bytes: the structure, the sound tracks, the DV-DIF frames and
// their sound. The first byte picks the forced video system (0: what the frames say).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/dif_audio.h"
#include "mxf/mxf_frame_source.h"
#include "mxf/sound_track.h"
#include "tool_error.h"

using namespace halvaris::decode_tool;

namespace {

void ReadSound(mxf::MxfFile& file) {
  for (const mxf::EssenceTrack* track : mxf::SoundTracksOf(file)) {
    try {
      mxf::SoundTrack sound(file, *track);
      std::vector<std::uint8_t> samples(64 * static_cast<std::size_t>(sound.Format().BytesPerFrame()));
      for (std::uint64_t first = 0; first < sound.SampleCount() + 64 && first < 8192; first += 61)
        sound.Read(first, 64, samples.data());
      sound.FirstSampleOfEditUnit(3, mxf::Rational{30000, 1001});
    } catch (const ToolError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int forcedSystem = data[0] % 5;
  auto source = std::make_unique<MemoryByteSource>(
      "fuzz.mxf", std::vector<std::uint8_t>(data + 1, data + size));
  try {
    auto file = std::make_unique<mxf::MxfFile>(std::move(source));
    ReadSound(*file);
    MxfFrameSource frames(std::move(file), forcedSystem);
    const halvaris::VideoSystem system = frames.Track().System();
    std::vector<std::uint8_t> frame;
    std::vector<std::uint8_t> sound;
    for (std::int64_t i = 0; i < 16 && i < frames.FrameCount(); ++i) {
      try {
        frames.SkipTo(i);
        if (!frames.ReadFrame(frame)) break;
        const int channels = audio::DifAudio::ChannelsOf(frame.data(), frame.size(), system);
        audio::DifAudio::Decode(frame.data(), frame.size(), system, channels, 1602, sound);
      } catch (const ToolError&) {
      }
    }
  } catch (const ToolError&) {
  }
  return 0;
}
