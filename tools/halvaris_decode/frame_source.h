#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "system_detection.h"

namespace halvaris::decode_tool {

// Compressed frames one after another, whatever holds them.
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  // Number of frames, or -1 when it is not known before the end (standard input). A raw stream
  // whose size is not a whole number of frames counts its partial last frame.
  virtual std::int64_t FrameCount() const = 0;

  // Makes `index` the next frame to read; never backwards.
  virtual void SkipTo(std::int64_t index) = 0;

  // Reads the next frame into `frame` (at most the system's frame size, `frame` is resized to
  // what was read). Returns false at the end of the input. Throws ToolError on read errors.
  virtual bool ReadFrame(std::vector<std::uint8_t>& frame) = 0;
};

struct OpenedInput {
  std::unique_ptr<FrameSource> source;
  VideoSystem system = 0;
  FieldOrder fieldOrder = FieldOrder::Unknown;
  std::string found;                  // what the input is, for the user
  std::vector<std::string> warnings;  // things the user should know before decoding starts
};

// Opens a raw DIF stream or a QuickTime movie ("-" is standard input, raw DIF only) and settles
// its video system: `forcedSystem` if not 0, else what the stream's own data say. Throws
// ToolError when the input is neither kind or its system cannot be told.
OpenedInput OpenInput(const std::string& path, VideoSystem forcedSystem);

}  // namespace halvaris::decode_tool
