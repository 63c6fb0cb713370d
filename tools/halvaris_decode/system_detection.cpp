#include "system_detection.h"

namespace halvaris::decode_tool {

namespace {

// Section types in the top three bits of a DIF block's first byte.
constexpr int kHeaderSection = 0;
constexpr int kVideoAuxiliarySection = 2;

constexpr int kSourcePack = 0x60;
constexpr int kSourceControlPack = 0x61;

// STYPE values of the source pack for DVCPRO HD.
constexpr int kSourceType1080Lines = 0x14;
constexpr int kSourceType720Lines = 0x18;

int SectionOf(const std::uint8_t* block) {
  return block[0] >> 5;
}

}  // namespace

StreamFacts ReadStreamFacts(const std::uint8_t* data, std::size_t bytes) {
  StreamFacts facts;
  if (bytes < kDifBlockBytes) return facts;
  // Header block of DIF sequence 0: section type 0, sequence number 0, block number 0.
  facts.difHeader = SectionOf(data) == kHeaderSection && (data[1] >> 4) == 0 && data[2] == 0;
  if (!facts.difHeader) return facts;
  bool fiftyHz = (data[3] & 0x80) != 0;  // DSF

  // Blocks 3..5 carry fifteen 5-byte packs each after the 3-byte block identifier.
  const std::uint8_t* sourcePack = nullptr;
  const std::uint8_t* sourceControlPack = nullptr;
  for (std::size_t block = 3; block <= 5 && (block + 1) * kDifBlockBytes <= bytes; ++block) {
    const std::uint8_t* blockData = data + block * kDifBlockBytes;
    if (SectionOf(blockData) != kVideoAuxiliarySection) continue;
    for (int pack = 0; pack < 15; ++pack) {
      const std::uint8_t* packData = blockData + 3 + 5 * pack;
      if (packData[0] == kSourcePack && sourcePack == nullptr) sourcePack = packData;
      if (packData[0] == kSourceControlPack && sourceControlPack == nullptr) {
        sourceControlPack = packData;
      }
    }
  }
  if (sourcePack != nullptr) {
    fiftyHz = (sourcePack[3] & 0x20) != 0;
    facts.sourceType = sourcePack[3] & 0x1f;
    if (facts.sourceType == kSourceType1080Lines) facts.system = fiftyHz ? 3 : 1;
    if (facts.sourceType == kSourceType720Lines) facts.system = fiftyHz ? 4 : 2;
  }
  // FF set: both fields are shown, and FS says whether field 1 (the top field) comes first.
  if (sourceControlPack != nullptr && (sourceControlPack[3] & 0x80) != 0) {
    facts.fieldOrder =
        (sourceControlPack[3] & 0x40) != 0 ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
  }
  return facts;
}

std::string DescribeSystem(VideoSystem system) {
  if (!IsValidVideoSystem(system)) return "an unknown system";
  const SystemGeometry& geometry = GeometryOf(system);
  const bool fiftyHz = system == 3 || system == 4;
  return std::to_string(geometry.height) + " lines at " + (fiftyHz ? "50" : "60") + " Hz (" +
         std::to_string(geometry.width) + "x" + std::to_string(geometry.height) + ")";
}

VideoSystem SystemOfFrameSize(std::uint64_t frameBytes) {
  for (VideoSystem system = 1; system <= 4; ++system) {
    if (GeometryOf(system).frameBytes == frameBytes) return system;
  }
  return 0;
}

}  // namespace halvaris::decode_tool
