#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mxf/byte_source.h"
#include "mxf/klv.h"

namespace halvaris::media::mxf {

// One index table segment: where the edit units [startPosition, startPosition + duration) of an
// essence container begin, counted in bytes of the container's essence stream.
struct IndexSegment {
  std::uint32_t indexSid = 0;
  std::uint32_t bodySid = 0;
  std::int64_t startPosition = 0;
  std::int64_t duration = 0;
  std::uint32_t editUnitByteCount = 0;       // constant edit units when not 0
  std::vector<std::uint64_t> streamOffsets;  // one per edit unit otherwise
};

// Reads the segment whose KLV is `klv`. Returns false, with a warning, when it is damaged.
bool ReadIndexSegment(ByteSource& source, const Klv& klv, IndexSegment& segment,
                      std::vector<std::string>& warnings);

// The segments of one index table, looked up by edit unit.
class IndexTable {
 public:
  // Segments repeated in later partitions (the same start and duration) are kept once.
  void Add(IndexSegment segment);

  bool Empty() const { return segments_.empty(); }
  bool ConstantEditUnits() const;
  std::uint32_t EditUnitByteCount() const;

  // Number of edit units listed by variable-size segments, counted from 0 without a gap.
  std::int64_t ListedEditUnits() const;

  // The essence stream offset of edit unit `position`; false when no segment covers it.
  bool StreamOffset(std::int64_t position, std::uint64_t& offset) const;

 private:
  std::vector<IndexSegment> segments_;  // sorted by start position
};

}  // namespace halvaris::media::mxf
