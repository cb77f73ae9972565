// Two-ink separation: grid families, the lookup, the line corrections and
// mask mode.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <random>
#include <vector>

#include "imaging/separation.h"
#include "planes/colour_classes.h"
#include "support/peer.h"
#include "support/python_peer.h"

namespace {

std::array<std::uint8_t, 256> Identity() {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  return t;
}
const std::array<std::uint8_t, 256> kIdentity = Identity();

SeparationGrid BuiltGrid(int mode) {
  SeparationGrid grid{};
  const SeparationCurves curves{kIdentity.data(), kIdentity.data()};
  EnsureSeparationGrid(grid, mode, curves, kIdentity.data());
  return grid;
}

// A grid holding the same pair everywhere, so the lookup returns it exactly.
SeparationGrid ConstantGrid(std::uint8_t p1, std::uint8_t p2) {
  SeparationGrid grid{};
  for (std::size_t i = 0; i < SeparationGrid::kEntries; ++i) {
    grid.entries[2 * i] = p1;
    grid.entries[2 * i + 1] = p2;
  }
  grid.preMap = kIdentity;
  grid.built = true;
  return grid;
}

SeparationLine Line(int mode, int l1 = 100, int l2 = 100) {
  SeparationLine line;
  line.mode = mode;
  line.toneCurve = kIdentity.data();
  line.drum1Lightness = l1;
  line.drum2Lightness = l2;
  line.darkerDrumStrength = DarkerDrumStrength(l2);
  return line;
}

std::pair<int, int> SeparateOne(SeparationGrid& grid, const SeparationLine& line, std::uint8_t r, std::uint8_t g,
                                std::uint8_t b) {
  const std::uint8_t bgr[3] = {b, g, r};
  std::uint8_t p1 = 7, p2 = 7;
  SeparateLineTwoPlates(&grid, line, bgr, 1, &p1, &p2);
  return {p1, p2};
}

TEST(SeparationFamilies, HandWorkedPoints) {
  const std::uint8_t* id = kIdentity.data();
  struct Case {
    const char* name;
    int dr, dg, db;
    PlatePair a, b, c;
  };
  const Case cases[] = {
      {"white", 0, 0, 0, {0, 0}, {0, 0}, {0, 0}},
      {"black", 255, 255, 255, {0, 255}, {255, 255}, {218, 255}},
      {"red", 0, 255, 255, {255, 0}, {255, 0}, {255, 0}},
      {"blue", 255, 255, 0, {0, 218}, {0, 255}, {186, 218}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const PlatePair a = GridFamilyA(k.dr, k.dg, k.db);
    const PlatePair b = GridFamilyB(k.dr, k.dg, k.db, id, id);
    const PlatePair c = GridFamilyC(k.dr, k.dg, k.db, id);
    EXPECT_EQ(a.plate1, k.a.plate1);
    EXPECT_EQ(a.plate2, k.a.plate2);
    EXPECT_EQ(b.plate1, k.b.plate1);
    EXPECT_EQ(b.plate2, k.b.plate2);
    EXPECT_EQ(c.plate1, k.c.plate1);
    EXPECT_EQ(c.plate2, k.c.plate2);
  }
  for (int d = 0; d <= 255; d += 17) {
    const PlatePair grey = GridFamilyA(d, d, d);
    EXPECT_EQ(grey.plate1, 0);
    EXPECT_EQ(grey.plate2, d);
  }
}

TEST(SeparationFamilies, CurvesReadWithNegativeIndexesAtEntryZero) {
  std::array<std::uint8_t, 256> shifted{};
  for (int i = 0; i < 256; ++i) shifted[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i / 2 + 10);
  // Red: plate 2 index -170 reads entry 0.
  const PlatePair red = GridFamilyB(0, 255, 255, shifted.data(), shifted.data());
  EXPECT_EQ(red.plate1, 137);
  EXPECT_EQ(red.plate2, 10);
}

TEST(SeparationGridTest, LayoutAndFirstModeKept) {
  SeparationGrid grid = BuiltGrid(2);
  ASSERT_EQ(grid.entries.size(), 71874u);
  auto at = [&](int r, int g, int b) {
    const std::size_t i = 2 * static_cast<std::size_t>(r * 1089 + g * 33 + b);
    return std::pair<int, int>(grid.entries[i], grid.entries[i + 1]);
  };
  EXPECT_EQ(at(0, 0, 0), (std::pair<int, int>(0, 255)));
  EXPECT_EQ(at(32, 0, 0), (std::pair<int, int>(255, 0)));
  EXPECT_EQ(at(32, 32, 32), (std::pair<int, int>(0, 0)));
  EXPECT_EQ(at(12, 12, 12), (std::pair<int, int>(0, 159)));
  // A later picture in another mode keeps the first family.
  const SeparationCurves curves{kIdentity.data(), kIdentity.data()};
  EnsureSeparationGrid(grid, 4, curves, kIdentity.data());
  EXPECT_EQ(at(0, 0, 0), (std::pair<int, int>(0, 255)));
}

TEST(SeparationLookup, GreysFollowTheDiagonal) {
  const SeparationGrid grid = BuiltGrid(2);
  struct Case {
    int v, plate2;
  };
  // v = 100 sits midway between 96 (density 159) and 104 (density 151).
  const Case cases[] = {{100, 155}, {96, 159}, {0, 255}, {255, 0}, {250, 6}, {98, 158}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.v);
    const PlatePair p = TrilinearLookup(grid, k.v, k.v, k.v);
    EXPECT_EQ(p.plate1, 0);
    EXPECT_EQ(p.plate2, k.plate2);
  }
}

TEST(SeparationLookup, AgreesWithScipyInterpolator) {
  const std::string python = testsupport::PythonWith("numpy, scipy");
  REQUIRE_PEER(!python.empty(), "python3-numpy and python3-scipy");
  testsupport::ScratchDir dir("separation_peer");
  const SeparationGrid grid = BuiltGrid(2);
  std::mt19937 random(18);
  std::vector<std::array<int, 3>> points;
  while (points.size() < 10000) {
    std::array<int, 3> p{static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                         static_cast<int>(random() % 256)};
    if (p[0] == p[1] && p[1] == p[2]) continue;
    points.push_back(p);
  }
  {
    std::ofstream g(dir.File("grid.txt"));
    for (std::uint8_t e : grid.entries) g << int(e) << '\n';
    std::ofstream q(dir.File("points.txt"));
    for (const auto& p : points) q << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
  }
  const std::string script = dir.File("peer.py");
  {
    std::ofstream s(script);
    s << "import numpy as np\n"
         "from scipy.interpolate import RegularGridInterpolator\n"
         "import sys\n"
         "g = np.loadtxt(sys.argv[1]).reshape(33, 33, 33, 2)\n"
         "axis = [8 * k for k in range(32)] + [255]\n"
         "p = np.loadtxt(sys.argv[2])\n"
         "out = np.stack([RegularGridInterpolator((axis, axis, axis), g[..., i])(p) for i in range(2)], 1)\n"
         "np.savetxt(sys.argv[3], out)\n";
  }
  ASSERT_EQ(std::system((python + " " + script + " " + dir.File("grid.txt") + " " + dir.File("points.txt") + " " + dir.File("out.txt")).c_str()), 0);
  std::ifstream in(dir.File("out.txt"));
  for (const auto& p : points) {
    double e1 = 0, e2 = 0;
    ASSERT_TRUE(in >> e1 >> e2);
    const PlatePair got = TrilinearLookup(grid, p[0], p[1], p[2]);
    ASSERT_NEAR(got.plate1, e1, 1.0) << p[0] << ',' << p[1] << ',' << p[2];
    ASSERT_NEAR(got.plate2, e2, 1.0) << p[0] << ',' << p[1] << ',' << p[2];
  }
}

// Non-grey colours: the truncated weighted mean of the cell's eight corners,
// each weighing the volume of the sub-box opposite it, over the cell volume
// (the last cell of each axis is 7 wide); on random grids and on a grid full
// of 255, at the cell edges and at random.
TEST(SeparationLookup, TruncatedMeanOfTheCellCorners) {
  std::mt19937 random(7);
  SeparationGrid full = ConstantGrid(255, 255);
  SeparationGrid noisy = ConstantGrid(0, 0);
  for (std::uint8_t& e : noisy.entries) e = static_cast<std::uint8_t>(random() % 256);
  std::vector<std::array<int, 3>> points;
  const int edges[] = {0, 1, 7, 8, 9, 100, 247, 248, 249, 254, 255};
  for (int r : edges)
    for (int g : edges)
      for (int b : edges) points.push_back({r, g, b});
  for (int i = 0; i < 20000; ++i)
    points.push_back({static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                      static_cast<int>(random() % 256)});
  for (const SeparationGrid* grid : {&full, &noisy}) {
    for (const auto& v : points) {
      if (v[0] == v[1] && v[1] == v[2]) continue;
      long long sums[2] = {0, 0}, volume = 1;
      int k[3], toLow[3], size[3];
      for (int c = 0; c < 3; ++c) {
        k[c] = v[c] / 8;
        size[c] = k[c] == 31 ? 7 : 8;
        toLow[c] = v[c] - 8 * k[c];
        volume *= size[c];
      }
      for (int corner = 0; corner < 8; ++corner) {
        long long weight = 1;
        std::size_t at = 0;
        for (int c = 0; c < 3; ++c) {
          const int high = (corner >> (2 - c)) & 1;
          weight *= high ? toLow[c] : size[c] - toLow[c];
          at = at * 33 + static_cast<std::size_t>(k[c] + high);
        }
        sums[0] += weight * grid->entries[2 * at];
        sums[1] += weight * grid->entries[2 * at + 1];
      }
      const PlatePair got = TrilinearLookup(*grid, v[0], v[1], v[2]);
      ASSERT_EQ(got.plate1, sums[0] / volume) << v[0] << ',' << v[1] << ',' << v[2];
      ASSERT_EQ(got.plate2, sums[1] / volume) << v[0] << ',' << v[1] << ',' << v[2];
    }
  }
}

TEST(SeparationCorrections, Formulas) {
  struct Boost {
    int a, b, result;
  };
  const Boost boosts[] = {{0, 77, 77}, {100, 100, 104}, {128, 200, 211}, {255, 200, 222}, {255, 255, 255}};
  for (const Boost& k : boosts) EXPECT_EQ(BoostOverprint(k.a, k.b), k.result) << k.a << ' ' << k.b;
  // The cut applies only above 128 on the darker plate.
  struct Cut {
    int a, b, c, result;
  };
  const Cut cuts[] = {{255, 255, 32, 32}, {128, 200, 32, 200}, {129, 200, 32, 199}, {255, 200, 255, 200},
                      {192, 100, 88, 67}};
  for (const Cut& k : cuts) EXPECT_EQ(DarkerDrumCut(k.a, k.b, k.c), k.result) << k.a << ' ' << k.b << ' ' << k.c;
  EXPECT_EQ(DarkerDrumStrength(34), 32);
  EXPECT_EQ(DarkerDrumStrength(35), 32);
  EXPECT_EQ(DarkerDrumStrength(40), 88);
  EXPECT_EQ(DarkerDrumStrength(55), 255);
}

TEST(SeparationCorrections, PerLine) {
  struct Case {
    const char* name;
    int mode, l1, l2;
    std::uint8_t g1, g2;
    int p1, p2;
  };
  const Case cases[] = {
      {"plate 2 at 128 after boost: no cut", 2, 60, 40, 200, 118, 200, 128},
      {"plate 2 at 129: cut", 2, 60, 40, 200, 119, 199, 129},
      {"drum 2 as light as drum 1", 2, 40, 40, 200, 119, 200, 129},
      {"drum 2 at 55", 2, 90, 55, 200, 250, 200, 255},
      {"drum 2 at 54", 2, 90, 54, 200, 250, 191, 255},
      {"family 2 mode", 3, 60, 40, 200, 119, 199, 129},
      {"exchanged mode 5", 5, 60, 40, 119, 200, 129, 199},
      {"exchanged mode 7", 7, 60, 40, 119, 200, 129, 199},
      {"same pair in mode 2", 2, 60, 40, 119, 200, 69, 210},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SeparationGrid grid = ConstantGrid(k.g1, k.g2);
    EXPECT_EQ(SeparateOne(grid, Line(k.mode, k.l1, k.l2), 90, 140, 200), (std::pair<int, int>(k.p1, k.p2)));
  }
}

TEST(SeparationLine, PreMapAndToneCurve) {
  SeparationGrid grid = BuiltGrid(2);
  grid.preMap.fill(255);  // every density to full: white becomes black
  SeparationLine line = Line(2);
  EXPECT_EQ(SeparateOne(grid, line, 255, 255, 255), (std::pair<int, int>(0, 255)));
  line.skipPreMap = true;
  EXPECT_EQ(SeparateOne(grid, line, 255, 255, 255), (std::pair<int, int>(0, 0)));
  std::array<std::uint8_t, 256> half{};
  for (int i = 0; i < 256; ++i) half[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i / 2);
  line.toneCurve = half.data();
  EXPECT_EQ(SeparateOne(grid, line, 0, 0, 0), (std::pair<int, int>(0, 127)));
  EXPECT_EQ(SeparateOne(grid, line, 255, 0, 0), (std::pair<int, int>(127, 0)));
  EXPECT_EQ(SeparationToneCurveIndex(0, 2), 16);
  EXPECT_EQ(SeparationToneCurveIndex(1, 2), 18);
  EXPECT_EQ(SeparationToneCurveIndex(1, 1), 17);
}

TEST(SeparationLine, ClassModesAndMask) {
  SeparationGrid grid{};  // the class modes need no grid
  const std::uint8_t colours[][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 60}, {40, 160, 40}, {30, 20, 10}};
  for (int mode = 8; mode <= 17; ++mode) {
    for (const auto& c : colours) {
      SCOPED_TRACE(mode * 1000 + c[0]);
      std::uint8_t plate = 0, density = 0;
      ClassifyColourForPlates(mode + 50, c[0], c[1], c[2], 0, &plate, &density);
      SeparationLine line = Line(mode, 60, 40);
      EXPECT_EQ(SeparateOne(grid, line, c[0], c[1], c[2]),
                (std::pair<int, int>(plate == 1 ? density : 0, plate == 1 ? 0 : density)));
      line.maskMode = true;
      const int ink = (c[0] | c[1] | c[2]) == 0 ? 255 : 0;
      EXPECT_EQ(SeparateOne(grid, line, c[0], c[1], c[2]), (std::pair<int, int>(ink, ink)));
    }
  }
}

TEST(SeparationLine, MaskedLinePatchesBlackOnlyForItsLine) {
  for (int mode : {2, 5}) {
    SCOPED_TRACE(mode);
    SeparationGrid grid = BuiltGrid(2);
    SeparationLine line = Line(mode, 60, 40);
    line.maskMode = true;
    EXPECT_EQ(SeparateOne(grid, line, 0, 0, 0), (std::pair<int, int>(255, 255)));
    EXPECT_EQ(grid.entries[0], 0);
    EXPECT_EQ(grid.entries[1], 255);
    line.maskMode = false;
    EXPECT_EQ(SeparateOne(grid, line, 0, 0, 0).first, 0);
  }
  // Other families leave entry 0 alone even when masked.
  SeparationGrid grid = BuiltGrid(3);
  SeparationLine line = Line(3);
  line.maskMode = true;
  EXPECT_EQ(SeparateOne(grid, line, 0, 0, 0), (std::pair<int, int>(255, 255)));
}

TEST(SeparationLine, UnbuiltGridAndOneInkModesGiveNoInk) {
  SeparationGrid grid{};
  for (int mode : {0, 1, 2, 7, 18, -1}) EXPECT_EQ(SeparateOne(grid, Line(mode), 0, 0, 0), (std::pair<int, int>(0, 0)));
}

TEST(SeparationMask, Decision) {
  struct Case {
    int blit;
    std::uint32_t rop4;
    std::uint8_t bw;
    bool mask;
  };
  const Case cases[] = {
      {0, 0xCCCC, 0, false}, {0, 0xBBBB, 0, true},  {0, 0xEEEE, 0, true},  {0, 0x8888, 0, false},
      {0, 0x8888, 1, true},  {0, 0x6666, 1, true},  {0, 0x6666, 2, false}, {1, 0xCCCC, 0, true},
      {3, 0xCCCC, 0, true},  {2, 0xBBBB, 1, false}, {4, 0xEEEE, 0, false},
  };
  for (const Case& k : cases) EXPECT_EQ(IsSeparationMaskMode(k.blit, k.rop4, k.bw), k.mask) << k.blit << ' ' << k.rop4;
}

TEST(SeparationModeFlagsTest, Tables) {
  for (int mode = 0; mode < 20; ++mode) {
    const auto m = static_cast<std::size_t>(mode);
    EXPECT_EQ(kSeparationModeFlags.fixedMatrix[m], mode >= 8 && mode <= 17 ? 1 : 0) << mode;
    EXPECT_EQ(kSeparationModeFlags.exchangePlanes[m], mode >= 5 && mode <= 7 ? 1 : 0) << mode;
  }
}

}  // namespace
