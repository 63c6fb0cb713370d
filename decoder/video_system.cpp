#include "video_system.h"

#include "halvaris/halvaris.h"

namespace halvaris {

namespace {
constexpr SystemGeometry kGeometry[4] = {
    {1280, 1080, 10, 4, 480000},  // 1080 lines, 60 Hz
    {960, 720, 10, 2, 240000},    // 720 lines, 60 Hz
    {1440, 1080, 12, 4, 576000},  // 1080 lines, 50 Hz
    {960, 720, 12, 2, 288000},    // 720 lines, 50 Hz
};
}  // namespace

const SystemGeometry& GeometryOf(VideoSystem system) {
  return kGeometry[system - 1];
}

int CheckPictureBuffer(VideoSystem system, std::ptrdiff_t pitch, std::size_t pictureBytes) {
  const SystemGeometry& geometry = GeometryOf(system);
  const auto lineBytes = static_cast<std::size_t>(2 * geometry.width);
  if (pitch < 0) return HALVARIS_ERROR_INVALID_ARGUMENT;  // bottom-up pictures are not written
  if (static_cast<std::size_t>(pitch) < lineBytes) return HALVARIS_ERROR_PICTURE_TOO_SMALL;
  const auto lines = static_cast<std::size_t>(geometry.height);
  if (pictureBytes < lineBytes ||
      (pictureBytes - lineBytes) / static_cast<std::size_t>(pitch) < lines - 1) {
    return HALVARIS_ERROR_PICTURE_TOO_SMALL;
  }
  return HALVARIS_OK;
}

}  // namespace halvaris
