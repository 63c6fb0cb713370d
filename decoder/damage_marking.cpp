// Paints the macroblocks whose video DIF block carries a chosen status in a decoded picture, so
// that a person sees where the recording device reported damage.

#include <cstddef>
#include <cstdint>

#include "halvaris/halvaris.h"
#include "placement_tables.h"
#include "video_system.h"

namespace halvaris {
namespace {

struct Yuy2Colour {
  std::uint8_t luma, blueDifference, redDifference;
};

// Fills `width` x `lines` luma samples from (x, y); x and width are even.
void FillRectangle(std::uint8_t* picture, std::ptrdiff_t pitch, int x, int y, int width, int lines,
                   Yuy2Colour colour) {
  for (int line = 0; line < lines; ++line) {
    std::uint8_t* out = picture + (y + line) * pitch + 2 * x;
    for (int pair = 0; pair < width / 2; ++pair, out += 4) {
      out[0] = colour.luma;
      out[1] = colour.blueDifference;
      out[2] = colour.luma;
      out[3] = colour.redDifference;
    }
  }
}

}  // namespace
}  // namespace halvaris

extern "C" int halvaris_mark_damage(int system, const std::uint8_t* frame, std::size_t frameBytes,
                                    unsigned staMask, std::uint8_t* picture, std::ptrdiff_t pitch,
                                    std::size_t pictureBytes, std::uint8_t luma,
                                    std::uint8_t blueDifference, std::uint8_t redDifference) {
  using namespace halvaris;
  if (!IsValidVideoSystem(system) || picture == nullptr || (frame == nullptr && frameBytes > 0)) {
    return HALVARIS_ERROR_INVALID_ARGUMENT;
  }
  const int fits = CheckPictureBuffer(system, pitch, pictureBytes);
  if (fits != HALVARIS_OK) return fits;
  if (frameBytes == 0 || (staMask & 0xffff) == 0) return 0;

  const PlacementTables& tables = BuildPlacementTables();
  const std::uint32_t* addresses = tables.blockAddress[system - 1];
  const MacroblockPosition* positions = tables.macroblockPosition[system - 1];
  const bool is1080 = system == 1 || system == 3;
  // As the decoder does: the 720-line systems' channel pair bit chooses the arrangement.
  int firstChannel = 0;
  int channels = 4;
  if (!is1080) {
    firstChannel = frameBytes > 1 && (frame[1] & 4) ? 0 : 2;
    channels = 2;
  }
  const int slots = system == 3 ? 11 : 10;
  const Yuy2Colour colour{luma, blueDifference, redDifference};
  int painted = 0;
  auto mark = [&](int c, int q, int m, int s) {
    const std::size_t offset = addresses[BlockAddressIndex(c, q, m, s)] + 3u;
    if (offset >= frameBytes || ((staMask >> (frame[offset] >> 4)) & 1) == 0) return;
    const MacroblockPosition position = positions[MacroblockPositionIndex(c, q, m, s)];
    if (is1080 && position.y >= 1072) {
      // The bottom row holds 32 x 8 macroblocks, and the table half their column.
      FillRectangle(picture, pitch, 2 * position.x, position.y, 32, 8, colour);
    } else {
      FillRectangle(picture, pitch, position.x, position.y, 16, 16, colour);
    }
    ++painted;
  };
  for (int c = firstChannel; c < firstChannel + channels; ++c) {
    for (int q = 0; q < slots; ++q) {
      for (int s = 0; s < 27; ++s) {
        for (int m = 0; m < 5; ++m) mark(c, q, m, s);
      }
    }
  }
  if (system == 3) {
    // The twelfth sequence of channel 0: the top macroblock line and half of the bottom row.
    for (int s = 0; s < 27; ++s) {
      for (int m = 0; m < 5; ++m) mark(0, 11, m, s);
    }
  }
  return painted;
}
