#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <vector>

#include "imaging/netpbm_files.h"
#include "imaging/screen_dither.h"
#include "imaging/screens.h"
#include "imaging/threshold_matrices.h"
#include "support/peer.h"

using namespace imaging;

namespace {

struct Tile {
  std::vector<BYTE> data;
  LONG side = 0;
  ScreenTile view() const { return {data.data(), side}; }
};

Tile MakeTile(const ScreenSpec& params) {
  Tile t;
  t.data.assign(*ScreenTileBytes(params), 0);
  EXPECT_TRUE(BuildScreen(params, t.data.data(), t.data.size(), &t.side));
  return t;
}

struct Density {
  LONG width, height;
  std::vector<BYTE> data;
  DensityImage view() const { return {data.data(), width, height, width}; }
  BYTE at(LONG x, LONG y) const { return data[size_t(y) * width + x]; }
};

// A photo-like density: gradients, waves and noise over every value.
Density MakeDensity(LONG w, LONG h, unsigned seed = 1) {
  Density d{w, h, std::vector<BYTE>(size_t(w) * h)};
  std::mt19937 rng(seed);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      const int v = int(255.0 * x / std::max<LONG>(w - 1, 1)) + int(40 * std::sin(y * 0.3)) + int(rng() % 21) - 10;
      d.data[size_t(y) * w + x] = BYTE(std::clamp(v, 0, 255));
    }
  return d;
}

struct Band {
  LONG stride, rows;
  POINTL origin;
  std::vector<BYTE> bits;
  Band(LONG widthPixels, LONG r, POINTL o = {0, 0}, BYTE fill = 0xFF)
      : stride((widthPixels + 31) / 32 * 4), rows(r), origin(o), bits(size_t(stride) * r, fill) {}
  BandBuffer view() { return {bits.data(), stride, rows, origin}; }
  bool Ink(LONG x, LONG y) const { return !((bits[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1); }
};

TEST(DitherScreenPlain, EmptyFullAndFixedMatrix) {
  const Tile tile = MakeTile({});
  const Density white{20, 10, std::vector<BYTE>(200, 0)}, black{20, 10, std::vector<BYTE>(200, 255)};
  Band a(20, 10, {0, 0}, 0x00);
  ASSERT_TRUE(DitherScreenPlain(white.view(), a.view(), {0, 0, 19, 9}, tile.view()));
  for (LONG y = 0; y < 10; ++y)
    for (LONG x = 0; x < 20; ++x) EXPECT_FALSE(a.Ink(x, y));
  Band b(20, 10);
  DitherScreenPlain(black.view(), b.view(), {0, 0, 19, 9}, tile.view());
  for (LONG y = 0; y < 10; ++y)
    for (LONG x = 0; x < 20; ++x) EXPECT_EQ(b.Ink(x, y), tile.data[(y % 16) * 16 + x % 16] < 255);
  Band c(20, 10);
  DitherScreenPlain(black.view(), c.view(), {0, 0, 19, 9}, {&FixedScreen8x8[0][0], 8});
  for (LONG y = 0; y < 10; ++y)
    for (LONG x = 0; x < 20; ++x) EXPECT_TRUE(c.Ink(x, y)) << "255 is solid through the fixed matrix";
}

TEST(DitherScreenPlain, EdgesOfTheRectangle) {
  const Tile tile = MakeTile({});
  const Density black{10, 2, std::vector<BYTE>(20, 255)};
  Band band(64, 2, {0, 0}, 0x00);  // all ink before
  DitherScreenPlain(black.view(), band.view(), {3, 0, 12, 1}, tile.view());
  for (LONG y = 0; y < 2; ++y) {
    for (LONG x = 0; x < 3; ++x) EXPECT_TRUE(band.Ink(x, y)) << "left of the rectangle kept";
    for (LONG x = 13; x < 16; ++x) EXPECT_FALSE(band.Ink(x, y)) << "right of the rectangle in its last byte turns white";
    for (LONG x = 16; x < 64; ++x) EXPECT_TRUE(band.Ink(x, y)) << "bytes beyond untouched";
  }
  // A rectangle beyond the band is cut to it: nothing outside is written.
  Band small(8, 2, {0, 0}, 0x00);
  small.bits.push_back(0x00);
  DitherScreenPlain(black.view(), small.view(), {-4, -1, 40, 9}, tile.view());
  EXPECT_EQ(small.bits.back(), 0x00);
}

// Pieces drawn with their band origins join without a seam: halves across,
// halves down, and a start left of and above the buffer.
TEST(DitherScreen, PiecesEqualTheWhole) {
  const Density d = MakeDensity(93, 41);
  for (int mode : {0, 2}) {
    for (int orientation : {0, 90}) {
      const ScreenSpec params{600, 100, 45, mode, orientation, true, false};
      const Tile tile = MakeTile(params);
      DitherContext ctx{mode, orientation, false, 1000, 0};
      const POINTL origin{37, 12};
      Band whole(93, 41, origin);
      ASSERT_TRUE(DitherByScreen(ctx, d.view(), whole.view(), {0, 0, 92, 40}, tile.view()));

      // Left and right halves as two images, cut on a pair boundary (an
      // even page column).
      const LONG split = (origin.x + 48) % 2 == 0 ? 48 : 49;
      Density left{split, 41, {}}, right{93 - split, 41, {}};
      for (LONG y = 0; y < 41; ++y)
        for (LONG x = 0; x < 93; ++x) (x < split ? left.data : right.data).push_back(d.at(x, y));
      Band a(93, 41, origin);
      DitherByScreen(ctx, left.view(), a.view(), {0, 0, split - 1, 40}, tile.view());
      Band b(93 - split, 41, {origin.x + split, origin.y});
      DitherByScreen(ctx, right.view(), b.view(), {0, 0, 93 - split - 1, 40}, tile.view());
      for (LONG y = 0; y < 41; ++y)
        for (LONG x = 0; x < 93; ++x)
          ASSERT_EQ(x < split ? a.Ink(x, y) : b.Ink(x - split, y), whole.Ink(x, y)) << mode << "/" << orientation << " " << x << "," << y;

      // Top and bottom halves in two bands, cut on a pair boundary.
      const LONG rowCut = (1000 + origin.y + 20) % 2 == 0 ? 20 : 21;
      Density top{93, rowCut, {d.data.begin(), d.data.begin() + 93 * rowCut}};
      Density bottom{93, 41 - rowCut, {d.data.begin() + 93 * rowCut, d.data.end()}};
      Band t(93, rowCut, origin), u(93, 41 - rowCut, {origin.x, origin.y + rowCut});
      DitherByScreen(ctx, top.view(), t.view(), {0, 0, 92, rowCut - 1}, tile.view());
      DitherByScreen(ctx, bottom.view(), u.view(), {0, 0, 92, 41 - rowCut - 1}, tile.view());
      for (LONG y = 0; y < 41; ++y)
        for (LONG x = 0; x < 93; ++x)
          ASSERT_EQ(y < rowCut ? t.Ink(x, y) : u.Ink(x, y - rowCut), whole.Ink(x, y)) << mode << "/" << orientation;

      // Negative start: the buffer begins 6 columns and 4 rows into the image.
      Band late(93, 41, {origin.x + 6, origin.y + 4});
      DitherByScreen(ctx, d.view(), late.view(), {-6, -4, 86, 36}, tile.view());
      for (LONG y = 0; y < 37; ++y)
        for (LONG x = 0; x < 87; ++x) ASSERT_EQ(late.Ink(x, y), whole.Ink(x + 6, y + 4)) << mode << "/" << orientation;
    }
  }
}

// Target pixel k takes source pixel floor(k S / T): enlarged, reduced and
// equal-size dithers of the sampled image agree.
TEST(DitherScreenPlain, ScalesBySampling) {
  const Tile tile = MakeTile({.angle = 30});
  const Density d = MakeDensity(20, 14, 3);
  struct Case {
    LONG tw, th;
  } cases[] = {{60, 42}, {30, 21}, {13, 9}, {20, 14}, {7, 40}};
  for (const auto& c : cases) {
    Density sampled{c.tw, c.th, std::vector<BYTE>(size_t(c.tw) * c.th)};
    for (LONG y = 0; y < c.th; ++y)
      for (LONG x = 0; x < c.tw; ++x) sampled.data[size_t(y) * c.tw + x] = d.at(x * 20 / c.tw, y * 14 / c.th);
    Band scaled(c.tw + 5, c.th + 2, {3, 1}), direct(c.tw + 5, c.th + 2, {3, 1});
    DitherScreenPlain(d.view(), scaled.view(), {5, 2, 5 + c.tw - 1, 2 + c.th - 1}, tile.view());
    DitherScreenPlain(sampled.view(), direct.view(), {5, 2, 5 + c.tw - 1, 2 + c.th - 1}, tile.view());
    EXPECT_EQ(scaled.bits, direct.bits) << c.tw << "x" << c.th;
  }
}

TEST(DitherScreen, PairsDecideTogether) {
  const Density d = MakeDensity(40, 30, 5);
  const Tile tile = MakeTile({.resolutionMode = 2});
  Band smooth(40, 30, {1, 0});
  DitherScreenSmooth(d.view(), smooth.view(), {0, 0, 39, 29}, tile.view());
  // Absolute columns 2k, 2k + 1 pair: buffer columns 1-2, 3-4, ...; column 0
  // is a cut pair and decides alone.
  for (LONG y = 0; y < 30; ++y)
    for (LONG x = 1; x + 1 < 40; x += 2) ASSERT_EQ(smooth.Ink(x, y), smooth.Ink(x + 1, y)) << x << "," << y;

  Band inter(40, 30, {0, 3});
  const LONG pageHeight = 101;  // odd: row parity is (1 + page row)
  DitherScreenInterlaced(d.view(), inter.view(), {0, 0, 39, 29}, tile.view(), pageHeight, 0);
  // Page rows 3 + y; (1 + 3 + y) even for even y.
  for (LONG y = 0; y + 1 < 30; y += 2)
    for (LONG x = 0; x < 40; ++x) ASSERT_EQ(inter.Ink(x, y), inter.Ink(x, y + 1)) << x << "," << y;

  // A continued image starting on an odd row completes the row above.
  Band cont(40, 6, {0, 0}, 0x00);
  DitherScreenInterlaced(d.view(), cont.view(), {0, 3, 39, 5}, tile.view(), 100, 1);
  for (LONG x = 0; x < 40; ++x) EXPECT_EQ(cont.Ink(x, 2), cont.Ink(x, 3));
  Band alone(40, 6, {0, 0}, 0x00);
  DitherScreenInterlaced(d.view(), alone.view(), {0, 3, 39, 5}, tile.view(), 100, 0);
  for (LONG x = 0; x < 40; ++x) EXPECT_TRUE(alone.Ink(x, 2)) << "row above untouched without a carry";
}

TEST(DitherByScreen, PicksTheDitherByResolutionMode) {
  const Density d = MakeDensity(40, 30, 9);
  const Tile tile = MakeTile({.resolutionMode = 2});
  const PdevRect r{0, 0, 39, 29};
  auto run = [&](DitherContext ctx, BOOL* result) {
    Band b(40, 30, {0, 0}, 0x5A);
    *result = DitherByScreen(ctx, d.view(), b.view(), r, tile.view());
    return b.bits;
  };
  auto plainOf = [&]() {
    Band b(40, 30, {0, 0}, 0x5A);
    DitherScreenPlain(d.view(), b.view(), r, tile.view());
    return b.bits;
  };
  BOOL ok = FALSE;
  EXPECT_EQ(run({0, 0, false, 30, 0}, &ok), plainOf());
  EXPECT_EQ(run({2, 90, true, 30, 0}, &ok), plainOf()) << "a paint onto a mask stays plain";
  EXPECT_NE(run({2, 0, false, 30, 0}, &ok), plainOf());
  const auto untouched = run({3, 0, false, 30, 0}, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(untouched, std::vector<BYTE>(untouched.size(), 0x5A));
}

// Ghostscript draws the grey image 255 - d 1:1 at the page origin under the
// threshold array 255 - tile: the same pixels ink, except where d = t + 1,
// which the peer rounds the other way.
TEST(DitherScreenPlain, AgreesWithGhostscript) {
  REQUIRE_PEER(testsupport::HasProgram("gs"), "ghostscript");
  testsupport::ScratchDir dir;
  const LONG w = 157, h = 61;
  const Density d = MakeDensity(w, h, 11);
  for (const ScreenSpec params : {ScreenSpec{}, ScreenSpec{.lines = 85, .angle = 15, .smooth = true}}) {
    const Tile tile = MakeTile(params);
    Band ours(w, h);
    DitherScreenPlain(d.view(), ours.view(), {0, 0, w - 1, h - 1}, tile.view());

    std::ostringstream ps;
    ps << "<< /HalftoneType 3 /Width " << tile.side << " /Height " << tile.side << " /Thresholds <";
    char hex[4];
    for (BYTE t : tile.data) {
      std::snprintf(hex, sizeof hex, "%02x", 255 - t);
      ps << hex;
    }
    ps << "> >> sethalftone {} settransfer\n"
       << w << " 72 mul 600 div " << h << " 72 mul 600 div scale\n"
       << w << " " << h << " 8 [" << w << " 0 0 -" << h << " 0 " << h << "] currentfile /ASCIIHexDecode filter image\n";
    for (size_t i = 0; i < d.data.size(); ++i) {
      std::snprintf(hex, sizeof hex, "%02x", 255 - d.data[i]);
      ps << hex << ((i + 1) % 64 ? "" : "\n");
    }
    ps << ">\nshowpage\n";
    {
      std::ofstream(dir.File("in.ps")) << ps.str();
    }
    ASSERT_EQ(testsupport::Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw -r600 -g" + std::to_string(w) + "x" +
                               std::to_string(h) + " -sOutputFile=" + dir.File("out.pbm") + " " + dir.File("in.ps")),
              0);
    const testsupport::Pnm peer = testsupport::ReadPnm(dir.File("out.pbm"));
    ASSERT_EQ(peer.width, w);
    ASSERT_EQ(peer.height, h);
    int compared = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) {
        const int t = tile.data[(y % tile.side) * tile.side + x % tile.side];
        if (d.at(x, y) == t + 1) continue;
        ++compared;
        ASSERT_EQ(ours.Ink(x, y), peer.Black(x, y)) << x << "," << y << " d " << int(d.at(x, y)) << " t " << t;
      }
    EXPECT_GT(compared, w * h * 9 / 10);
  }
}

}  // namespace
