// Stand-in for the frame decoder until it lands: same interface, grey pictures.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "decoder/frame_dispatcher.h"
#include "decoder/messages.h"
#include "decoder/video_system.h"

namespace halvaris {

const SystemGeometry& GeometryOf(VideoSystem system) {
  static const SystemGeometry geometries[4] = {
      {1280, 1080, 10, 4, 480000},
      {960, 720, 10, 2, 240000},
      {1440, 1080, 12, 4, 576000},
      {960, 720, 12, 2, 288000},
  };
  return geometries[system - 1];
}

struct FrameDispatcher::State {
  int workerCount;
  ThreadingMode mode;
};

FrameDispatcher::FrameDispatcher(int workerCount, ThreadingMode mode)
    : state_(new State{std::clamp(workerCount, 1, 8), mode}) {}
FrameDispatcher::~FrameDispatcher() = default;
int FrameDispatcher::WorkerCount() const {
  return state_->workerCount;
}
ThreadingMode FrameDispatcher::Mode() const {
  return state_->mode;
}

bool FrameDispatcher::DecodeFrame(std::uint8_t* picture, int width, int height,
                                  std::size_t pictureBytes, const std::uint8_t* frame,
                                  std::size_t frameBytes, VideoSystem system) {
  if (!IsValidVideoSystem(system)) return false;
  const SystemGeometry& geometry = GeometryOf(system);
  if (width < geometry.width || height < geometry.height || pictureBytes < PictureBytes(system))
    return false;
  const std::uint8_t shade = frameBytes > 4 ? frame[4] : 0x80;
  std::memset(picture, shade, PictureBytes(system));
  return true;
}

int DefaultWorkerCount() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
}

namespace {
MessageHandler currentHandler = nullptr;
}

void SetMessageHandler(MessageHandler handler) {
  currentHandler = handler;
}

void ReportMessage(const char* text, const char* caption) {
  if (currentHandler != nullptr) {
    currentHandler(text, caption);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption, text);
  }
}

}  // namespace halvaris
