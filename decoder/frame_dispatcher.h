#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "messages.h"
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
// tables. One DecodeFrame runs at a time per dispatcher (the library's decoder refuses a second
// caller before it gets here).
class FrameDispatcher {
 public:
  // workerCount is clamped to 1..8. Resource failures are told to `callback` (none: not told).
  explicit FrameDispatcher(int workerCount, ThreadingMode mode = ThreadingMode::Pool,
                           MessageSink::Callback callback = nullptr, void* userData = nullptr);
  ~FrameDispatcher();
  FrameDispatcher(const FrameDispatcher&) = delete;
  FrameDispatcher& operator=(const FrameDispatcher&) = delete;

  int WorkerCount() const;
  ThreadingMode Mode() const;

  // Decodes one frame of `system` into `picture`: packed YUY2, top line first, `pitch` bytes per
  // line, `pictureBytes` bytes available. `frame` holds `frameBytes` bytes; a frame shorter than
  // the system's size is decoded as if the missing bytes were zero, and bytes past the system's
  // size are ignored. Returns a HALVARIS_ result:
  // - HALVARIS_ERROR_INVALID_ARGUMENT or _PICTURE_TOO_SMALL, writing nothing, when the system is
  //   not 1..4 or the pitch is negative, or the pitch or the buffer cannot hold the system's
  //   coded picture;
  // - HALVARIS_ERROR_INCOMPLETE when a worker's buffers could not be allocated (told through the
  //   callback): its segments are left as they were;
  // - HALVARIS_OK when the whole picture was decoded. A worker thread that cannot be started is
  //   told through the callback and its share decoded on the calling thread.
  // `unfinishedBlocks`, when given, receives the number of blocks whose codes ran out of bits.
  int DecodeFrame(std::uint8_t* picture, std::ptrdiff_t pitch, std::size_t pictureBytes,
                  const std::uint8_t* frame, std::size_t frameBytes, VideoSystem system,
                  std::uint32_t* unfinishedBlocks = nullptr);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Number of workers for this machine: the processors this process may run on, 1..8.
int DefaultWorkerCount();

}  // namespace halvaris
