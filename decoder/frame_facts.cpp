// What the first blocks of a compressed frame say about it: the header block of DIF sequence 0
// and the source and source control packs of the video auxiliary blocks.

#include <cstddef>
#include <cstdint>

#include "dif_blocks.h"
#include "halvaris/halvaris.h"
#include "video_system.h"

namespace halvaris {
namespace {

// STYPE values of the source pack for DVCPRO HD.
constexpr int kSourceType1080Lines = 0x14;
constexpr int kSourceType720Lines = 0x18;

static_assert(HALVARIS_DETECT_BYTES == 6 * kDifBlockBytes,
              "the header, subcode and video auxiliary blocks of the first DIF sequence");

}  // namespace
}  // namespace halvaris

using halvaris::kDifBlockBytes;

extern "C" int halvaris_detect_system(const std::uint8_t* data, std::size_t dataBytes,
                                      HalvarisFrameFacts* facts) {
  HalvarisFrameFacts found{0, 0, HALVARIS_FIELD_ORDER_UNKNOWN, -1};
  if (facts != nullptr) *facts = found;
  if (data == nullptr || dataBytes < kDifBlockBytes) return 0;
  // Header block of DIF sequence 0: section type 0, sequence number 0, block number 0.
  found.difHeader =
      halvaris::SectionOf(data) == halvaris::kHeaderSection && (data[1] >> 4) == 0 && data[2] == 0;
  if (!found.difHeader) return 0;
  bool fiftyHz = (data[3] & 0x80) != 0;  // DSF

  const std::uint8_t* sourcePack = nullptr;
  const std::uint8_t* sourceControlPack = nullptr;
  for (std::size_t block = 3; block <= 5 && (block + 1) * kDifBlockBytes <= dataBytes; ++block) {
    const std::uint8_t* blockData = data + block * kDifBlockBytes;
    if (halvaris::SectionOf(blockData) != halvaris::kVideoAuxiliarySection) continue;
    for (int pack = 0; pack < halvaris::kPacksPerAuxiliaryBlock; ++pack) {
      const std::uint8_t* packData = halvaris::AuxiliaryPack(blockData, pack);
      if (packData[0] == halvaris::kSourcePack && sourcePack == nullptr) sourcePack = packData;
      if (packData[0] == halvaris::kSourceControlPack && sourceControlPack == nullptr) {
        sourceControlPack = packData;
      }
    }
  }
  if (sourcePack != nullptr) {
    fiftyHz = (sourcePack[3] & 0x20) != 0;
    found.sourceType = sourcePack[3] & 0x1f;
    if (found.sourceType == halvaris::kSourceType1080Lines) found.system = fiftyHz ? 3 : 1;
    if (found.sourceType == halvaris::kSourceType720Lines) found.system = fiftyHz ? 4 : 2;
  }
  if (sourceControlPack != nullptr) found.fieldOrder = halvaris::FieldOrderOf(sourceControlPack);
  if (facts != nullptr) *facts = found;
  return found.system;
}

extern "C" int halvaris_system_of_frame_size(std::uint64_t frameBytes) {
  for (halvaris::VideoSystem system = 1; system <= 4; ++system) {
    if (halvaris::GeometryOf(system).frameBytes == frameBytes) return system;
  }
  return 0;
}
