#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "media_names.h"

namespace halvaris::decode_tool {
class OutputFile;
}

namespace halvaris::decode_tool::audio {

// Where and when the sound was recorded, for a broadcast-wave `bext` chunk.
struct BroadcastWaveOrigin {
  std::uint64_t timeReference = 0;  // samples since midnight at the first sample
  std::string originationDate;      // "yyyy-mm-dd", or empty when not known
  std::string originationTime;      // "hh:mm:ss", or empty when not known
};

// Writes sound to a WAV file as it comes and fixes the header up at the end. A file whose data
// outgrow the 32-bit sizes of a RIFF file becomes RF64: the header keeps room for the ds64 chunk
// (as a JUNK chunk) from the start, so that the switch needs no copying. Until the end the sizes
// say "unknown" (all ones), which is what they stay on an output that cannot be rewritten (a
// pipe): readers then take the data to the end of the stream.
class WavWriter {
 public:
  // Writes the header to `file`, which outlives the writer. `riffLimit` is the largest RIFF size
  // written as plain WAV (tests lower it). With `origin` the header holds a broadcast-wave `bext`
  // chunk (version 1) with its time reference, origination date and time. Throws ToolError when
  // the format is not 16 or 24 bits or the file cannot be written.
  WavWriter(OutputFile& file, const PcmFormat& format, std::uint64_t riffLimit = 0xffffffffu,
            const BroadcastWaveOrigin* origin = nullptr);

  // Appends `sampleFrames` samples of every channel, interleaved little-endian. Throws ToolError
  // on a write error.
  void Write(const std::uint8_t* samples, std::size_t sampleFrames);

  // Writes the sizes into the header and closes the file, which its owner then puts in place.
  // Throws ToolError on a write error.
  void Finish();

  const PcmFormat& Format() const { return format_; }
  std::uint64_t SampleFrames() const { return sampleFrames_; }
  bool IsRf64() const { return rf64_; }

 private:
  OutputFile& file_;
  PcmFormat format_;
  std::uint64_t riffLimit_;
  std::uint32_t formatChunkBytes_ = 0;
  std::uint32_t broadcastChunkBytes_ = 0;  // 0 without a bext chunk
  std::uint64_t dataSizeOffset_ = 0;
  std::uint64_t sampleFrames_ = 0;
  bool rf64_ = false;
};

}  // namespace halvaris::decode_tool::audio
