#pragma once

// What identifies the DIF blocks and packs of a compressed frame: the section type of a block
// and the header byte of the five-byte packs in its subcode, auxiliary and audio blocks.

#include <cstdint>

#include "halvaris/halvaris.h"

namespace halvaris {

// Section types, in the top three bits of a DIF block's first byte.
constexpr int kHeaderSection = 0;
constexpr int kSubcodeSection = 1;
constexpr int kVideoAuxiliarySection = 2;
constexpr int kAudioSection = 3;

inline int SectionOf(const std::uint8_t* block) {
  return block[0] >> 5;
}

// Pack headers.
constexpr int kTimecodePack = 0x13;
constexpr int kAudioSourcePack = 0x50;
constexpr int kSourcePack = 0x60;
constexpr int kSourceControlPack = 0x61;
constexpr int kRecordingDatePack = 0x62;
constexpr int kRecordingTimePack = 0x63;

// A video auxiliary block holds fifteen packs after its three identifier bytes.
constexpr int kPacksPerAuxiliaryBlock = 15;

inline const std::uint8_t* AuxiliaryPack(const std::uint8_t* block, int index) {
  return block + 3 + 5 * index;
}

// FF set in a source control pack: both fields are shown, and FS says whether field 1 (the top
// field) comes first.
inline int FieldOrderOf(const std::uint8_t* sourceControlPack) {
  if ((sourceControlPack[3] & 0x80) == 0) return HALVARIS_FIELD_ORDER_UNKNOWN;
  return (sourceControlPack[3] & 0x40) != 0 ? HALVARIS_FIELD_ORDER_TOP_FIRST
                                            : HALVARIS_FIELD_ORDER_BOTTOM_FIRST;
}

}  // namespace halvaris
