#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "planes/thinning.h"

using imaging::ThinningOrder8x8;
using imaging::ThinSolidAreas;

namespace {

struct Plane {
  LONG stride, rows;
  std::vector<BYTE> bytes;
  // A page starts with a white top margin; the rest holds the pattern.
  Plane(LONG s, LONG r, BYTE fill, LONG margin = 8) : stride(s), rows(r), bytes(static_cast<size_t>(s) * r, fill) {
    std::fill(bytes.begin(), bytes.begin() + static_cast<size_t>(s) * margin, 0);
  }
  bool Ink(LONG x, LONG y) const { return (bytes[static_cast<size_t>(y) * stride + x / 8] >> (7 - x % 8)) & 1; }
};

TEST(ThinningCurve, MapsCoverageToRemovalLevel) {
  struct Case {
    bool photo;
    int inkPixels;
    DWORD level;
  } cases[] = {
      {false, 0, 0},    {false, 55, 0},  // 24 %: below the screen threshold
      {false, 57, 0},                     // 25 %: threshold itself removes nothing
      {false, 113, 16},                   // 50 %: 50/75 x 25
      {false, 225, 50}, {true, 113, 0},   // photo threshold is 52 %
      {true, 225, 50},  {true, 180, 29},  // 80 %: 50/48 x 28
  };
  for (const auto& c : cases) {
    DWORD curve[226];
    imaging::BuildThinningCurve(c.photo, curve);
    EXPECT_EQ(curve[c.inkPixels], c.level) << "photo " << c.photo << " ink " << c.inkPixels;
  }
}

TEST(ThinSolidAreas, FullInkLosesTheLowerHalfOfTheOrderAndKeepsTheLastRows) {
  Plane p(8, 48, 0xFF);  // 64 x 48, ink below an 8-row margin
  ASSERT_TRUE(ThinSolidAreas(false, p.bytes.data(), p.stride, p.rows));
  // Rows whose 15-row window lies inside the ink see a full window (level
  // 50) however much was removed above them: removals never feed back.
  for (LONG r = 15; r <= p.rows - 16; ++r) {
    const int q = (p.rows - 14 - r) % 8;
    for (LONG x = 0; x < 64; ++x)
      ASSERT_EQ(p.Ink(x, r), ThinningOrder8x8[q][7 - x % 8] > 50) << "row " << r << " x " << x;
  }
  for (LONG r = p.rows - 15; r < p.rows; ++r)
    for (LONG x = 0; x < 64; ++x) ASSERT_TRUE(p.Ink(x, r)) << "row " << r;
}

int RemovedDots(BYTE pattern, bool photo) {
  Plane p(8, 40, pattern);
  EXPECT_TRUE(ThinSolidAreas(photo, p.bytes.data(), p.stride, p.rows));
  int removed = 0;
  for (size_t i = 8 * 8; i < p.bytes.size(); ++i) {
    removed += __builtin_popcount(static_cast<BYTE>(pattern & ~p.bytes[i]));
    EXPECT_EQ(p.bytes[i] & ~pattern, 0) << "thinning never adds ink";
  }
  return removed;
}

TEST(ThinSolidAreas, CoverageBelowTheThresholdIsLeftAlone) {
  // 0x10: one column in eight (13 %); 0x55: half the columns (53 % window).
  EXPECT_EQ(RemovedDots(0x10, false), 0);
  EXPECT_EQ(RemovedDots(0x10, true), 0);
  const int screen = RemovedDots(0x55, false);
  const int photo = RemovedDots(0x55, true);
  EXPECT_GT(screen, 0);
  EXPECT_LT(photo, screen) << "photos keep more dots at the same coverage";
}

TEST(ThinSolidAreas, PlanesTooShortForTheWindowAreLeftAsTheyAre) {
  Plane p(4, 15, 0xFF, 0);
  ASSERT_TRUE(ThinSolidAreas(false, p.bytes.data(), p.stride, p.rows));
  for (BYTE b : p.bytes) ASSERT_EQ(b, 0xFF);
}

}  // namespace
