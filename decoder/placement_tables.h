#pragma once

#include <cstdint>

#include "video_system.h"

namespace halvaris {

// Where a macroblock's video DIF block lies in the compressed frame, and where the macroblock goes
// in the picture. Both are indexed by channel c (0..3), sequence slot q (0..11), macroblock m
// (0..4) and segment slot s (0..26); only the entries a system uses are filled.
constexpr int kTableEntries = 4 * 16 * 8 * 32;

inline int BlockAddressIndex(int c, int q, int m, int s) {
  return ((c * 16 + q) * 8 + m) * 32 + s;
}
inline int MacroblockPositionIndex(int c, int q, int m, int s) {
  return ((c * 8 + m) * 16 + q) * 32 + s;
}

struct MacroblockPosition {
  std::int32_t
      x;  // column of the top-left luma sample; half the column on the bottom 1080-line row
  std::int32_t y;  // line of the top-left luma sample
};

struct PlacementTables {
  std::uint32_t blockAddress[4][kTableEntries];
  MacroblockPosition macroblockPosition[4][kTableEntries];
};

// Fills the tables of all four systems. Safe to call from any thread, any number of times: the
// tables are built once and never change afterwards.
const PlacementTables& BuildPlacementTables();

}  // namespace halvaris
