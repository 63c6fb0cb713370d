#include "system_detection.h"

namespace halvaris::media {

const HalvarisSystemInfo& GeometryOf(VideoSystem system) {
  static const struct Table {
    HalvarisSystemInfo info[4];
    Table() : info{} {
      for (int index = 0; index < 4; ++index) halvaris_system_info(index + 1, &info[index]);
    }
  } table;
  return table.info[system - 1];
}

StreamFacts ReadStreamFacts(const std::uint8_t* data, std::size_t bytes) {
  HalvarisFrameFacts found;
  halvaris_detect_system(data, bytes, &found);
  StreamFacts facts;
  facts.difHeader = found.difHeader != 0;
  facts.system = found.system;
  facts.fieldOrder = found.fieldOrder == HALVARIS_FIELD_ORDER_TOP_FIRST ? FieldOrder::TopFirst
                     : found.fieldOrder == HALVARIS_FIELD_ORDER_BOTTOM_FIRST
                         ? FieldOrder::BottomFirst
                         : FieldOrder::Unknown;
  facts.sourceType = found.sourceType;
  return facts;
}

std::string DescribeSystem(VideoSystem system) {
  if (!IsValidVideoSystem(system)) return "an unknown system";
  const HalvarisSystemInfo& geometry = GeometryOf(system);
  const bool fiftyHz = system == 3 || system == 4;
  return std::to_string(geometry.height) + " lines at " + (fiftyHz ? "50" : "60") + " Hz (" +
         std::to_string(geometry.width) + "x" + std::to_string(geometry.height) + ")";
}

std::string OtherDvKind(const StreamFacts& facts) {
  if (!facts.difHeader || facts.system != 0 || facts.sourceType < 0) return "";
  switch (facts.sourceType) {
    case 0:
    case 1:
      return "standard-definition DV (25 Mb/s or less)";
    case 4:
      return "DVCPRO50 (50 Mb/s)";
    default:
      return "DV of source type " + std::to_string(facts.sourceType);
  }
}

std::string SystemWatch::Check(const std::uint8_t* data, std::size_t bytes,
                               std::int64_t frameNumber) {
  const StreamFacts facts = ReadStreamFacts(data, bytes);
  // Only the kinds of DV there are count: a source type no recorder writes is damage, not another
  // clip, and frames that do not say are taken as they come.
  const bool knownKind =
      facts.system != 0 || facts.sourceType == 0 || facts.sourceType == 1 || facts.sourceType == 4;
  if (!facts.difHeader || !knownKind) return "";
  const std::string kind = facts.system != 0 ? DescribeSystem(facts.system) : OtherDvKind(facts);
  if (first_ < 0) {
    first_ = frameNumber;
    kind_ = kind;
    return "";
  }
  if (kind == kind_) return "";
  return "frame " + std::to_string(frameNumber) + " is " + kind + ", but frame " +
         std::to_string(first_) + " is " + kind_ +
         " (two clips joined?): a stream of one system is decoded at a time";
}

SettledSystem SettleSystem(VideoSystem forcedSystem, const StreamFacts& facts,
                           const std::vector<ContainerSays>& container) {
  if (forcedSystem != 0) return {forcedSystem, "as the caller forced it"};
  if (facts.system != 0) return {facts.system, "from the stream's own data"};
  for (const ContainerSays& says : container) {
    if (says.system != 0) return {says.system, says.source};
  }
  return {};
}

}  // namespace halvaris::media
