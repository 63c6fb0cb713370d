#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/pcm_source.h"

namespace halvaris::decode_tool::audio {

// Writes sound to a WAV file as it comes and fixes the header up at the end. A file whose data
// outgrow the 32-bit sizes of a RIFF file becomes RF64: the header keeps room for the ds64 chunk
// (as a JUNK chunk) from the start, so that the switch needs no copying.
class WavWriter {
 public:
  // Creates `path`. `riffLimit` is the largest RIFF size written as plain WAV (tests lower it).
  // Throws ToolError when the file cannot be created or the format is not 16 or 24 bits.
  WavWriter(const std::string& path, const PcmFormat& format,
            std::uint64_t riffLimit = 0xffffffffu);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Appends `sampleFrames` samples of every channel, interleaved little-endian. Throws ToolError
  // on a write error.
  void Write(const std::uint8_t* samples, std::size_t sampleFrames);

  // Writes the sizes into the header and closes the file. Throws ToolError on a write error.
  void Finish();

  std::uint64_t SampleFrames() const { return sampleFrames_; }
  bool IsRf64() const { return rf64_; }

 private:
  void WriteBytes(const void* data, std::size_t bytes);
  void SeekTo(std::uint64_t offset);

  std::string path_;
  std::FILE* file_ = nullptr;
  PcmFormat format_;
  std::uint64_t riffLimit_;
  std::uint32_t formatChunkBytes_ = 0;
  std::uint64_t dataSizeOffset_ = 0;
  std::uint64_t sampleFrames_ = 0;
  bool rf64_ = false;
};

}  // namespace halvaris::decode_tool::audio
