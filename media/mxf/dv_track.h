#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mxf/mxf_file.h"
#include "system_detection.h"

namespace halvaris::media::mxf {

// Where one compressed frame lies in the file.
struct FrameLocation {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The DV-DIF video of an MXF file, frame by frame. Frame-wrapped essence is found through the
// index table where the file has a sound one (so any frame is found without reading those before
// it), else by one walk over the essence KLVs; clip-wrapped essence is cut into frames of the
// system's size.
class DvTrack {
 public:
  // Finds the video and settles its system: `forcedSystem` if not 0, else what the first frame
  // says, else the frame size and the descriptor. Throws MediaError when the file holds no DV
  // video or its first frame cannot be found.
  DvTrack(MxfFile& file, VideoSystem forcedSystem);

  VideoSystem System() const { return system_; }
  // Where the system came from, for the user ("from the stream's own data").
  const std::string& SystemSource() const { return systemSource_; }
  FieldOrder Order() const { return fieldOrder_; }
  std::int64_t FrameCount() const { return frameCount_; }
  bool ClipWrapped() const { return mode_ == Mode::Clip; }
  bool Indexed() const { return mode_ == Mode::Indexed; }

  // Throws MediaError, naming the frame, when it cannot be found or lies outside the file.
  FrameLocation Frame(std::int64_t index);

  // "DV-DIF video, frame-wrapped, found through the index table".
  std::string Describe() const;

  // Disagreements between the descriptor and the frames, and damage passed over.
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  enum class Mode { Clip, Indexed, Walked };

  bool IsOurElement(const Klv& klv) const;
  bool LocateThroughIndex(std::int64_t index, FrameLocation& location);
  void SettleSystem(const Klv& first, VideoSystem forcedSystem);
  void CheckDescriptor();
  void CheckDuration();

  MxfFile& file_;
  const EssenceTrack* track_ = nullptr;
  VideoSystem system_ = 0;
  std::string systemSource_;
  FieldOrder fieldOrder_ = FieldOrder::Unknown;
  std::uint64_t frameBytes_ = 0;
  Mode mode_ = Mode::Walked;
  std::int64_t frameCount_ = 0;
  std::uint64_t clipStart_ = 0;
  std::vector<FrameLocation> walked_;
  std::vector<std::string> warnings_;
};

}  // namespace halvaris::media::mxf
