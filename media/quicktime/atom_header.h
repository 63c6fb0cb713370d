#pragma once

// The header every QuickTime atom starts with: a 32-bit big-endian size counting the header, the
// four-byte type, and, when the size is 1, the real size as 64 bits after the type. Header-only,
// so that Tapwright, which links nothing of the media library, reads atoms by the same rules.

#include <cstddef>
#include <cstdint>

namespace halvaris::quicktime {

constexpr std::size_t kAtomHeaderBytes = 8;
constexpr std::size_t kExtendedAtomHeaderBytes = 16;
// The size word that says the 64-bit size follows the type.
constexpr std::uint32_t kExtendedSizeMark = 1;

inline std::uint32_t Big32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

inline std::uint64_t Big64(const std::uint8_t* bytes) {
  return static_cast<std::uint64_t>(Big32(bytes)) << 32 | Big32(bytes + 4);
}

// An atom type as the number its four bytes make, big-endian.
constexpr std::uint32_t FourCC(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// The size of a whole atom and the length of its header.
struct AtomSize {
  std::uint64_t atomBytes = 0;
  std::size_t headerBytes = kAtomHeaderBytes;
};

// The size the 32-bit size word gives; `extended`, the 8 bytes after the type, is read only
// when the word is the mark.
inline AtomSize SizeOfAtom(std::uint32_t sizeWord, const std::uint8_t* extended) {
  if (sizeWord == kExtendedSizeMark) return {Big64(extended), kExtendedAtomHeaderBytes};
  return {sizeWord, kAtomHeaderBytes};
}

// The bytes after the header, into `contents`; false for a size smaller than its own header,
// after which nothing in the container can be located.
inline bool ContentsBytes(const AtomSize& size, std::uint64_t& contents) {
  if (size.atomBytes < size.headerBytes) return false;
  contents = size.atomBytes - size.headerBytes;
  return true;
}

}  // namespace halvaris::quicktime
