// Frames per second of the frame decoder: one frame of each video system on 1 and on N workers,
// with the thread pool and with fresh threads per wave; and of the frame description alone (no
// decoding), on one thread, over frames that do not fit the caches. The pixel kernels are timed
// per level by kernel_check --bench.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame_dispatcher.h"
#include "halvaris/halvaris.h"
#include "test_frames.h"

namespace {

using halvaris::VideoSystem;

// Arguments: system, workers, threading (0 pool, 1 per-wave threads), source (0 plain, 1 detailed).
void DecodeFrame(benchmark::State& state) {
  const auto system = static_cast<VideoSystem>(state.range(0));
  const int workers = static_cast<int>(state.range(1));
  const auto mode =
      state.range(2) == 0 ? halvaris::ThreadingMode::Pool : halvaris::ThreadingMode::PerWaveThreads;
  const std::vector<std::uint8_t> frame =
      halvaris::testing::ReadTestFrame(system, state.range(3) ? "detailed" : "testsrc2");
  if (frame.empty()) {
    state.SkipWithError("test frame not found");
    return;
  }
  const std::ptrdiff_t pitch = 2 * halvaris::GeometryOf(system).width;
  std::vector<std::uint8_t> picture(halvaris::PictureBytes(system));
  halvaris::FrameDispatcher dispatcher(workers, mode);
  for (auto _ : state) {
    dispatcher.DecodeFrame(picture.data(), pitch, picture.size(), frame.data(), frame.size(),
                           system);
    benchmark::DoNotOptimize(picture.data());
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void FrameArguments(benchmark::internal::Benchmark* benchmark) {
  const int processors = halvaris::DefaultWorkerCount();
  for (int system = 1; system <= 4; ++system) {
    for (int source : {0, 1}) {
      benchmark->Args({system, 1, 0, source});
      if (processors > 1) {
        benchmark->Args({system, processors, 0, source});
        benchmark->Args({system, processors, 1, source});
      }
    }
  }
  benchmark->ArgNames({"system", "workers", "perWave", "detailed"})
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}
BENCHMARK(DecodeFrame)->Apply(FrameArguments);

// Argument: system. 128 copies of the detailed frame (61 MB in the 1080-line 60 Hz system), read
// one after the other, so that every frame comes from memory as a file's frames would.
void DescribeFrame(benchmark::State& state) {
  const auto system = static_cast<VideoSystem>(state.range(0));
  const std::vector<std::uint8_t> frame = halvaris::testing::ReadTestFrame(system, "detailed");
  if (frame.empty()) {
    state.SkipWithError("test frame not found");
    return;
  }
  constexpr std::size_t kCopies = 128;
  std::vector<std::uint8_t> frames(kCopies * frame.size());
  for (std::size_t copy = 0; copy < kCopies; ++copy) {
    std::copy(frame.begin(), frame.end(), frames.begin() + copy * frame.size());
  }
  HalvarisFrameDescription description;
  std::size_t next = 0;
  for (auto _ : state) {
    halvaris_describe_frame(system, frames.data() + next * frame.size(), frame.size(),
                            &description);
    benchmark::DoNotOptimize(description);
    next = (next + 1) % kCopies;
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(DescribeFrame)
    ->ArgName("system")
    ->DenseRange(1, 4)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
