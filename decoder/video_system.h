#pragma once

#include <cstddef>
#include <cstdint>

namespace halvaris {

// The four DVCPRO HD video systems: 1 = 1080 lines at 60 Hz, 2 = 720 lines at 60 Hz,
// 3 = 1080 lines at 50 Hz, 4 = 720 lines at 50 Hz.
using VideoSystem = int;

constexpr int kDifBlockBytes = 80;
constexpr int kDifBlocksPerSequence = 150;
constexpr int kDifSequenceBytes = kDifBlockBytes * kDifBlocksPerSequence;
constexpr int kMaxWorkers = 8;  // HALVARIS_MAX_WORKERS

struct SystemGeometry {
  int width;                // coded luma samples per line
  int height;               // coded lines
  int sequencesPerChannel;  // DIF sequences of one channel
  int channelsPerSample;    // channels stored in one compressed frame
  std::size_t frameBytes;   // size of one compressed frame
};

inline bool IsValidVideoSystem(int system) {
  return system >= 1 && system <= 4;
}

// Geometry of a valid system (1..4).
const SystemGeometry& GeometryOf(VideoSystem system);

// Bytes of one packed 4:2:2 picture of the system's coded size.
inline std::size_t PictureBytes(VideoSystem system) {
  const SystemGeometry& geometry = GeometryOf(system);
  return static_cast<std::size_t>(geometry.width) * 2u * static_cast<std::size_t>(geometry.height);
}

// HALVARIS_OK when `pitch` and `pictureBytes` hold a packed picture of the system's coded size;
// HALVARIS_ERROR_INVALID_ARGUMENT for a negative pitch, else HALVARIS_ERROR_PICTURE_TOO_SMALL.
int CheckPictureBuffer(VideoSystem system, std::ptrdiff_t pitch, std::size_t pictureBytes);

}  // namespace halvaris
