#include "coefficient_tables.h"

namespace halvaris {

const std::int32_t ZigZag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// clang-format off
const std::int16_t WeightTable[4][64] = {
    {  // 1080 lines, luma
        128,  16,  17,  18,  18,  19,  42,  44,
         16,  17,  18,  18,  19,  38,  43,  45,
         17,  18,  19,  19,  40,  41,  45,  48,
         18,  18,  19,  40,  41,  42,  45,  49,
         18,  19,  40,  41,  42,  43,  48, 101,
         19,  38,  41,  42,  43,  44,  98, 104,
         42,  43,  45,  46,  48,  98, 109, 116,
         44,  45,  48,  49, 101, 104, 116, 123,
    },
    {  // 1080 lines, chroma
        128,  16,  17,  25,  26,  26,  42,  44,
         16,  17,  25,  25,  26,  38,  43,  91,
         17,  25,  26,  27,  40,  41,  91,  96,
         25,  25,  27,  40,  41,  84,  93, 197,
         26,  26,  40,  41,  84,  86, 191, 203,
         26,  38,  41,  84,  86, 177, 197, 209,
         42,  43,  91,  93, 191, 197, 219, 232,
         44,  91,  96, 197, 203, 209, 232, 246,
    },
    {  // 720 lines, luma
        128,  16,  17,  18,  18,  19,  42,  44,
         16,  17,  18,  18,  19,  38,  43,  68,
         17,  18,  19,  19,  40,  41,  68,  96,
         18,  18,  19,  40,  41,  63,  92,  98,
         18,  19,  40,  41,  63,  86,  96, 202,
         19,  38,  41,  63,  86,  88, 196, 208,
         42,  43,  68,  92,  96, 196, 218, 232,
         44,  68,  96,  98, 202, 208, 232, 246,
    },
    {  // 720 lines, chroma
        128,  24,  26,  36,  36,  38,  84,  88,
         24,  26,  36,  36,  38,  76,  86, 182,
         26,  36,  38,  38,  80,  82, 182, 192,
         36,  36,  38,  80,  82, 168, 186, 394,
         36,  38,  80,  82, 168, 192, 382, 406,
         38,  76,  82, 168, 172, 354, 394, 418,
         84,  86, 182, 186, 382, 394, 438, 464,
         88, 182, 192, 394, 406, 418, 464, 492,
    },
};
// clang-format on

constexpr std::uint8_t kNo = kNoQuantStep;
const std::uint8_t QuantStepTable[16][4] = {
    {kNo, kNo, kNo, kNo}, {1, 2, 4, 8},      {2, 4, 8, kNo},     {3, 6, 12, kNo},
    {4, 8, kNo, kNo},     {5, 10, kNo, kNo}, {6, 12, kNo, kNo},  {7, 14, kNo, kNo},
    {8, kNo, kNo, kNo},   {16, 32, 64, kNo}, {18, 36, 72, kNo},  {20, 40, 80, kNo},
    {22, 44, 88, kNo},    {24, 48, 96, kNo}, {28, 56, 112, kNo}, {52, 104, kNo, kNo},
};

namespace {
struct QuantStepTables {
  std::int32_t step[16][4];
  QuantStepTables() : step{} {
    for (int quantNumber = 0; quantNumber < 16; ++quantNumber) {
      for (int blockClass = 0; blockClass < 4; ++blockClass) {
        const int stored = QuantStepTable[quantNumber][blockClass];
        const int class0 = QuantStepTable[quantNumber][0];
        step[quantNumber][blockClass] =
            stored != kNoQuantStep ? stored : (class0 == kNoQuantStep ? 1 : class0) << blockClass;
      }
    }
  }
};
const QuantStepTables quantStepTables;
}  // namespace

const std::int32_t (*const QuantSteps)[4] = quantStepTables.step;

namespace {
struct ScanMultiplierTables {
  ScanMultiplierTable table[4][16][4];
  ScanMultiplierTables() : table{} {
    for (int kind = 0; kind < 4; ++kind) {
      for (int quantNumber = 0; quantNumber < 16; ++quantNumber) {
        for (int blockClass = 0; blockClass < 4; ++blockClass) {
          const std::int32_t step = quantStepTables.step[quantNumber][blockClass];
          for (int p = 0; p < 64; ++p) {
            table[kind][quantNumber][blockClass][p] = WeightTable[kind][ZigZag[p]] * step;
          }
        }
      }
    }
  }
};
const ScanMultiplierTables scanMultiplierTables;
}  // namespace

const ScanMultiplierTable (*const ScanMultipliers)[16][4] = scanMultiplierTables.table;

}  // namespace halvaris
