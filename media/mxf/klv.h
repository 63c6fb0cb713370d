#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "mxf/byte_source.h"

namespace halvaris::media::mxf {

// A SMPTE universal label or key: 16 bytes.
using Key = std::array<std::uint8_t, 16>;

// One key-length-value triplet as found in the file; the value is not read.
struct Klv {
  std::uint64_t offset = 0;  // of the key
  Key key{};
  std::uint64_t valueOffset = 0;
  std::uint64_t length = 0;

  std::uint64_t End() const { return valueOffset + length; }
};

enum class KlvResult {
  Read,     // key and length read (the value may still run past the end of the file)
  End,      // fewer bytes than a key and a one-byte length are left
  Damaged,  // the length field is not a BER length of at most eight bytes, or it is cut short
};

// Reads the key and the BER-coded length at `offset`.
KlvResult ReadKlv(ByteSource& source, std::uint64_t offset, Klv& klv);

// Bytes 0..3 of every SMPTE label.
bool IsSmpteLabel(const Key& key);

enum class PartitionKind { Header, Body, Footer };

// Partition packs: ...0D 01 02 01 01 kk ss 00 with kk 02 (header), 03 (body), 04 (footer).
bool IsPartitionPack(const Key& key, PartitionKind* kind = nullptr);
bool IsPrimerPack(const Key& key);
bool IsRandomIndexPack(const Key& key);
bool IsIndexTableSegment(const Key& key);
// A structural metadata set of the header metadata (a local set of class 0D 01 01 01 01 01).
bool IsMetadataSet(const Key& key);
bool IsFill(const Key& key);

// Generic container essence elements: 06 0E 2B 34 01 02 01 vv 0D 01 03 01, then item type,
// element count, element type and element number.
bool IsEssenceElement(const Key& key);
// The track number that ties an essence element to its track: the last four bytes of its key.
std::uint32_t TrackNumberOf(const Key& key);

// Item types of essence elements (byte 12 of the key).
constexpr std::uint8_t kGenericSoundItem = 0x16;
constexpr std::uint8_t kGenericCompoundItem = 0x18;  // DV-DIF essence

bool IsDvElement(const Key& key);
bool IsSoundElement(const Key& key);
// The system metadata pack that opens a content package's system item (item 04 or 14, a
// fixed-length pack 04 01 01 or 14 01 01); the system item's other elements are not it.
bool IsSystemMetadataPack(const Key& key);

// The DV-DIF mapping's essence container labels: 06 0E 2B 34 04 01 01 vv 0D 01 03 01 02 02 mm ww.
bool IsDvEssenceContainer(const Key& key);

// Two lowercase hexadecimal digits a byte, for messages.
std::string HexText(const std::uint8_t* bytes, std::size_t count);
std::string KeyText(const Key& key);  // "060e2b34..." for messages

}  // namespace halvaris::media::mxf
