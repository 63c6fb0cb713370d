#include "system_detection.h"

namespace halvaris::decode_tool {

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

}  // namespace halvaris::decode_tool
