#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media_names.h"
#include "options.h"
#include "output_file.h"

namespace halvaris::decode_tool {

// Receives the decoded pictures (packed 4:2:2 at the system's coded size) in order.
class PictureWriter {
 public:
  virtual ~PictureWriter() = default;
  // `frameNumber` is the frame's place in the input, counted from 0.
  virtual void Write(const std::uint8_t* picture, std::int64_t frameNumber) = 0;
  // Completes the output. Unless Finish() returns, a single output file is left as it was before
  // the run, and of a picture sequence only the pictures written completely are kept.
  virtual void Finish() = 0;
  // What a failed run leaves of the output, to follow the error ("; 3 complete pictures were
  // kept"), or nothing.
  virtual std::string FailureNote() const { return ""; }

  // Another output (`name`, the sound) that Finish() puts in place in the same moment as a single
  // output file renamed into place, under the same hold against interrupts; `place` renames it
  // and says whether it could. A picture sequence, or a file written directly, has no such moment:
  // `place` is then not called, and the caller puts its file in place itself.
  void PlaceTogetherWith(std::string name, std::function<bool()> place) {
    companionName_ = std::move(name);
    companion_ = std::move(place);
  }

 protected:
  std::string companionName_;
  std::function<bool()> companion_;
};

struct OutputSettings {
  OutputFormat format = OutputFormat::Yuy2;
  std::string path;
  VideoSystem system = 1;
  FieldOrder fieldOrder = FieldOrder::Unknown;
  bool displaySize = false;
  std::int64_t firstFrame = 0;   // number of the first frame written
  std::int64_t frameCount = -1;  // frames that will be written, -1 when not known
  FileIdentity input;            // no picture may be written over the input
};

// Throws ToolError when the output cannot be made as asked, or when a name it would write (any
// picture name of a sequence) is the input file.
std::unique_ptr<PictureWriter> MakePictureWriter(const OutputSettings& settings);

// The YUV4MPEG2 stream header for a system, for example
// "YUV4MPEG2 W1280 H1080 F30000:1001 Ib A3:2 C422\n".
std::string Y4mHeader(VideoSystem system, FieldOrder fieldOrder);

// Width at which the system's pictures are meant to be seen (1920 or 1280).
int DisplayWidth(VideoSystem system);

// The name of one PNG picture: the first %d or %0Nd of `pattern` replaced by the frame number.
// Returns `pattern` itself when it has no such field.
std::string NumberedName(const std::string& pattern, std::int64_t frameNumber);
bool HasNumberField(const std::string& pattern);

}  // namespace halvaris::decode_tool
