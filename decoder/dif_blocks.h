#pragma once

// What identifies the DIF blocks and packs of a compressed frame: the section type of a block
// and the header byte of the five-byte packs in its subcode, auxiliary and audio blocks.

#include <cstdint>

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

}  // namespace halvaris
