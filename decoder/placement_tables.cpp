#include "placement_tables.h"

#include <mutex>

namespace halvaris {

namespace {

PlacementTables tables;
std::once_flag tablesBuilt;

// Byte offset of macroblock n (0..134) of DIF sequence `sequence` of a sample: the video blocks
// follow the header, two subcode and three auxiliary blocks, one audio block per fifteen.
std::uint32_t MacroblockOffset(int sequence, int n) {
  return static_cast<std::uint32_t>(
      (sequence * kDifBlocksPerSequence + 7 + 16 * (n / 15) + (n % 15)) * kDifBlockBytes);
}

void FillBlockAddresses() {
  // Systems 1, 2 and 4: ten sequence slots per channel.
  for (int c = 0; c < 4; ++c) {
    const int firstSequence[3] = {10 * c, 10 * (c % 2), 12 * (c % 2)};
    const int systems[3] = {1, 2, 4};
    for (int v = 0; v < 270; ++v) {
      const int h = v / 135;
      const int s = (v % 135) / 5;
      const int i = v % 5;
      const int q = (4 * c + h + 2 * i) % 10;
      for (int m = 0; m < 5; ++m) {
        for (int k = 0; k < 3; ++k) {
          tables.blockAddress[systems[k] - 1][BlockAddressIndex(c, q, m, s)] =
              MacroblockOffset(firstSequence[k] + v / 27, 5 * (v % 27) + m);
        }
      }
    }
  }
  // System 3: eleven sequence slots per channel, and a twelfth for channel 0 alone.
  std::uint32_t* system3 = tables.blockAddress[2];
  for (int c = 0; c < 4; ++c) {
    for (int v = 0; v < 297; ++v) {
      const int s = v / 11;
      const int i = v % 11;
      const int q = (4 * c + i) % 11;
      for (int m = 0; m < 5; ++m) {
        system3[BlockAddressIndex(c, q, m, s)] =
            MacroblockOffset(12 * c + v / 27, 5 * (v % 27) + m);
      }
    }
  }
  for (int s = 0; s < 27; ++s) {
    for (int m = 0; m < 5; ++m) {
      system3[BlockAddressIndex(0, 11, m, s)] = MacroblockOffset(11, 5 * s + m);
    }
  }
}

// Superblock row and column of macroblock m of sequence slot q; `rows` is the number of sequence
// slots (11 in system 3, 10 otherwise).
void Superblock(int q, int m, int rows, int& row, int& column) {
  static constexpr int kRowShift[5] = {2, 6, 8, 0, 4};
  static constexpr int kColumn[5] = {2, 1, 3, 0, 4};
  row = (q + kRowShift[m]) % rows;
  column = kColumn[m];
}

MacroblockPosition PositionSystem1(int c, int q, int m, int s) {
  int row, column;
  Superblock(q, m, 10, row, column);
  const int a = 3 * row + s / 9;
  const int x = 18 * column + (s % 9) + 9 * (c % 2);
  const int y = 2 * a + (c >= 2 ? 1 : 0);
  if (x < 80) return {16 * x, 16 * (y + 4)};
  // The ten columns that do not fit the 80 of the picture fill the top four macroblock lines,
  // the three below line 63 and the half-height bottom row.
  const int e = x - 80;
  if (y < 32) return {16 * (10 * (y / 4) + e), 16 * (y % 4)};
  if (y < 56) return {16 * (10 * ((y - 32) / 3) + e), 16 * (64 + (y - 32) % 3)};
  return {16 * (10 * (y - 56) + e), 1072};
}

MacroblockPosition PositionSystem3(int c, int q, int m, int s) {
  if (q == 11) {
    const int e = 27 * m + s;
    if (e < 90) return {16 * e, 0};
    return {16 * (e - 90), 1072};
  }
  int row, column;
  Superblock(q, m, 11, row, column);
  const int a = 3 * row + s / 9;
  return {16 * (18 * column + (s % 9) + 9 * (c % 2)), 16 * (2 * a + 1) + (c >= 2 ? 16 : 0)};
}

MacroblockPosition Position720(int c, int q, int m, int s) {
  int row, column;
  Superblock(q, m, 10, row, column);
  int a, b, y;
  if (row % 2 == 0) {
    a = s / 6;
    b = s % 6;
    y = 9 * (row / 2) + a;
  } else {
    a = (s + 3) / 6;
    b = (s + 3) % 6;
    y = 9 * (row / 2) + a + 4;
  }
  return {16 * (12 * column + b + 6 * (c % 2)), 16 * y};
}

void FillPositions() {
  for (int c = 0; c < 4; ++c) {
    for (int m = 0; m < 5; ++m) {
      for (int q = 0; q < 11; ++q) {
        for (int s = 0; s < 27; ++s) {
          const int index = MacroblockPositionIndex(c, q, m, s);
          tables.macroblockPosition[2][index] = PositionSystem3(c, q, m, s);
          if (q == 10) continue;
          tables.macroblockPosition[0][index] = PositionSystem1(c, q, m, s);
          tables.macroblockPosition[1][index] = Position720(c, q, m, s);
          tables.macroblockPosition[3][index] = Position720(c, q, m, s);
        }
      }
    }
  }
  for (int m = 0; m < 5; ++m) {
    for (int s = 0; s < 27; ++s) {
      tables.macroblockPosition[2][MacroblockPositionIndex(0, 11, m, s)] =
          PositionSystem3(0, 11, m, s);
    }
  }
}

}  // namespace

const PlacementTables& BuildPlacementTables() {
  std::call_once(tablesBuilt, [] {
    FillBlockAddresses();
    FillPositions();
  });
  return tables;
}

}  // namespace halvaris
