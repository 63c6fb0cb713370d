#include "mxf/klv.h"

namespace halvaris::media::mxf {

namespace {

constexpr std::uint8_t kSmptePrefix[4] = {0x06, 0x0e, 0x2b, 0x34};

// Compares `key` with `pattern` over `count` bytes, skipping byte 7, the registry version, which
// writers fill differently.
bool Matches(const Key& key, const std::uint8_t* pattern, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 7 && key[i] != pattern[i]) return false;
  }
  return true;
}

// Partition packs, primer pack, random index pack and index table segments share this prefix.
constexpr std::uint8_t kStructurePrefix[13] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01,
                                               0x01, 0x0d, 0x01, 0x02, 0x01, 0x01};

bool IsStructure(const Key& key, std::uint8_t byte13, std::uint8_t byte14) {
  return Matches(key, kStructurePrefix, 13) && key[13] == byte13 && key[14] == byte14;
}

}  // namespace

KlvResult ReadKlv(ByteSource& source, std::uint64_t offset, Klv& klv) {
  std::uint8_t header[25];
  const std::size_t got = source.ReadAt(offset, header, sizeof header);
  if (got < 17) return KlvResult::End;
  klv.offset = offset;
  std::copy(header, header + 16, klv.key.begin());
  const std::uint8_t first = header[16];
  if (first < 0x80) {
    klv.length = first;
    klv.valueOffset = offset + 17;
    return KlvResult::Read;
  }
  const std::size_t lengthBytes = first & 0x7f;
  if (lengthBytes == 0 || lengthBytes > 8 || got < 17 + lengthBytes) return KlvResult::Damaged;
  std::uint64_t length = 0;
  for (std::size_t i = 0; i < lengthBytes; ++i) length = length << 8 | header[17 + i];
  klv.length = length;
  klv.valueOffset = offset + 17 + lengthBytes;
  return KlvResult::Read;
}

bool IsSmpteLabel(const Key& key) {
  return Matches(key, kSmptePrefix, 4);
}

bool IsPartitionPack(const Key& key, PartitionKind* kind) {
  if (!Matches(key, kStructurePrefix, 13) || key[15] != 0x00) return false;
  if (key[14] < 0x01 || key[14] > 0x04) return false;
  switch (key[13]) {
    case 0x02:
      if (kind != nullptr) *kind = PartitionKind::Header;
      return true;
    case 0x03:
      if (kind != nullptr) *kind = PartitionKind::Body;
      return true;
    case 0x04:
      if (kind != nullptr) *kind = PartitionKind::Footer;
      return true;
    default:
      return false;
  }
}

bool IsPrimerPack(const Key& key) {
  return IsStructure(key, 0x05, 0x01);
}

bool IsRandomIndexPack(const Key& key) {
  return IsStructure(key, 0x11, 0x01);
}

bool IsIndexTableSegment(const Key& key) {
  static constexpr std::uint8_t kPrefix[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                               0x0d, 0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00};
  // A local set (byte 5 0x53); some early writers put 0x13 there.
  if (key[5] != 0x53 && key[5] != 0x13) return false;
  Key asLocalSet = key;
  asLocalSet[5] = 0x53;
  return Matches(asLocalSet, kPrefix, 16);
}

bool IsMetadataSet(const Key& key) {
  static constexpr std::uint8_t kPrefix[13] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01,
                                               0x01, 0x0d, 0x01, 0x01, 0x01, 0x01};
  return Matches(key, kPrefix, 13);
}

bool IsFill(const Key& key) {
  static constexpr std::uint8_t kPrefix[16] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x01,
                                               0x03, 0x01, 0x02, 0x10, 0x01, 0x00, 0x00, 0x00};
  return Matches(key, kPrefix, 16);
}

bool IsEssenceElement(const Key& key) {
  static constexpr std::uint8_t kPrefix[12] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x02,
                                               0x01, 0x01, 0x0d, 0x01, 0x03, 0x01};
  return Matches(key, kPrefix, 12);
}

std::uint32_t TrackNumberOf(const Key& key) {
  return static_cast<std::uint32_t>(key[12]) << 24 | static_cast<std::uint32_t>(key[13]) << 16 |
         static_cast<std::uint32_t>(key[14]) << 8 | key[15];
}

bool IsDvElement(const Key& key) {
  return IsEssenceElement(key) && key[12] == kGenericCompoundItem;
}

bool IsSoundElement(const Key& key) {
  // Content package sound (item 0x06) holds AES3 elements of eight channels with their own
  // headers, not plain samples; it is not read yet.
  return IsEssenceElement(key) && key[12] == kGenericSoundItem;
}

bool IsSystemMetadataPack(const Key& key) {
  static constexpr std::uint8_t kPrefix[12] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05,
                                               0x01, 0x01, 0x0d, 0x01, 0x03, 0x01};
  return Matches(key, kPrefix, 12) && (key[12] == 0x04 || key[12] == 0x14) && key[13] == 0x01 &&
         key[14] == 0x01;
}

bool IsDvEssenceContainer(const Key& key) {
  static constexpr std::uint8_t kPrefix[14] = {0x06, 0x0e, 0x2b, 0x34, 0x04, 0x01, 0x01,
                                               0x01, 0x0d, 0x01, 0x03, 0x01, 0x02, 0x02};
  return Matches(key, kPrefix, 14);
}

std::string HexText(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string KeyText(const Key& key) {
  return HexText(key.data(), key.size());
}

}  // namespace halvaris::media::mxf
