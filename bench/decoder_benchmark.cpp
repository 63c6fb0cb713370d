// Frames per second of the frame decoder: one frame of each video system on 1 and on N workers,
// with the thread pool and with fresh threads per wave. The pixel kernels are timed per level by
// kernel_check --bench.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "frame_dispatcher.h"
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

}  // namespace

BENCHMARK_MAIN();
