#include "ac_code.h"

#include <array>

namespace halvaris {

namespace {

struct CodeWord {
  const char* bits;  // the code in transmission order, sign bit not included
  int run;
  int amplitude;  // a code with amplitude above 0 is followed by its sign bit (1 = negative)
};

// The AC codes of the DV family; end of block and the two escapes are added below.
constexpr CodeWord kCodeWords[] = {
    {"00", 0, 1},
    {"010", 0, 2},
    {"0111", 1, 1},
    {"1000", 0, 3},
    {"1001", 0, 4},
    {"10100", 2, 1},
    {"10101", 1, 2},
    {"10110", 0, 5},
    {"10111", 0, 6},
    {"110000", 3, 1},
    {"110001", 4, 1},
    {"110010", 0, 7},
    {"110011", 0, 8},
    {"1101000", 5, 1},
    {"1101001", 6, 1},
    {"1101010", 2, 2},
    {"1101011", 1, 3},
    {"1101100", 1, 4},
    {"1101101", 0, 9},
    {"1101110", 0, 10},
    {"1101111", 0, 11},
    {"11100000", 7, 1},
    {"11100001", 8, 1},
    {"11100010", 9, 1},
    {"11100011", 10, 1},
    {"11100100", 3, 2},
    {"11100101", 4, 2},
    {"11100110", 2, 3},
    {"11100111", 1, 5},
    {"11101000", 1, 6},
    {"11101001", 1, 7},
    {"11101010", 0, 12},
    {"11101011", 0, 13},
    {"11101100", 0, 14},
    {"11101101", 0, 15},
    {"11101110", 0, 16},
    {"11101111", 0, 17},
    {"111100000", 11, 1},
    {"111100001", 12, 1},
    {"111100010", 13, 1},
    {"111100011", 14, 1},
    {"111100100", 5, 2},
    {"111100101", 6, 2},
    {"111100110", 3, 3},
    {"111100111", 4, 3},
    {"111101000", 2, 4},
    {"111101001", 2, 5},
    {"111101010", 1, 8},
    {"111101011", 0, 18},
    {"111101100", 0, 19},
    {"111101101", 0, 20},
    {"111101110", 0, 21},
    {"111101111", 0, 22},
    {"1111100000", 5, 3},
    {"1111100001", 3, 4},
    {"1111100010", 3, 5},
    {"1111100011", 2, 6},
    {"1111100100", 1, 9},
    {"1111100101", 1, 10},
    {"1111100110", 1, 11},
    {"11111001110", 0, 0},
    {"11111001111", 1, 0},
    {"11111010000", 6, 3},
    {"11111010001", 4, 4},
    {"11111010010", 3, 6},
    {"11111010011", 1, 12},
    {"11111010100", 1, 13},
    {"11111010101", 1, 14},
    {"111110101100", 2, 0},
    {"111110101101", 3, 0},
    {"111110101110", 4, 0},
    {"111110101111", 5, 0},
    {"111110110000", 7, 2},
    {"111110110001", 8, 2},
    {"111110110010", 9, 2},
    {"111110110011", 10, 2},
    {"111110110100", 7, 3},
    {"111110110101", 8, 3},
    {"111110110110", 4, 5},
    {"111110110111", 3, 7},
    {"111110111000", 2, 7},
    {"111110111001", 2, 8},
    {"111110111010", 2, 9},
    {"111110111011", 2, 10},
    {"111110111100", 2, 11},
    {"111110111101", 1, 15},
    {"111110111110", 1, 16},
    {"111110111111", 1, 17},
};

constexpr int kIndexBits = 13;

constexpr int Length(const char* bits) {
  int n = 0;
  while (bits[n] != '\0') ++n;
  return n;
}

constexpr int Value(const char* bits) {
  int value = 0;
  for (int i = 0; bits[i] != '\0'; ++i) value = value * 2 + (bits[i] - '0');
  return value;
}

// Every 13-bit index that starts with `prefix` (of `length` bits) gets `entry`.
constexpr void Fill(std::array<AcCodeEntry, 8192>& table, int prefix, int length,
                    AcCodeEntry entry) {
  const int shift = kIndexBits - length;
  for (int low = 0; low < (1 << shift); ++low) table[(prefix << shift) | low] = entry;
}

constexpr std::array<AcCodeEntry, 8192> BuildTable() {
  std::array<AcCodeEntry, 8192> table{};
  for (const CodeWord& word : kCodeWords) {
    const int length = Length(word.bits);
    const int prefix = Value(word.bits);
    const auto run = static_cast<std::int8_t>(word.run);
    if (word.amplitude == 0) {
      Fill(table, prefix, length, {0, run, static_cast<std::uint8_t>(length)});
    } else {
      const auto whole = static_cast<std::uint8_t>(length + 1);
      const auto amplitude = static_cast<std::int16_t>(word.amplitude);
      Fill(table, prefix * 2, length + 1, {amplitude, run, whole});
      Fill(table, prefix * 2 + 1, length + 1, {static_cast<std::int16_t>(-amplitude), run, whole});
    }
  }
  Fill(table, 0b0110, 4, {0, kEndOfBlock, 4});
  // Run escape: 1111110 and a 6-bit run, 13 bits, no amplitude.
  for (int run = 0; run < 64; ++run) {
    Fill(table, (0b1111110 << 6) | run, 13, {0, static_cast<std::int8_t>(run), 13});
  }
  // Amplitude escape: 1111111, 8 bits of amplitude and a sign bit; the amplitude lies partly
  // beyond the 13 index bits, so DecodeAcCode reads it from the window.
  Fill(table, 0b1111111, 7, {0, kAmplitudeEscape, 16});
  return table;
}

constexpr std::array<AcCodeEntry, 8192> kFullTable = BuildTable();

// A short index names a code when every full index that starts with it names the same code of at
// most kShortCodeBits bits, which is what the full table's entry for the index followed by zeros
// says.
constexpr std::array<ShortCode, 1 << kShortCodeBits> BuildShortTable() {
  std::array<ShortCode, 1 << kShortCodeBits> table{};
  for (int index = 0; index < (1 << kShortCodeBits); ++index) {
    const AcCodeEntry entry = kFullTable[index << (kIndexBits - kShortCodeBits)];
    if (entry.run >= 0 && entry.length <= kShortCodeBits) {
      table[index] = {entry.length, static_cast<std::uint8_t>(entry.run + 1),
                      static_cast<std::int8_t>(entry.amplitude),
                      static_cast<std::uint8_t>(entry.amplitude < 0 ? 31 : 0)};
    } else if (entry.run == kEndOfBlock) {
      table[index] = {4, kEndOfBlockAdvance, 0, 0};
    } else {
      table[index] = {kLookFurther, 0, 0, 0};
    }
  }
  return table;
}

}  // namespace

// Built by the compiler: constant expressions, so there is no start-up work.
const std::array<AcCodeEntry, 8192> AcCodeTable = kFullTable;
const std::array<ShortCode, 1 << kShortCodeBits> ShortCodeTable = BuildShortTable();

}  // namespace halvaris
