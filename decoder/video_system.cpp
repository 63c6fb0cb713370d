#include "video_system.h"

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

}  // namespace halvaris
