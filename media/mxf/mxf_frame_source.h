#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame_source.h"
#include "mxf/dv_track.h"
#include "mxf/mxf_file.h"

namespace halvaris::media {

// The DV-DIF frames of an MXF file, any of them reached without reading those before it.
class MxfFrameReader : public FrameReader {
 public:
  MxfFrameReader(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem);

  std::int64_t FrameCount() const override { return track_.FrameCount(); }
  void SkipTo(std::int64_t index) override { next_ = index; }
  bool ReadFrame(std::vector<std::uint8_t>& frame) override;

  mxf::MxfFile& File() { return *file_; }
  const mxf::DvTrack& Track() const { return track_; }

 private:
  std::unique_ptr<mxf::MxfFile> file_;
  mxf::DvTrack track_;
  std::int64_t next_ = 0;
};

// Opens an MXF file holding DVCPRO HD video (OP1a, OP-Atom or another pattern with one DV-DIF
// stream) as OpenInput does other inputs; its sound is that of its sound tracks, else that of the
// frames' audio blocks. Throws MediaError when it cannot be decoded.
OpenedInput OpenMxfInput(const std::string& path, VideoSystem forcedSystem);
OpenedInput OpenMxfInput(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem);

// The sound of the file's sound tracks side by side, frame n of the video holding the samples of
// its edit unit n; nullptr when no sound track can be read (each told in `warnings`).
std::unique_ptr<FrameSound> OpenMxfSoundTracks(mxf::MxfFile& file, VideoSystem system,
                                               std::vector<std::string>& warnings);

}  // namespace halvaris::media
