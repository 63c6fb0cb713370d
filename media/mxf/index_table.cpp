#include "mxf/index_table.h"

#include <algorithm>

namespace halvaris::media::mxf {

namespace {

// An index segment is a table of a few bytes per edit unit; larger values are damage.
constexpr std::uint64_t kMaxIndexSegmentBytes = 64u * 1024u * 1024u;

std::uint64_t Big(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

bool ReadIndexEntries(const std::uint8_t* entries, std::size_t entriesLength, int sliceCount,
                      int positionTableCount, const std::string& where, IndexSegment& segment,
                      std::vector<std::string>& warnings);

}  // namespace

bool ReadIndexSegment(ByteSource& source, const Klv& klv, IndexSegment& segment,
                      std::vector<std::string>& warnings) {
  const std::string where = "the index table segment at byte " + std::to_string(klv.offset);
  if (klv.length > kMaxIndexSegmentBytes || klv.End() > source.Size()) {
    warnings.push_back(where + " is larger than the file allows; it was passed over");
    return false;
  }
  std::vector<std::uint8_t> value(static_cast<std::size_t>(klv.length));
  if (!source.ReadExactly(klv.valueOffset, value.data(), value.size())) return false;

  segment = IndexSegment{};
  int sliceCount = 0;
  int positionTableCount = 0;
  const std::uint8_t* entries = nullptr;
  std::size_t entriesLength = 0;
  std::size_t offset = 0;
  while (value.size() - offset >= 4) {
    const auto tag = static_cast<std::uint16_t>(Big(&value[offset], 2));
    const auto length = static_cast<std::size_t>(Big(&value[offset + 2], 2));
    const std::uint8_t* p = &value[offset + 4];
    if (length > value.size() - offset - 4) {
      warnings.push_back(where + " has a property running past its end; it was passed over");
      return false;
    }
    switch (tag) {
      case 0x3f0c:
        if (length == 8) segment.startPosition = static_cast<std::int64_t>(Big(p, 8));
        break;
      case 0x3f0d:
        if (length == 8) segment.duration = static_cast<std::int64_t>(Big(p, 8));
        break;
      case 0x3f05:
        if (length == 4) segment.editUnitByteCount = static_cast<std::uint32_t>(Big(p, 4));
        break;
      case 0x3f06:
        if (length == 4) segment.indexSid = static_cast<std::uint32_t>(Big(p, 4));
        break;
      case 0x3f07:
        if (length == 4) segment.bodySid = static_cast<std::uint32_t>(Big(p, 4));
        break;
      case 0x3f08:
        if (length == 1) sliceCount = *p;
        break;
      case 0x3f0e:
        if (length == 1) positionTableCount = *p;
        break;
      case 0x3f0a:
        entries = p;
        entriesLength = length;
        break;
      default:
        break;
    }
    offset += 4 + length;
  }
  if (segment.startPosition < 0 || segment.duration < 0) {
    warnings.push_back(where + " has a negative position or duration; it was passed over");
    return false;
  }
  if (segment.editUnitByteCount != 0) return true;
  return ReadIndexEntries(entries, entriesLength, sliceCount, positionTableCount, where, segment,
                          warnings);
}

namespace {

// The entries of variable-size edit units: temporal offset, key frame offset, flags, stream
// offset, then the slice offsets and position table entries.
bool ReadIndexEntries(const std::uint8_t* entries, std::size_t entriesLength, int sliceCount,
                      int positionTableCount, const std::string& where, IndexSegment& segment,
                      std::vector<std::string>& warnings) {
  if (entries == nullptr || entriesLength < 8) {
    warnings.push_back(where + " lists neither a constant edit unit size nor its edit units");
    return false;
  }
  const std::uint64_t count = Big(entries, 4);
  const std::uint64_t entryBytes = Big(entries + 4, 4);
  const std::uint64_t minimumBytes = 11u + 4u * sliceCount + 8u * positionTableCount;
  if (entryBytes < minimumBytes || count > (entriesLength - 8) / entryBytes) {
    warnings.push_back(where + " lists more edit units than it holds; it was passed over");
    return false;
  }
  segment.streamOffsets.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    segment.streamOffsets.push_back(Big(entries + 8 + i * entryBytes + 3, 8));
  }
  if (segment.duration == 0 || segment.duration > static_cast<std::int64_t>(count))
    segment.duration = static_cast<std::int64_t>(count);
  return true;
}

}  // namespace

void IndexTable::Add(IndexSegment segment) {
  for (const IndexSegment& known : segments_) {
    if (known.startPosition == segment.startPosition && known.duration == segment.duration &&
        known.editUnitByteCount == segment.editUnitByteCount)
      return;
  }
  const auto place = std::upper_bound(
      segments_.begin(), segments_.end(), segment.startPosition,
      [](std::int64_t start, const IndexSegment& other) { return start < other.startPosition; });
  segments_.insert(place, std::move(segment));
}

bool IndexTable::ConstantEditUnits() const {
  return !segments_.empty() && segments_.front().editUnitByteCount != 0;
}

std::uint32_t IndexTable::EditUnitByteCount() const {
  return ConstantEditUnits() ? segments_.front().editUnitByteCount : 0;
}

std::int64_t IndexTable::ListedEditUnits() const {
  std::int64_t next = 0;
  for (const IndexSegment& segment : segments_) {
    if (segment.editUnitByteCount != 0 || segment.startPosition > next) break;
    next = std::max(next, segment.startPosition + segment.duration);
  }
  return next;
}

bool IndexTable::StreamOffset(std::int64_t position, std::uint64_t& offset) const {
  if (position < 0) return false;
  if (ConstantEditUnits()) {
    const IndexSegment& segment = segments_.front();
    if (segment.duration != 0 && position >= segment.startPosition + segment.duration &&
        segments_.size() == 1)
      return false;
    offset = static_cast<std::uint64_t>(position) * segment.editUnitByteCount;
    return true;
  }
  // The last segment starting at or before `position`.
  auto after = std::upper_bound(
      segments_.begin(), segments_.end(), position,
      [](std::int64_t value, const IndexSegment& other) { return value < other.startPosition; });
  if (after == segments_.begin()) return false;
  const IndexSegment& segment = *(after - 1);
  const std::int64_t entry = position - segment.startPosition;
  if (segment.editUnitByteCount != 0 ||
      entry >= static_cast<std::int64_t>(segment.streamOffsets.size()))
    return false;
  offset = segment.streamOffsets[static_cast<std::size_t>(entry)];
  return true;
}

}  // namespace halvaris::media::mxf
