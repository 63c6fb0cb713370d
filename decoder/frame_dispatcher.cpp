#include "frame_dispatcher.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decode_context.h"
#include "halvaris/halvaris.h"
#include "placement_tables.h"
#include "test_hooks.h"
#include "video_segment.h"

namespace halvaris {

WorkShare ShareOf(int index, int workerCount, int segmentCount, int base) {
  return {base + (index * segmentCount) / workerCount,
          base + ((index + 1) * segmentCount) / workerCount - 1};
}

namespace {
// Thread starts left before starts are made to fail, negative: never; then how many starts fail
// in a row, negative: all of them (see FailThreadStarts).
std::atomic<int> threadStartsBeforeFailure{-1};
std::atomic<int> threadStartFailuresLeft{0};

std::thread StartThread(std::function<void()> body) {
  int left = threadStartsBeforeFailure.load();
  while (left > 0 && !threadStartsBeforeFailure.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) {
    int failures = threadStartFailuresLeft.load();
    while (failures > 0 && !threadStartFailuresLeft.compare_exchange_weak(failures, failures - 1)) {
    }
    if (failures == 1) threadStartsBeforeFailure.store(-1);
    if (failures != 0)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread(std::move(body));
}
}  // namespace

void test_hooks::FailThreadStarts(int afterStarts, int failures) {
  threadStartFailuresLeft.store(afterStarts < 0 ? 0 : failures);
  threadStartsBeforeFailure.store(afterStarts);
}

int DefaultWorkerCount() {
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(processors), 1, kMaxWorkers);
}

struct FrameDispatcher::State {
  State(int workers, ThreadingMode threading, MessageSink::Callback callback, void* userData)
      : workerCount(std::clamp(workers, 1, kMaxWorkers)),
        mode(threading),
        messages(callback, userData) {
    for (DecodeContext& context : contexts) context.messages = &messages;
  }

  const int workerCount;
  const ThreadingMode mode;
  MessageSink messages;
  DecodeJob jobs[kMaxWorkers];
  DecodeContext contexts[kMaxWorkers];
  std::vector<std::uint8_t> paddedFrame;  // a short frame, completed with zero bytes
  bool threadStartFailed = false;         // in this frame, per-wave threads only

  // Pool: the calling thread runs job 0, pool thread k runs job k. A wave is published by
  // bumping `generation`; the caller waits until `pending` drops to zero. Waking a sleeping
  // thread costs tens of microseconds on some machines, several times per frame, so both sides
  // spin for a short while before they sleep.
  std::mutex mutex;
  std::condition_variable waveStarted;
  std::condition_variable waveFinished;
  std::vector<std::thread> pool;
  std::atomic<unsigned long long> generation{0};
  std::atomic<int> pending{0};
  bool stopping = false;  // guarded by mutex

  void PoolLoop(int k) {
    unsigned long long seen = 0;
    for (;;) {
      if (!SpinUntil([&] { return generation.load(std::memory_order_acquire) != seen; })) {
        std::unique_lock<std::mutex> lock(mutex);
        waveStarted.wait(
            lock, [&] { return stopping || generation.load(std::memory_order_acquire) != seen; });
        if (stopping) return;
      }
      seen = generation.load(std::memory_order_acquire);
      DecodeWorker(jobs[k], contexts[k]);
      if (pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::lock_guard<std::mutex> lock(mutex);
        waveFinished.notify_one();
      }
    }
  }

  void WaitForWave() {
    if (SpinUntil([&] { return pending.load(std::memory_order_acquire) == 0; })) return;
    std::unique_lock<std::mutex> lock(mutex);
    waveFinished.wait(lock, [&] { return pending.load(std::memory_order_acquire) == 0; });
  }

  // True as soon as `done` holds, false after about 200 microseconds without it.
  template <typename Condition>
  static bool SpinUntil(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    for (;;) {
      for (int i = 0; i < 64; ++i) {
        if (done()) return true;
        CpuRelax();
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
    }
  }

  static void CpuRelax() {
#if defined(__SSE2__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
  }

  // Starts the pool threads that are not running yet. When one cannot be started the user is
  // told, and the waves of this frame give its share, and those of the workers after it, to the
  // calling thread; the next frame tries again.
  void EnsurePool() {
    while (static_cast<int>(pool.size()) < workerCount - 1) {
      const int k = static_cast<int>(pool.size()) + 1;
      try {
        pool.push_back(StartThread([this, k] { PoolLoop(k); }));
      } catch (const std::exception&) {  // no thread, or no memory for one
        messages.Report("Could not create Decode thread", "Halvaris");
        return;
      }
    }
  }

  // Decodes the jobs of one wave. A worker that cannot be started is reported once; its share
  // and those of the workers after it are decoded on the calling thread, and no further thread is
  // started for the rest of the frame, so that the picture is always whole.
  void RunWave(const char* failureMessage) {
    if (mode == ThreadingMode::Pool) {
      // Pool thread k (1..pool.size()) runs job k; the calling thread runs job 0 and the rest.
      const int pooled = static_cast<int>(pool.size());
      pending.store(pooled, std::memory_order_relaxed);
      if (pooled > 0) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          generation.fetch_add(1, std::memory_order_release);
        }
        waveStarted.notify_all();
      }
      DecodeWorker(jobs[0], contexts[0]);
      for (int k = pooled + 1; k < workerCount; ++k) DecodeWorker(jobs[k], contexts[k]);
      WaitForWave();
      return;
    }
    // Fresh threads for every wave, all joined before the next wave starts.
    std::thread threads[kMaxWorkers];
    int running = 0;
    while (!threadStartFailed && running < workerCount) {
      const int k = running;
      try {
        threads[k] = StartThread([this, k] { DecodeWorker(jobs[k], contexts[k]); });
        ++running;
      } catch (const std::exception&) {  // no thread, or no memory for one
        messages.Report(failureMessage, "Halvaris");
        threadStartFailed = true;
      }
    }
    for (int k = running; k < workerCount; ++k) DecodeWorker(jobs[k], contexts[k]);
    for (int k = 0; k < running; ++k) threads[k].join();
  }

  ~State() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    waveStarted.notify_all();
    for (std::thread& thread : pool) thread.join();
  }
};

FrameDispatcher::FrameDispatcher(int workerCount, ThreadingMode mode,
                                 MessageSink::Callback callback, void* userData)
    : state_(new State(workerCount, mode, callback, userData)) {}

FrameDispatcher::~FrameDispatcher() = default;

int FrameDispatcher::WorkerCount() const {
  return state_->workerCount;
}
ThreadingMode FrameDispatcher::Mode() const {
  return state_->mode;
}

int FrameDispatcher::DecodeFrame(std::uint8_t* picture, std::ptrdiff_t pitch,
                                 std::size_t pictureBytes, const std::uint8_t* frame,
                                 std::size_t frameBytes, VideoSystem system,
                                 std::uint32_t* unfinishedBlocks) {
  if (!IsValidVideoSystem(system) || picture == nullptr) return HALVARIS_ERROR_INVALID_ARGUMENT;
  if (frame == nullptr && frameBytes > 0) return HALVARIS_ERROR_INVALID_ARGUMENT;
  const int fits = CheckPictureBuffer(system, pitch, pictureBytes);
  if (fits != HALVARIS_OK) return fits;
  const SystemGeometry& geometry = GeometryOf(system);

  if (frameBytes < geometry.frameBytes) {
    state_->paddedFrame.assign(geometry.frameBytes, 0);
    if (frameBytes > 0) std::memcpy(state_->paddedFrame.data(), frame, frameBytes);
    frame = state_->paddedFrame.data();
  }

  BuildPlacementTables();
  State& state = *state_;
  for (DecodeContext& context : state.contexts) {
    context.incomplete = false;
    context.unfinishedBlocks = 0;
  }
  state.threadStartFailed = false;
  if (state.mode == ThreadingMode::Pool) state.EnsurePool();

  const int workers = state.workerCount;
  const int segments = system == 3 ? 297 : 270;
  for (int k = 0; k < workers; ++k) {
    const WorkShare share = ShareOf(k, workers, segments);
    state.jobs[k] =
        DecodeJob{share.firstSegment, share.lastSegment, 0, picture, pitch, frame, system};
  }

  // The 720-line systems carry two channels; bit 2 of the first block's second byte says which
  // picture arrangement they use.
  int firstChannel = 0;
  int channelCount = 4;
  if (system == 2 || system == 4) {
    firstChannel = (frame[1] & 4) ? 0 : 2;
    channelCount = 2;
  }
  for (int c = firstChannel; c < firstChannel + channelCount; ++c) {
    for (int k = 0; k < workers; ++k) state.jobs[k].channel = c;
    state.RunWave("Could not create Decode thread");
  }

  if (system == 3) {
    // The twelfth sequence of channel 0: the top macroblock line and half of the bottom row.
    for (int k = 0; k < workers; ++k) {
      const WorkShare share = ShareOf(k, workers, 27, 297);
      state.jobs[k].firstSegment = share.firstSegment;
      state.jobs[k].lastSegment = share.lastSegment;
      state.jobs[k].channel = 0;
    }
    state.RunWave("Could not create Decode process");
  }
  if (unfinishedBlocks != nullptr) {
    *unfinishedBlocks = 0;
    for (const DecodeContext& context : state.contexts)
      *unfinishedBlocks += context.unfinishedBlocks;
  }
  for (const DecodeContext& context : state.contexts) {
    if (context.incomplete) return HALVARIS_ERROR_INCOMPLETE;
  }
  return HALVARIS_OK;
}

}  // namespace halvaris
