#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "imaging/screens.h"
#include "imaging/threshold_matrices.h"

using namespace imaging;

namespace {

struct Built {
  LONG side = 0;
  std::vector<BYTE> tile, coverage;
};

Built Build(const ScreenSpec& params) {
  Built b;
  const auto bytes = ScreenTileBytes(params);
  EXPECT_TRUE(bytes);
  b.tile.assign(*bytes, 0);
  b.coverage.assign(*bytes, 0);
  EXPECT_TRUE(BuildScreen(params, b.tile.data(), b.tile.size(), &b.side, b.coverage.data()));
  return b;
}

TEST(ScreenVector, FromResolutionLinesAndAngle) {
  struct Case {
    int dpi, lines, angle, mode, x, y;
  } cases[] = {
      {600, 100, 45, 0, 4, 4},  {600, 100, 0, 0, 6, 0},   {600, 200, 0, 0, 3, 0},   {600, 100, 90, 0, 0, 6},
      {600, 85, 30, 0, 6, 4},   {600, 85, 30, 2, 6, 4},   {600, 100, 45, 2, 4, 4},  {600, 150, 0, 2, 4, 0},
      {300, 100, 45, 0, 2, 2},  {600, 0, 15, 0, 4, 4},    // no lines: 100 at 45
      {600, 5, 45, 0, 4, 4},    // x + y above 49
      {600, 100, 135, 0, 4, 4}, {600, 100, -45, 0, 4, 4},  // folded to 45
      {600, 100, 450, 0, 6, 0}, {20, 100, 45, 0, 1, 1},   // nothing fits: the least vector
  };
  for (const auto& c : cases) {
    const ScreenVector v = ComputeScreenVector(c.dpi, c.lines, c.angle, c.mode);
    EXPECT_EQ(v.x, c.x) << c.dpi << " " << c.lines << " " << c.angle << " " << c.mode;
    EXPECT_EQ(v.y, c.y) << c.dpi << " " << c.lines << " " << c.angle << " " << c.mode;
  }
  EXPECT_EQ(GreatestCommonDivisor(12, 0), 12);
  EXPECT_EQ(GreatestCommonDivisor(0, 8), 8);
  EXPECT_EQ(GreatestCommonDivisor(12, 8), 4);
  EXPECT_EQ(GreatestCommonDivisor(0, 0), 0);
}

TEST(ScreenLevels, StepsOfAbout256OverN) {
  BYTE levels[3000];
  ASSERT_EQ(ScreenLevels({4, 4}, 0, levels, 3000), 32);
  EXPECT_EQ(levels[0], 1);
  EXPECT_EQ(levels[1], 9);
  EXPECT_EQ(levels[2], 17);
  EXPECT_EQ(levels[31], 1 + 248 - 7);  // 1 + floor(256 x 32 / 33) - floor(256 / 33)
  ASSERT_EQ(ScreenLevels({40, 9}, 0, levels, 3000), 1681);
  EXPECT_EQ(levels[1680], 254) << "capped";
  EXPECT_TRUE(std::is_sorted(levels, levels + 1681));
  EXPECT_EQ(ScreenLevels({4, 4}, 2, levels, 3000), 16);
}

TEST(BuildScreen, FortyFiveDegreesAtSixHundred) {
  const Built b = Build({.dpi = 600, .lines = 100, .angle = 45});
  ASSERT_EQ(b.side, 16);
  std::set<BYTE> values(b.tile.begin(), b.tile.end());
  EXPECT_EQ(values.size(), 32u) << "one cell of 32 levels, no sub-levels";
  EXPECT_EQ(*values.begin(), 1);
  // The dot grows from the centre: the lowest threshold has lower neighbours
  // than the highest.
  const auto at = [&](int c, int r) { return b.tile[((r % 16 + 16) % 16) * 16 + (c % 16 + 16) % 16]; };
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c)
      if (at(c, r) == 1) {
        EXPECT_LT(at(c + 1, r) + at(c, r + 1) + at(c - 1, r) + at(c, r - 1), 4 * 60);
      }
}

TEST(BuildScreen, AngleZeroIsASquareCellOfSideTwoX) {
  const Built b = Build({.dpi = 600, .lines = 100, .angle = 0});
  ASSERT_EQ(b.side, 12);
  // Each 6 x 6 block holds every level of the cell once.
  for (int by = 0; by < 12; by += 6)
    for (int bx = 0; bx < 12; bx += 6) {
      std::multiset<BYTE> block;
      for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) block.insert(b.tile[(by + (r + 1) % 12 % 12) % 12 * 12 + bx + c]);
      EXPECT_EQ(std::set<BYTE>(block.begin(), block.end()).size(), 36u);
    }
}

TEST(BuildScreen, EveryTilePositionIsCoveredOnce) {
  for (int dpi : {300, 600}) {
    for (int lines : {53, 85, 100, 133, 200}) {
      for (int angle : {0, 15, 30, 45, 60, 75, 90}) {
        for (int mode : {0, 1, 2}) {
          for (int orientation : {0, 90}) {
            for (bool smooth : {false, true}) {
              const ScreenSpec params{dpi, lines, angle, mode, orientation, smooth, false};
              const Built b = Build(params);
              ASSERT_GT(b.side, 0);
              for (LONG i = 0; i < b.side * b.side; ++i) {
                ASSERT_EQ(b.coverage[i], 1) << dpi << "/" << lines << "/" << angle << " mode " << mode << " at " << i;
                ASSERT_NE(b.tile[i], 0);
              }
            }
          }
        }
      }
    }
  }
}

TEST(BuildScreen, ResolutionModeTwoPairsColumnsOrRows) {
  for (int orientation : {0, 90}) {
    for (int angle : {0, 30, 45}) {
      const Built b = Build({.dpi = 600, .lines = 100, .angle = angle, .resolutionMode = 2, .orientation = orientation, .smooth = true});
      ASSERT_EQ(b.side % 2, 0);
      for (LONG r = 0; r < b.side; ++r)
        for (LONG c = 0; c < b.side; c += 1) {
          const BYTE self = b.tile[r * b.side + c];
          if (orientation == 0 && c % 2 == 0) {
            ASSERT_EQ(self, b.tile[r * b.side + c + 1]) << angle << " row " << r << " col " << c;
          }
          if (orientation == 90 && r % 2 == 0) {
            ASSERT_EQ(self, b.tile[(r + 1) * b.side + c]) << angle << " row " << r << " col " << c;
          }
        }
    }
  }
}

// Without sub-levels every copy of the cell carries the same thresholds; with
// them, copies of one level take different values, never fewer distinct.
TEST(BuildScreen, SubLevels) {
  const Built plain = Build({.dpi = 600, .lines = 100, .angle = 45, .smooth = false});
  const Built smooth = Build({.dpi = 600, .lines = 100, .angle = 45, .smooth = true});
  std::map<BYTE, std::set<BYTE>> split;  // plain threshold -> smooth values at the same positions
  for (size_t i = 0; i < plain.tile.size(); ++i) split[plain.tile[i]].insert(smooth.tile[i]);
  EXPECT_EQ(split.size(), 32u);
  EXPECT_EQ(split.begin()->second.size(), 1u) << "the smallest level keeps its value";
  EXPECT_EQ(split[9], (std::set<BYTE>{9, 11, 13, 15})) << "four sub-levels, g = 8";
  for (const auto& [t, subs] : split) EXPECT_TRUE(subs.count(t)) << int(t);
  // More than 127 distinct levels: no sub-levels whatever the setting.
  const Built many = Build({.dpi = 600, .lines = 50, .angle = 30, .smooth = true});
  const Built manyPlain = Build({.dpi = 600, .lines = 50, .angle = 30, .smooth = false});
  EXPECT_EQ(many.tile, manyPlain.tile);
}

TEST(BuildScreen, FixedMatricesReplaceTheGeneratedTile) {
  struct Case {
    int lines, angle, mode, orientation;
    const BYTE* matrix;
    LONG side;
  } cases[] = {
      {200, 0, 0, 0, &FixedScreen8x8[0][0], 8},  // generated side 6: the matrix must still fit
      {100, 45, 1, 90, &FixedScreen8x8[0][0], 8},
      {100, 45, 2, 0, &FixedScreen12x12Wide[0][0], 12},
      {200, 0, 2, 90, &FixedScreen12x12Tall[0][0], 12},
  };
  for (const auto& c : cases) {
    const ScreenSpec params{600, c.lines, c.angle, c.mode, c.orientation, false, true};
    const auto bytes = ScreenTileBytes(params);
    ASSERT_TRUE(bytes);
    EXPECT_GE(*bytes, size_t(c.side * c.side));
    std::vector<BYTE> tile(*bytes, 0);
    LONG side = 0;
    ASSERT_TRUE(BuildScreen(params, tile.data(), tile.size(), &side));
    ASSERT_EQ(side, c.side);
    EXPECT_TRUE(std::equal(c.matrix, c.matrix + c.side * c.side, tile.begin()));
    LONG ignored = 0;
    EXPECT_FALSE(BuildScreen(params, tile.data(), size_t(c.side * c.side - 1), &ignored)) << "buffer too small";
  }
  // The matrices as listed: 187 and 251 twice, 183 and 255 absent; the tall
  // one is not the transpose of the wide one.
  std::multiset<BYTE> values(&FixedScreen8x8[0][0], &FixedScreen8x8[0][0] + 64);
  EXPECT_EQ(values.count(187), 2u);
  EXPECT_EQ(values.count(251), 2u);
  EXPECT_EQ(values.count(183), 0u);
  EXPECT_EQ(values.count(255), 0u);
  EXPECT_EQ(&BrushDither8x8[0][0], &FixedScreen8x8[0][0]);
  bool transposed = true;
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 12; ++c) transposed = transposed && FixedScreen12x12Tall[r][c] == FixedScreen12x12Wide[c][r];
  EXPECT_FALSE(transposed);
  EXPECT_EQ(FixedScreen12x12Tall[1][3], 107);
  EXPECT_EQ(FixedScreen12x12Wide[3][1], 107);
}

}  // namespace
