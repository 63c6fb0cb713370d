#pragma once

#include <cstdint>
#include <vector>

namespace halvaris::decode_tool {

// Encodes an 8-bit RGB picture (pitch 3 x width) as a complete PNG file. With zlib the data are
// compressed; without it they go into stored deflate blocks, which every PNG reader accepts.
std::vector<std::uint8_t> EncodePng(const std::uint8_t* rgb, int width, int height);

// A zlib stream holding `data` in stored (uncompressed) deflate blocks of at most 65535 bytes.
std::vector<std::uint8_t> StoredZlibStream(const std::vector<std::uint8_t>& data);

// CRC-32 as PNG chunks use it (ISO 3309, reflected, initial and final inversion).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t bytes, std::uint32_t crc = 0);

// Adler-32 as the zlib stream inside a PNG ends with.
std::uint32_t Adler32(const std::uint8_t* data, std::size_t bytes, std::uint32_t adler = 1);

}  // namespace halvaris::decode_tool
