#include "mxf/dv_track.h"

#include <algorithm>

#include "media_error.h"

namespace halvaris::media::mxf {

namespace {

// A content package holds a system item, the picture, the sound and fill: a handful of KLVs.
constexpr int kMaxElementsPerEditUnit = 32;

struct SystemFacts {
  int displayWidth;
  int displayHeight;
  std::int64_t rateNumerator;
  std::int64_t rateDenominator;
};

SystemFacts FactsOf(VideoSystem system) {
  switch (system) {
    case 1:
      return {1920, 1080, 30000, 1001};
    case 2:
      return {1280, 720, 60000, 1001};
    case 3:
      return {1920, 1080, 25, 1};
    default:
      return {1280, 720, 50, 1};
  }
}

// Byte 14 of the DV-DIF essence container label names the DVCPRO HD system: 0x60 1080 lines at
// 59.94 Hz, 0x61 1080 lines at 50 Hz, 0x62 720 lines at 59.94 Hz, 0x63 720 lines at 50 Hz.
VideoSystem SystemOfContainer(const Key& label) {
  if (!IsDvEssenceContainer(label)) return 0;
  switch (label[14]) {
    case 0x60:
      return 1;
    case 0x61:
      return 3;
    case 0x62:
      return 2;
    case 0x63:
      return 4;
    default:
      return 0;
  }
}

std::string RationalText(const Rational& rational) {
  return rational.denominator == 1
             ? std::to_string(rational.numerator)
             : std::to_string(rational.numerator) + "/" + std::to_string(rational.denominator);
}

}  // namespace

DvTrack::DvTrack(MxfFile& file, VideoSystem forcedSystem) : file_(file) {
  for (const EssenceTrack& track : file.Packages().tracks) {
    if (track.kind != TrackKind::Picture) continue;
    if (track_ == nullptr || IsDvEssenceContainer(track.picture.essenceContainer)) track_ = &track;
  }

  Klv first;
  bool found = false;
  file.WalkEssence([&](const Klv& klv) {
    found = IsOurElement(klv);
    if (found) first = klv;
    return !found;
  });
  if (!found) {
    throw MediaError(file.Name() + ": the " + file.OperationalPattern() +
                     " MXF file holds no DV-DIF video");
  }
  SettleSystem(first, forcedSystem);

  const std::uint64_t fileSize = file.Source().Size();
  if (first.length > frameBytes_) {
    mode_ = Mode::Clip;
    clipStart_ = first.valueOffset;
    const std::uint64_t present = std::min(first.length, fileSize - first.valueOffset);
    frameCount_ = static_cast<std::int64_t>(present / frameBytes_);
    if (present < first.length) {
      warnings_.push_back("the file is cut short: its video element holds " +
                          std::to_string(first.length / frameBytes_) + " frames, " +
                          std::to_string(frameCount_) + " of them whole in the file");
    } else if (first.length % frameBytes_ != 0) {
      warnings_.push_back("the video element ends in a partial frame of " +
                          std::to_string(first.length % frameBytes_) + " bytes; it is left out");
    }
  } else if (!file.Index().Empty()) {
    const IndexTable& index = file.Index();
    std::int64_t count =
        index.ConstantEditUnits()
            ? static_cast<std::int64_t>(file.EssenceStreamBytes() / index.EditUnitByteCount())
            : index.ListedEditUnits();
    FrameLocation location;
    // A last edit unit cut short by the end of the file still counts: reading it says so.
    if (index.ConstantEditUnits() && LocateThroughIndex(count, location)) ++count;
    if (count > 0 && LocateThroughIndex(0, location) && location.offset == first.valueOffset &&
        LocateThroughIndex(count - 1, location)) {
      mode_ = Mode::Indexed;
      frameCount_ = count;
    } else {
      warnings_.push_back(
          "the index table does not match the essence; the frames were found by walking it");
    }
  }
  if (mode_ == Mode::Walked) {
    // One location per frame element: 16 bytes per frame, bounded by the file's size.
    file.WalkEssence([&](const Klv& klv) {
      if (IsOurElement(klv)) walked_.push_back({klv.valueOffset, klv.length});
      return true;
    });
    frameCount_ = static_cast<std::int64_t>(walked_.size());
  }
  CheckDuration();
  CheckDescriptor();
}

bool DvTrack::IsOurElement(const Klv& klv) const {
  // A file carries one DV-DIF stream; its track number ties it to the track but is not needed
  // to find it (OP-Atom writers often leave it 0).
  return IsDvElement(klv.key);
}

void DvTrack::SettleSystem(const Klv& first, VideoSystem forcedSystem) {
  std::vector<std::uint8_t> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(kStreamFactsBytes, first.length)));
  head.resize(file_.Source().ReadAt(first.valueOffset, head.data(), head.size()));
  const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
  fieldOrder_ = facts.fieldOrder;

  VideoSystem described = 0;
  if (track_ != nullptr) described = SystemOfContainer(track_->picture.essenceContainer);
  const SettledSystem settled =
      media::SettleSystem(forcedSystem, facts,
                          {{SystemOfFrameSize(first.length), "from the size of the MXF frames"},
                           {described, "from the MXF essence container label"}});
  system_ = settled.system;
  systemSource_ = settled.source;
  if (system_ == 0) {
    throw MediaError(
        file_.Name() + ": neither the MXF descriptor nor the frames tell the DVCPRO HD system",
        MediaErrorCode::UnknownSystem);
  }
  if (forcedSystem == 0 && described != 0 && described != system_) {
    warnings_.push_back("the MXF essence container says " + DescribeSystem(described) +
                        " but the frames say " + DescribeSystem(system_) +
                        "; decoding as the frames say");
  }
  frameBytes_ = GeometryOf(system_).frameBytes;
}

void DvTrack::CheckDuration() {
  if (track_ == nullptr || track_->duration < 0 || track_->duration == frameCount_) return;
  warnings_.push_back("the MXF track lasts " + std::to_string(track_->duration) +
                      " frames but the essence holds " + std::to_string(frameCount_) +
                      "; every frame held is decoded");
}

void DvTrack::CheckDescriptor() {
  if (track_ == nullptr || !track_->picture.present) return;
  const PictureDescriptor& picture = track_->picture;
  const SystemFacts expected = FactsOf(system_);
  const HalvarisSystemInfo& coded = GeometryOf(system_);
  const std::string frames = "the frames are " + DescribeSystem(system_);

  // Heights of separate fields and segmented frames are those of one field. Either size may be
  // the displayed picture or the coded one; the stored size may round the height up to whole
  // macroblocks (16 lines a field).
  const std::int64_t fieldFactor = picture.frameLayout == 1 || picture.frameLayout == 4 ? 2 : 1;
  const std::int64_t sizes[2][3] = {
      {picture.storedWidth, picture.storedHeight * fieldFactor, 16 * fieldFactor},
      {picture.displayWidth, picture.displayHeight * fieldFactor, 1}};
  for (const auto& size : sizes) {
    const std::int64_t width = size[0];
    const std::int64_t height = size[1];
    auto fits = [&](std::int64_t expectedWidth, std::int64_t expectedHeight) {
      return width == expectedWidth && height >= expectedHeight &&
             height < expectedHeight + size[2];
    };
    if (width != 0 && height != 0 && !fits(expected.displayWidth, expected.displayHeight) &&
        !fits(coded.width, coded.height)) {
      warnings_.push_back("the MXF picture descriptor gives a picture of " + std::to_string(width) +
                          "x" + std::to_string(height) + " but " + frames);
      break;
    }
  }
  const Rational& rate = track_->editRate.Valid() ? track_->editRate : picture.sampleRate;
  if (rate.Valid() && !rate.Equals(expected.rateNumerator, expected.rateDenominator)) {
    warnings_.push_back("the MXF track gives " + RationalText(rate) + " frames a second but " +
                        frames);
  }
  if (picture.aspectRatio.Valid() && !picture.aspectRatio.Equals(16, 9)) {
    warnings_.push_back("the MXF picture descriptor gives an aspect ratio of " +
                        std::to_string(picture.aspectRatio.numerator) + ":" +
                        std::to_string(picture.aspectRatio.denominator) +
                        " but DVCPRO HD pictures are 16:9");
  }
}

bool DvTrack::LocateThroughIndex(std::int64_t index, FrameLocation& location) {
  std::uint64_t streamOffset = 0;
  std::uint64_t offset = 0;
  if (!file_.Index().StreamOffset(index, streamOffset) || !file_.FileOffsetOf(streamOffset, offset))
    return false;
  const std::uint64_t runEnd = file_.EssenceRunEnd(offset);
  for (int element = 0; element < kMaxElementsPerEditUnit && offset < runEnd; ++element) {
    Klv klv;
    if (ReadKlv(file_.Source(), offset, klv) != KlvResult::Read || !IsSmpteLabel(klv.key))
      return false;
    if (IsOurElement(klv)) {
      location = {klv.valueOffset, klv.length};
      return true;
    }
    if (IsPartitionPack(klv.key) || klv.End() < klv.valueOffset) return false;
    offset = klv.End();
  }
  return false;
}

FrameLocation DvTrack::Frame(std::int64_t index) {
  const std::string frame = "frame " + std::to_string(index) + " of the MXF video";
  if (index < 0 || index >= frameCount_)
    throw MediaError(frame + " does not exist", MediaErrorCode::EndOfInput);
  FrameLocation location;
  switch (mode_) {
    case Mode::Clip:
      location = {clipStart_ + static_cast<std::uint64_t>(index) * frameBytes_, frameBytes_};
      break;
    case Mode::Walked:
      location = walked_[static_cast<std::size_t>(index)];
      break;
    case Mode::Indexed:
      if (!LocateThroughIndex(index, location)) {
        throw MediaError(frame + " is not where the index table puts it; the file is damaged");
      }
      break;
  }
  const std::uint64_t fileSize = file_.Source().Size();
  if (location.offset > fileSize || location.size > fileSize - location.offset) {
    std::string message = frame + " (bytes " + std::to_string(location.offset) + " to " +
                          std::to_string(location.offset + location.size) +
                          ") lies outside the file (" + std::to_string(fileSize) + " bytes)";
    throw MediaError::FrameOutsideFile(message, static_cast<std::int64_t>(index));
  }
  return location;
}

std::string DvTrack::Describe() const {
  switch (mode_) {
    case Mode::Clip:
      return "DV-DIF video, clip-wrapped";
    case Mode::Indexed:
      return "DV-DIF video, frame-wrapped, found through the index table";
    case Mode::Walked:
      break;
  }
  return "DV-DIF video, frame-wrapped";
}

}  // namespace halvaris::media::mxf
