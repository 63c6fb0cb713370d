#include "png_encoder.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool_error.h"

#ifdef HALVARIS_HAVE_ZLIB
#include <zlib.h>
#endif

namespace halvaris::decode_tool {

namespace {

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data,
              std::size_t bytes) {
  PutBig32(out, static_cast<std::uint32_t>(bytes));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (bytes > 0) out.insert(out.end(), data, data + bytes);
  PutBig32(out, Crc32(out.data() + typeAt, bytes + 4));
}

#ifdef HALVARIS_HAVE_ZLIB

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filters each line with whichever of the five PNG filters gives the smallest sum of absolute
// residuals, the usual cheap guess at what compresses best.
std::vector<std::uint8_t> FilterLines(const std::uint8_t* rgb, int width, int height) {
  const std::size_t pitch = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> filtered((pitch + 1) * static_cast<std::size_t>(height));
  std::vector<std::uint8_t> zeros(pitch, 0);
  std::array<std::vector<std::uint8_t>, 5> candidates;
  for (auto& candidate : candidates) candidate.resize(pitch);
  for (int line = 0; line < height; ++line) {
    const std::uint8_t* current = rgb + pitch * static_cast<std::size_t>(line);
    const std::uint8_t* above = line > 0 ? current - pitch : zeros.data();
    std::array<long, 5> cost{};
    for (std::size_t i = 0; i < pitch; ++i) {
      const int a = i >= 3 ? current[i - 3] : 0, b = above[i], c = i >= 3 ? above[i - 3] : 0;
      const int predictions[5] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
      for (int filter = 0; filter < 5; ++filter) {
        const auto residual = static_cast<std::uint8_t>(current[i] - predictions[filter]);
        candidates[static_cast<std::size_t>(filter)][i] = residual;
        cost[static_cast<std::size_t>(filter)] += residual < 128 ? residual : 256 - residual;
      }
    }
    std::size_t best = 0;
    for (std::size_t filter = 1; filter < 5; ++filter) {
      if (cost[filter] < cost[best]) best = filter;
    }
    std::uint8_t* out = filtered.data() + (pitch + 1) * static_cast<std::size_t>(line);
    out[0] = static_cast<std::uint8_t>(best);
    std::memcpy(out + 1, candidates[best].data(), pitch);
  }
  return filtered;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data) {
  uLongf bytes = compressBound(static_cast<uLong>(data.size()));
  std::vector<std::uint8_t> compressed(bytes);
  // Level 3: most of the gain of the default level at well under half its time on video pictures.
  if (compress2(compressed.data(), &bytes, data.data(), static_cast<uLong>(data.size()), 3) !=
      Z_OK) {
    throw ToolError("cannot compress a PNG picture (out of memory?)");
  }
  compressed.resize(bytes);
  return compressed;
}

#else

std::vector<std::uint8_t> FilterLines(const std::uint8_t* rgb, int width, int height) {
  const std::size_t pitch = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> lines((pitch + 1) * static_cast<std::size_t>(height));
  for (int line = 0; line < height; ++line) {
    std::uint8_t* out = lines.data() + (pitch + 1) * static_cast<std::size_t>(line);
    out[0] = 0;  // no filter: stored blocks do not compress, so predicting gains nothing
    std::memcpy(out + 1, rgb + pitch * static_cast<std::size_t>(line), pitch);
  }
  return lines;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data) {
  return StoredZlibStream(data);
}

#endif

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t bytes, std::uint32_t crc) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> entries{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < bytes; ++i) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(const std::uint8_t* data, std::size_t bytes, std::uint32_t adler) {
  std::uint32_t a = adler & 0xffff, b = adler >> 16;
  while (bytes > 0) {
    // 5552 bytes is the most that cannot overflow 32 bits before the reduction.
    const std::size_t run = std::min<std::size_t>(bytes, 5552);
    for (std::size_t i = 0; i < run; ++i) {
      a += data[i];
      b += a;
    }
    a %= 65521;
    b %= 65521;
    data += run;
    bytes -= run;
  }
  return b << 16 | a;
}

std::vector<std::uint8_t> StoredZlibStream(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out;
  out.reserve(data.size() + data.size() / 65535 * 5 + 16);
  out.push_back(0x78);  // deflate, 32 KB window
  out.push_back(0x01);  // check bits for the header above, fastest level
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min<std::size_t>(data.size() - offset, 65535);
    const bool last = offset + length == data.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(length));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(~length));
    out.push_back(static_cast<std::uint8_t>(~length >> 8));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
               data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    offset += length;
  } while (offset < data.size());
  PutBig32(out, Adler32(data.data(), data.size()));
  return out;
}

std::vector<std::uint8_t> EncodePng(const std::uint8_t* rgb, int width, int height) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<std::uint8_t> png(kSignature, kSignature + 8);

  std::vector<std::uint8_t> header;
  PutBig32(header, static_cast<std::uint32_t>(width));
  PutBig32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(),
                {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
  PutChunk(png, "IHDR", header.data(), header.size());

  const std::vector<std::uint8_t> compressed = Compress(FilterLines(rgb, width, height));
  PutChunk(png, "IDAT", compressed.data(), compressed.size());
  PutChunk(png, "IEND", nullptr, 0);
  return png;
}

}  // namespace halvaris::decode_tool
