#include "mxf/mxf_frame_source.h"

#include <algorithm>

#include "tool_error.h"

namespace halvaris::decode_tool {

MxfFrameSource::MxfFrameSource(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem)
    : file_(std::move(file)), track_(*file_, forcedSystem) {}

bool MxfFrameSource::ReadFrame(std::vector<std::uint8_t>& frame) {
  if (next_ >= track_.FrameCount()) return false;
  const mxf::FrameLocation location = track_.Frame(next_);
  // An element longer than a frame carries nothing the decoder reads past the frame's size.
  const std::uint64_t frameBytes = GeometryOf(track_.System()).frameBytes;
  frame.resize(static_cast<std::size_t>(std::min(location.size, frameBytes)));
  if (!file_->Source().ReadExactly(location.offset, frame.data(), frame.size())) {
    throw ToolError("frame " + std::to_string(next_) + " of the MXF video is cut short");
  }
  ++next_;
  return true;
}

OpenedInput OpenMxfInput(const std::string& path, VideoSystem forcedSystem) {
  return OpenMxfInput(std::make_unique<mxf::MxfFile>(OpenByteSource(path)), forcedSystem);
}

OpenedInput OpenMxfInput(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem) {
  const std::string pattern = file->OperationalPattern();
  auto source = std::make_unique<MxfFrameSource>(std::move(file), forcedSystem);
  OpenedInput opened;
  opened.system = source->Track().System();
  opened.fieldOrder = source->Track().Order();
  const std::int64_t count = source->FrameCount();
  if (count == 0) throw ToolError(source->File().Name() + ": the MXF video has no frames");
  opened.found = pattern + " MXF file, " + source->Track().Describe() + ", " +
                 std::to_string(count) + (count == 1 ? " frame" : " frames");
  opened.warnings = source->File().Warnings();
  opened.warnings.insert(opened.warnings.end(), source->Track().Warnings().begin(),
                         source->Track().Warnings().end());
  opened.source = std::move(source);
  return opened;
}

}  // namespace halvaris::decode_tool
