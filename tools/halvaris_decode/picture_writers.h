#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "system_detection.h"

namespace halvaris::decode_tool {

// A file being written, or standard output for "-". Unless Commit() succeeds the file is removed
// when the object goes, so a failed or interrupted run never leaves a half-written file behind
// (devices and pipes named as the output are left alone).
class OutputFile {
 public:
  // Throws ToolError when the file cannot be created.
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws ToolError on a write error (a full disk, a closed pipe).
  void Write(const void* data, std::size_t bytes);

  // Flushes and closes; throws ToolError (and removes the file) when that fails.
  void Commit();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  bool standardOutput_ = false;
  bool removable_ = true;
};

// Receives the decoded pictures (packed 4:2:2 at the system's coded size) in order.
class PictureWriter {
 public:
  virtual ~PictureWriter() = default;
  // `frameNumber` is the frame's place in the input, counted from 0.
  virtual void Write(const std::uint8_t* picture, std::int64_t frameNumber) = 0;
  // Completes the output; whatever was written is removed unless Finish() returns.
  virtual void Finish() = 0;
};

struct OutputSettings {
  OutputFormat format = OutputFormat::Yuy2;
  std::string path;
  VideoSystem system = 1;
  FieldOrder fieldOrder = FieldOrder::Unknown;
  bool displaySize = false;
  std::int64_t frameCount = -1;  // frames that will be written, -1 when not known
};

// Throws ToolError when the output cannot be made as asked.
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
