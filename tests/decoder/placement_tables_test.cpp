#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "placement_tables.h"
#include "video_system.h"

namespace halvaris {
namespace {

struct Slot {
  int c, q, m, s;
};

// Every (c, q, m, s) a system decodes for one channel pair arrangement.
template <typename Visit>
void ForEachSlot(VideoSystem system, bool secondPair, Visit visit) {
  const int slots = system == 3 ? 11 : 10;
  const int firstChannel = (system == 2 || system == 4) && secondPair ? 2 : 0;
  const int channels = (system == 2 || system == 4) ? 2 : 4;
  for (int c = firstChannel; c < firstChannel + channels; ++c) {
    for (int q = 0; q < slots; ++q) {
      for (int m = 0; m < 5; ++m) {
        for (int s = 0; s < 27; ++s) visit(Slot{c, q, m, s});
      }
    }
  }
  if (system == 3) {
    for (int m = 0; m < 5; ++m) {
      for (int s = 0; s < 27; ++s) visit(Slot{0, 11, m, s});
    }
  }
}

struct Coverage {
  std::set<std::uint32_t> addresses;
  std::set<std::pair<int, int>> positions;
  int entries = 0;
  bool inside = true;
};

Coverage Cover(VideoSystem system, bool secondPair) {
  const PlacementTables& tables = BuildPlacementTables();
  const SystemGeometry& geometry = GeometryOf(system);
  Coverage coverage;
  ForEachSlot(system, secondPair, [&](Slot slot) {
    ++coverage.entries;
    const std::uint32_t address =
        tables.blockAddress[system - 1][BlockAddressIndex(slot.c, slot.q, slot.m, slot.s)];
    const MacroblockPosition position =
        tables.macroblockPosition[system - 1]
                                 [MacroblockPositionIndex(slot.c, slot.q, slot.m, slot.s)];
    coverage.addresses.insert(address);
    coverage.positions.insert({position.x, position.y});
    const bool bottomRow = position.y >= 1072;
    const int right = bottomRow ? 2 * position.x + 32 : position.x + 16;
    const int bottom = bottomRow ? position.y + 8 : position.y + 16;
    if (right > geometry.width || bottom > geometry.height || address + 80 > geometry.frameBytes) {
      coverage.inside = false;
    }
    // A macroblock is one of the fifteen video blocks of a group of sixteen after the first six.
    const int block = static_cast<int>(address / 80) % 150;
    if (block < 7 || (block - 6) % 16 == 0) coverage.inside = false;
  });
  return coverage;
}

TEST(PlacementTables, EverySystemMapsEachDifBlockToOnePictureMacroblock) {
  const struct {
    VideoSystem system;
    bool secondPair;
    int macroblocks;
  } cases[] = {{1, false, 5400}, {3, false, 6075}, {2, false, 2700},
               {2, true, 2700},  {4, false, 2700}, {4, true, 2700}};
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "system " << test.system << " pair " << test.secondPair);
    const Coverage coverage = Cover(test.system, test.secondPair);
    EXPECT_EQ(coverage.entries, test.macroblocks);
    EXPECT_EQ(static_cast<int>(coverage.addresses.size()), test.macroblocks);
    EXPECT_EQ(static_cast<int>(coverage.positions.size()), test.macroblocks);
    EXPECT_TRUE(coverage.inside);
  }
}

TEST(PlacementTables, WorkedExamples) {
  const PlacementTables& tables = BuildPlacementTables();
  EXPECT_EQ(tables.blockAddress[0][BlockAddressIndex(0, 0, 3, 0)], 800u);
  const MacroblockPosition system1 =
      tables.macroblockPosition[0][MacroblockPositionIndex(0, 0, 3, 0)];
  EXPECT_EQ(system1.x, 0);
  EXPECT_EQ(system1.y, 64);

  const MacroblockPosition system3 =
      tables.macroblockPosition[2][MacroblockPositionIndex(0, 11, 4, 26)];
  EXPECT_EQ(system3.x, 704);  // rendered at columns 1408..1439
  EXPECT_EQ(system3.y, 1072);
  // The extra slot of system 3 reads sequence 11, macroblock 5s + m.
  EXPECT_EQ(tables.blockAddress[2][BlockAddressIndex(0, 11, 4, 26)],
            static_cast<std::uint32_t>((11 * 150 + 7 + 16 * 8 + 14) * 80));

  const MacroblockPosition system2 =
      tables.macroblockPosition[1][MacroblockPositionIndex(1, 0, 0, 0)];
  EXPECT_EQ(system2.x, 480);
  EXPECT_EQ(system2.y, 144);
}

TEST(PlacementTables, SecondChannelPairPutsTheSameBlocksElsewhere) {
  // Channels 2/3 of a 720-line sample read the same sequences as channels 0/1, in other places.
  const PlacementTables& tables = BuildPlacementTables();
  int moved = 0;
  for (int q = 0; q < 10; ++q) {
    for (int s = 0; s < 27; ++s) {
      const std::uint32_t address = tables.blockAddress[1][BlockAddressIndex(2, q, 0, s)];
      for (int q2 = 0; q2 < 10; ++q2) {
        if (tables.blockAddress[1][BlockAddressIndex(0, q2, 0, s)] != address) continue;
        const auto a = tables.macroblockPosition[1][MacroblockPositionIndex(0, q2, 0, s)];
        const auto b = tables.macroblockPosition[1][MacroblockPositionIndex(2, q, 0, s)];
        if (a.x != b.x || a.y != b.y) ++moved;
      }
    }
  }
  EXPECT_GT(moved, 0);
}

}  // namespace
}  // namespace halvaris
