#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "video_system.h"

namespace halvaris {

// How a frame's waves of workers are run.
enum class ThreadingMode {
  Pool,            // workers live as long as the dispatcher and wait between waves
  PerWaveThreads,  // fresh threads are started for every wave and joined at its end
};

// One segment-slot range of one channel, as handed to a worker.
struct WorkShare {
  int firstSegment;
  int lastSegment;  // inclusive
};

// The even split of `segmentCount` slots over `workerCount` workers, for worker `index`;
// `base` is added to both ends (the extra wave of the 1080-line 50 Hz system starts at 297).
WorkShare ShareOf(int index, int workerCount, int segmentCount, int base = 0);

// Decodes whole compressed frames into packed 4:2:2 pictures on up to eight workers.
// Each dispatcher owns its workers' jobs and decoding state, so several dispatchers (for example
// one per filter instance) decode at the same time without sharing anything but the constant
// tables. One DecodeFrame runs at a time per dispatcher.
class FrameDispatcher {
 public:
  // workerCount is clamped to 1..8.
  explicit FrameDispatcher(int workerCount, ThreadingMode mode = ThreadingMode::Pool);
  ~FrameDispatcher();
  FrameDispatcher(const FrameDispatcher&) = delete;
  FrameDispatcher& operator=(const FrameDispatcher&) = delete;

  int WorkerCount() const;
  ThreadingMode Mode() const;

  // Decodes one frame of `system` into `picture`: packed YUY2, `width` pixels per line (pitch
  // 2 x width), |height| lines, top line first, `pictureBytes` bytes available.
  // `frame` holds `frameBytes` bytes; a frame shorter than the system's size is decoded as if the
  // missing bytes were zero, and bytes past the system's size are ignored.
  // Returns false, writing nothing, when the system is not 1..4 or the picture is narrower, lower
  // or smaller than the system's coded picture. A worker that cannot be started is reported
  // through ReportMessage and ends the frame early (the picture keeps what was decoded); the
  // result is still true then, as the picture is delivered all the same.
  bool DecodeFrame(std::uint8_t* picture, int width, int height, std::size_t pictureBytes,
                   const std::uint8_t* frame, std::size_t frameBytes, VideoSystem system);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// For tests: the thread start after `afterStarts` more successful ones fails as if the system had
// no thread to give (once); a negative value turns this off.
void FailThreadStarts(int afterStarts);

// Number of workers for this machine: the processors this process may run on, 1..8.
int DefaultWorkerCount();

}  // namespace halvaris
