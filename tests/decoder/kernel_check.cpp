// Checks every SIMD level of the pixel kernels against the scalar twins on the same random
// inputs, and with --bench times every kernel at every level.
//
//   kernel_check [--seed N] [--trials N] [--bench]
//
// The seed is printed first; give it back with --seed to repeat a run. Inputs come in kinds: any
// 16-bit values (most of which saturate), the extreme values where saturation and wrap-around
// begin, and values of the ranges the decoder produces (which mostly do not saturate), so that
// both the clamped and the exact paths are compared. Exit status 1 on the first difference, with
// the kernel, level, kind, trial and the first differing value.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "dsp.h"

namespace {

using halvaris::DspFunctions;

struct alignas(32) BlockPair {
  std::int16_t value[128];
};

// A macroblock's luma pair, Cr block and Cb block, laid out as the decoder holds them.
struct alignas(32) PackInput {
  std::int16_t luma[128];
  std::int16_t cr[64];
  std::int16_t unused[64];
  std::int16_t cb[64];
};

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  int Between(int low, int high) {  // inclusive
    return std::uniform_int_distribution<int>(low, high)(engine_);
  }
  std::int16_t Any() { return static_cast<std::int16_t>(Between(-32768, 32767)); }
  template <std::size_t N>
  std::int16_t OneOf(const std::int16_t (&values)[N]) {
    return values[Between(0, static_cast<int>(N) - 1)];
  }

 private:
  std::mt19937_64 engine_;
};

// Values at which the transform's 16-bit saturation and 32-bit row sums change behaviour.
constexpr std::int16_t kTransformExtremes[] = {-32768, -32767, -16384, -4096, -1024, -1,
                                               0,      1,      1023,   4095,  16384, 32767};
// Values around the packing's clamp points and its 16-bit wrap-around when 128 is added.
constexpr std::int16_t kPackEdges[] = {-32768, -130, -129, -128, -127, -1,    0,     1,
                                       126,    127,  128,  129,  255,  32639, 32640, 32767};

enum class Kind { Any, Extremes, DecoderRange, Count };
const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Any:
      return "any values";
    case Kind::Extremes:
      return "extreme values";
    default:
      return "decoder's range";
  }
}

// Coefficients: a DC multiple of 4 as the decoder writes it, and a few AC values, mostly small.
void FillBlock(Random& random, Kind kind, std::int16_t* block) {
  for (int i = 0; i < 64; ++i) {
    switch (kind) {
      case Kind::Any:
        block[i] = random.Any();
        break;
      case Kind::Extremes:
        block[i] = random.OneOf(kTransformExtremes);
        break;
      default:
        block[i] = i == 0 ? static_cast<std::int16_t>(4 * random.Between(-256, 255))
                   : random.Between(0, 3) != 0 ? std::int16_t{0}
                   : random.Between(0, 7) != 0
                       ? static_cast<std::int16_t>(random.Between(-300, 300))
                       : static_cast<std::int16_t>(random.Between(-4000, 4000));
        break;
    }
  }
}

// Samples minus 128: in the decoder's range mostly inside 0..255 once 128 is added.
void FillSamples(Random& random, Kind kind, std::int16_t* samples, int count) {
  for (int i = 0; i < count; ++i) {
    switch (kind) {
      case Kind::Any:
        samples[i] = random.Any();
        break;
      case Kind::Extremes:
        samples[i] = random.OneOf(kPackEdges);
        break;
      default:
        samples[i] = static_cast<std::int16_t>(random.Between(-140, 140));
        break;
    }
  }
}

[[noreturn]] void Fail(const char* kernel, const DspFunctions& level, Kind kind, int trial,
                       const std::string& detail) {
  std::printf("FAILED %s, %s against scalar, %s, trial %d: %s\n", kernel, level.name,
              KindName(kind), trial, detail.c_str());
  std::exit(1);
}

std::string FirstDifference(const std::int16_t* expected, const std::int16_t* got, int count) {
  for (int i = 0; i < count; ++i) {
    if (expected[i] != got[i]) {
      return "value " + std::to_string(i) + ": scalar " + std::to_string(expected[i]) + ", got " +
             std::to_string(got[i]);
    }
  }
  return "";
}

void CheckTransforms(const DspFunctions& level, Random& random, int trials) {
  const DspFunctions& scalar = halvaris::ScalarDsp();
  for (int k = 0; k < static_cast<int>(Kind::Count); ++k) {
    const Kind kind = static_cast<Kind>(k);
    for (int trial = 0; trial < trials; ++trial) {
      BlockPair input;
      FillBlock(random, kind, input.value);
      FillBlock(random, kind, input.value + 64);
      BlockPair expected = input, single = input, pair = input;
      scalar.inverseDct8x8Pair(expected.value);
      level.inverseDct8x8(single.value);
      level.inverseDct8x8(single.value + 64);
      level.inverseDct8x8Pair(pair.value);
      const std::string singleDifference = FirstDifference(expected.value, single.value, 128);
      if (!singleDifference.empty()) Fail("inverse DCT", level, kind, trial, singleDifference);
      const std::string pairDifference = FirstDifference(expected.value, pair.value, 128);
      if (!pairDifference.empty())
        Fail("inverse DCT of a pair", level, kind, trial, pairDifference);
    }
  }
  // DC-only blocks: every value element 0 can hold.
  for (int dc = -32768; dc < 32768; ++dc) {
    BlockPair expected{}, got{};
    expected.value[0] = got.value[0] = static_cast<std::int16_t>(dc);
    scalar.inverseDct8x8(expected.value);
    level.inverseDctDcOnly(got.value);
    const std::string difference = FirstDifference(expected.value, got.value, 64);
    if (!difference.empty()) {
      Fail("DC-only inverse DCT", level, Kind::Extremes, dc,
           "DC " + std::to_string(dc) + ", " + difference);
    }
  }
}

void CheckPacking(const DspFunctions& level, Random& random, int trials) {
  const DspFunctions& scalar = halvaris::ScalarDsp();
  // Line steps of packed blocks, of every picture width, of field arrangement, and odd ones.
  const std::ptrdiff_t lineSteps[] = {32, 33, 48, 64, 1920, 2560, 2880, 5120, 5760};
  constexpr int kGuard = 40;  // bytes around the written ones, which must stay as they were
  for (std::ptrdiff_t lineStep : lineSteps) {
    std::string expected(static_cast<std::size_t>(kGuard + 8 * lineStep + kGuard), '\0');
    std::string got = expected;
    for (int k = 0; k < static_cast<int>(Kind::Count); ++k) {
      const Kind kind = static_cast<Kind>(k);
      for (int trial = 0; trial < trials / 4; ++trial) {
        PackInput input;
        FillSamples(random, kind, input.luma, 128);
        FillSamples(random, kind, input.cr, 64);
        FillSamples(random, kind, input.unused, 64);
        FillSamples(random, kind, input.cb, 64);
        const int offset = random.Between(0, 7);  // any alignment of the output
        const char background = static_cast<char>(random.Between(0, 255));
        expected.assign(expected.size(), background);
        got.assign(got.size(), background);
        scalar.packPairYuy2(input.luma, input.cr,
                            reinterpret_cast<std::uint8_t*>(&expected[kGuard + offset]), lineStep);
        level.packPairYuy2(input.luma, input.cr,
                           reinterpret_cast<std::uint8_t*>(&got[kGuard + offset]), lineStep);
        if (expected != got) {
          std::size_t at = 0;
          while (expected[at] == got[at]) ++at;
          const long relative = static_cast<long>(at) - kGuard - offset;
          Fail("packing", level, kind, trial,
               "line step " + std::to_string(lineStep) + ", byte " + std::to_string(relative) +
                   " (line " + std::to_string(relative / lineStep) + "): scalar " +
                   std::to_string(static_cast<std::uint8_t>(expected[at])) + ", got " +
                   std::to_string(static_cast<std::uint8_t>(got[at])));
        }
      }
    }
  }
}

// Nanoseconds per call of `call`, the best of several rounds.
template <typename Call>
double Time(Call call) {
  constexpr int kCalls = 4096;
  double best = 1e30;
  for (int round = 0; round < 15; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) call(i);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
  }
  return best / kCalls * 1e9;
}

volatile std::int16_t sink;

void Bench(const DspFunctions* const* levels, int count, Random& random) {
  static BlockPair blocks[64];
  static PackInput packInputs[16];
  static std::uint8_t picture[64 * 2560];
  for (BlockPair& pair : blocks) {
    FillBlock(random, Kind::DecoderRange, pair.value);
    FillBlock(random, Kind::DecoderRange, pair.value + 64);
  }
  for (PackInput& input : packInputs) {
    FillSamples(random, Kind::DecoderRange, input.luma, 128);
    FillSamples(random, Kind::DecoderRange, input.cr, 64);
    FillSamples(random, Kind::DecoderRange, input.cb, 64);
  }
  std::printf("%-34s", "nanoseconds per call");
  for (int i = 0; i < count; ++i) std::printf("%10s", levels[i]->name);
  std::printf("\n");
  struct Row {
    const char* name;
    double (*time)(const DspFunctions&);
  };
  const Row rows[] = {
      {"inverse DCT, one block",
       [](const DspFunctions& d) {
         return Time([&](int i) { d.inverseDct8x8(blocks[i & 63].value); });
       }},
      {"inverse DCT, pair of blocks",
       [](const DspFunctions& d) {
         return Time([&](int i) { d.inverseDct8x8Pair(blocks[i & 63].value); });
       }},
      {"DC-only inverse DCT, one block",
       [](const DspFunctions& d) {
         return Time([&](int i) {
           std::int16_t* block = blocks[i & 63].value;
           block[0] = static_cast<std::int16_t>(4 * ((i & 511) - 256));
           d.inverseDctDcOnly(block);
           sink = block[63];
         });
       }},
      {"packing, pair of blocks (8 lines)",
       [](const DspFunctions& d) {
         return Time([&](int i) {
           const PackInput& input = packInputs[i & 15];
           d.packPairYuy2(input.luma, input.cr, picture + 64 * (i & 31), 2560);
         });
       }},
  };
  for (const Row& row : rows) {
    std::printf("%-34s", row.name);
    double scalar = 0;
    for (int i = 0; i < count; ++i) {
      const double ns = row.time(*levels[i]);
      if (i == 0) scalar = ns;
      std::printf("%6.1f", ns);
      if (i > 0) {
        std::printf(" x%-2.0f", scalar / ns);
      } else {
        std::printf("    ");
      }
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
  int trials = 3000;
  bool bench = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (argument == "--trials" && i + 1 < argc) {
      trials = std::atoi(argv[++i]);
    } else if (argument == "--bench") {
      bench = true;
    } else {
      std::fprintf(stderr, "usage: kernel_check [--seed N] [--trials N] [--bench]\n");
      return 2;
    }
  }
  std::printf("kernel_check: seed %llu\n", static_cast<unsigned long long>(seed));
  Random random(seed);
  const DspFunctions* levels[3];
  const int count = halvaris::AvailableDsps(levels);
  for (int i = 0; i < count; ++i) {
    CheckTransforms(*levels[i], random, trials);
    CheckPacking(*levels[i], random, trials);
    std::printf("%-6s: inverse DCT (one block, pairs, DC-only) and packing match scalar\n",
                levels[i]->name);
  }
  if (bench) Bench(levels, count, random);
  return 0;
}
