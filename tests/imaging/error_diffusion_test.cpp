#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/error_diffusion.h"
#include "imaging/netpbm_files.h"

using namespace imaging;

namespace {

struct Band {
  LONG stride, rows;
  POINTL origin;
  std::vector<BYTE> bits;
  Band(LONG widthPixels, LONG r, POINTL o = {0, 0}, BYTE fill = 0xFF)
      : stride((widthPixels + 31) / 32 * 4), rows(r), origin(o), bits(size_t(stride) * r, fill) {}
  BandBuffer view() { return {bits.data(), stride, rows, origin}; }
  bool Ink(LONG x, LONG y) const { return !((bits[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1); }
  long InkCount(LONG w, LONG h) const {
    long n = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) n += Ink(x, y);
    return n;
  }
};

DensityImage View(const std::vector<BYTE>& d, LONG w, LONG h) { return {d.data(), w, h, w}; }

std::vector<BYTE> Photo(LONG w, LONG h) {
  std::vector<BYTE> d(size_t(w) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x)
      d[size_t(y) * w + x] = BYTE(127 + 120 * std::sin(x * 0.11) * std::cos(y * 0.07 + x * 0.01));
  return d;
}

TEST(DiffuseError, UniformLevels) {
  struct Case {
    BYTE level;
    long ink;
  } cases[] = {{0, 0}, {255, 128 * 128}, {128, 128 * 128 / 2}};
  for (const auto& c : cases) {
    std::vector<BYTE> d(128 * 128, c.level);
    Band band(128, 128);
    ASSERT_TRUE(DiffuseError({}, View(d, 128, 128), band.view(), {0, 0, 127, 127}));
    EXPECT_EQ(band.InkCount(128, 128), c.ink) << int(c.level);
  }
}

// Worked by hand: T = trunc((341 (left + up) + 171 (upLeft + upRight) + 512) / 1024).
TEST(DiffuseError, HandWorkedRows) {
  const std::vector<BYTE> d = {100, 200, 50, 130, 0, 255,  //
                               60, 120, 60, 0, 0, 0};
  Band band(6, 2);
  ASSERT_TRUE(DiffuseError({}, View(d, 6, 2), band.view(), {0, 0, 5, 1}));
  // Row 0 stores -100, 23, -42, 112, 37, 12.
  const bool row0[6] = {false, true, false, true, false, true};
  // Row 1: 60 + 28 = 88 white (-88); 120 + 44 = 164 ink (91); 60 - 20 = 40 white.
  const bool row1[3] = {false, true, false};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(band.Ink(x, 0), row0[x]) << x;
  for (int x = 0; x < 3; ++x) EXPECT_EQ(band.Ink(x, 1), row1[x]) << x;
  for (int x = 6; x < 32; ++x) EXPECT_FALSE(band.Ink(x, 0)) << "right of the rectangle is white";
}

// Ink fractions of uniform densities against netpbm's linear Floyd-Steinberg.
TEST(DiffuseError, InkFractionsMatchNetpbm) {
  testsupport::ScratchDir dir;
  const LONG n = 256;
  for (int level = 16; level <= 240; level += 16) {
    std::vector<BYTE> d(size_t(n) * n, BYTE(level));
    Band band(n, n);
    ASSERT_TRUE(DiffuseError({}, View(d, n, n), band.view(), {0, 0, n - 1, n - 1}));
    const double ours = double(band.InkCount(n, n)) / (n * n);
    testsupport::WritePgm(dir.File("in.pgm"), n, n, std::vector<std::uint8_t>(size_t(n) * n, std::uint8_t(255 - level)));
    ASSERT_EQ(testsupport::Run("pgmtopbm -fs " + dir.File("in.pgm") + " > " + dir.File("out.pbm")), 0);
    const testsupport::Pnm peer = testsupport::ReadPnm(dir.File("out.pbm"));
    ASSERT_EQ(peer.width, n);
    long black = 0;
    for (LONG y = 0; y < n; ++y)
      for (LONG x = 0; x < n; ++x) black += peer.Black(x, y);
    EXPECT_NEAR(ours, double(black) / (n * n), 0.01) << "density " << level;
  }
}

TEST(DiffuseError, RowsAndColumnsBeforeTheBufferAreComputed) {
  const std::vector<BYTE> d = Photo(70, 50);
  Band whole(70, 50);
  DiffuseError({}, View(d, 70, 50), whole.view(), {0, 0, 69, 49});
  Band late(70, 50, {5, 3});
  DiffuseError({}, View(d, 70, 50), late.view(), {-5, -3, 64, 46});
  for (LONG y = 0; y < 47; ++y)
    for (LONG x = 0; x < 65; ++x) ASSERT_EQ(late.Ink(x, y), whole.Ink(x + 5, y + 3)) << x << "," << y;
  // Enlarged by 3 the error runs at target resolution: about the same ink.
  std::vector<BYTE> grey(10 * 10, 100);
  Band big(30, 30);
  DiffuseError({}, View(grey, 10, 10), big.view(), {0, 0, 29, 29});
  EXPECT_NEAR(big.InkCount(30, 30) / 900.0, 100 / 255.0, 0.03);
}

TEST(DiffuseError, ResolutionModeTwoPairsDecideTogether) {
  const std::vector<BYTE> d = Photo(61, 40);
  DiffusionCarry carry;
  for (int orientation : {0, 90}) {
    for (LONG originX : {0, 1}) {
      Band band(61, 40, {originX, 0});
      DiffusionContext ctx{2, orientation, false, 100, &carry};
      ASSERT_TRUE(DiffuseError(ctx, View(d, 61, 40), band.view(), {0, 0, 60, 39}));
      if (orientation == 0) {
        for (LONG y = 0; y < 40; ++y)
          for (LONG x = originX; x + 1 < 61; x += 2) ASSERT_EQ(band.Ink(x, y), band.Ink(x + 1, y)) << x << "," << y;
      } else {
        for (LONG y = 0; y + 1 < 40; y += 2)
          for (LONG x = 0; x < 61; ++x) ASSERT_EQ(band.Ink(x, y), band.Ink(x, y + 1)) << x << "," << y;
      }
      const double fraction = band.InkCount(61, 40) / (61.0 * 40);
      double mean = 0;
      for (BYTE v : d) mean += v;
      EXPECT_NEAR(fraction, mean / d.size() / 255, 0.05);
    }
  }
  // A picture painted onto a mask diffuses without pairs.
  Band single(61, 40), plain(61, 40);
  DiffuseError({2, 0, true, 100, nullptr}, View(d, 61, 40), single.view(), {0, 0, 60, 39});
  DiffuseError({}, View(d, 61, 40), plain.view(), {0, 0, 60, 39});
  EXPECT_EQ(single.bits, plain.bits);
  FreeDiffusionCarry(carry);
}

// Interlaced diffusion over two bands: the band that ends on the first row
// of a pair leaves its last source row; the next band, starting on the
// second row right below with the same left and right, decides that row from
// the mean of both, as one band would decide the pair.
TEST(DiffuseError, InterlacedCarryJoinsTwoBands) {
  const LONG w = 48;
  std::vector<BYTE> top(size_t(w) * 4), bottom(size_t(w) * 5);
  for (LONG x = 0; x < w; ++x) {
    for (LONG y = 0; y < 4; ++y) top[size_t(y) * w + x] = BYTE(4 * x + 10 * y);
    for (LONG y = 0; y < 5; ++y) bottom[size_t(y) * w + x] = BYTE(200 - 3 * x - y);
  }
  for (int kind : {1, 2}) {
    DiffusionCarry carry;
    carry.kind = std::uint8_t(kind);
    // Page height 100 (even), origin 0: even rows start pairs. Band 1 covers
    // rows 0..4 of a 10-row buffer (ends on row 4, the first of a pair).
    std::vector<BYTE> row4(static_cast<size_t>(w));
    for (LONG x = 0; x < w; ++x) row4[x] = BYTE(255 - 5 * x);
    std::vector<BYTE> firstBand(top);
    firstBand.insert(firstBand.end(), row4.begin(), row4.end());
    Band plane(w, 10);
    DiffusionContext ctx{2, 90, false, 100, &carry};
    ASSERT_TRUE(DiffuseError(ctx, View(firstBand, w, 5), plane.view(), {0, 0, w - 1, 4}));
    ASSERT_NE(carry.row, nullptr);
    ASSERT_EQ(carry.size, std::uint32_t(w));
    EXPECT_EQ(std::vector<BYTE>(carry.row, carry.row + w), row4);
    // Band 2: rows 5..9, with its own source.
    ASSERT_TRUE(DiffuseError(ctx, View(bottom, w, 5), plane.view(), {0, 5, w - 1, 9}));
    EXPECT_EQ(carry.row, nullptr) << "a band ending on the second row of a pair drops the row";

    // The same second band alone, its first row replaced by the mean.
    std::vector<BYTE> meanFirst(bottom);
    for (LONG x = 0; x < w; ++x) meanFirst[x] = BYTE((row4[x] + bottom[x]) / 2);
    Band alone(w, 10);
    DiffusionCarry none;
    DiffuseError({2, 90, 0, 100, &none}, View(meanFirst, w, 5), alone.view(), {0, 5, w - 1, 9});
    for (LONG y = 5; y <= 9; ++y)
      for (LONG x = 0; x < w; ++x) ASSERT_EQ(plane.Ink(x, y), alone.Ink(x, y)) << kind << ": " << x << "," << y;
    Band uncarried(w, 10);
    DiffuseError({2, 90, 0, 100, &none}, View(bottom, w, 5), uncarried.view(), {0, 5, w - 1, 9});
    EXPECT_NE(uncarried.bits, alone.bits) << "the carried row makes a difference here";
    FreeDiffusionCarry(carry);
  }
}

TEST(DiffuseError, CarryNeedsTheContinuingRectangle) {
  const LONG w = 16;
  std::vector<BYTE> saved(size_t(w) * 1, 250), own(size_t(w) * 2, 0);
  struct Case {
    const char* what;
    PdevRect second;
    LONG sourceWidth;
    bool continues;
  } cases[] = {
      {"right below, same sides", {0, 1, w - 1, 2}, w, true},
      {"a row gap", {0, 3, w - 1, 4}, w, false},
      {"other left", {1, 1, w - 1, 2}, w, false},
      {"other source width", {0, 1, w - 1, 2}, w - 1, false},
  };
  for (const auto& c : cases) {
    DiffusionCarry carry;
    carry.kind = 1;
    Band plane(w, 6);
    DiffusionContext ctx{2, 90, false, 100, &carry};
    DiffuseError(ctx, {saved.data(), w, 1, w}, plane.view(), {0, 0, w - 1, 0});
    ASSERT_NE(carry.row, nullptr);
    Band second(w, 6);
    DiffuseError(ctx, {own.data(), c.sourceWidth, 2, w}, second.view(), c.second);
    // Mean of 250 and 0 inks; own density 0 never does.
    EXPECT_EQ(second.InkCount(w, 6) > 0, c.continues) << c.what;
    FreeDiffusionCarry(carry);
  }
}

}  // namespace

namespace {

// A picture diffused in bands of `rows` target rows: each band's buffer
// starts at its first row and holds only the source rows it samples (with
// one either side); the error rows run on in `kept`.
std::vector<BYTE> DiffuseInBands(const std::vector<BYTE>& density, LONG w, LONG h, const PdevRect& target,
                                 LONG planeWidth, LONG planeRows, int resMode, int orientation, LONG rows) {
  Band plane(planeWidth, planeRows);
  DiffusionRows kept;
  EXPECT_TRUE(AllocDiffusionRows(kept, target.right - target.left + 1));
  DiffusionCarry carry;
  carry.kind = 1;
  const LONG T = target.bottom - target.top + 1;
  for (LONG j0 = 0; j0 < T; j0 += rows) {
    const LONG j1 = std::min(T - 1, j0 + rows - 1);
    const LONG r0 = std::max<LONG>(0, LONG(std::int64_t{j0} * h / T) - 1);
    const LONG r1 = std::min<LONG>(h - 1, LONG(std::int64_t{j1} * h / T) + 1);
    const LONG shift = j0 == 0 ? 0 : target.top + j0;
    // Only the band's rows, so a read outside them is caught.
    const std::vector<BYTE> rowsOfBand(density.begin() + std::ptrdiff_t(r0) * w, density.begin() + std::ptrdiff_t(r1 + 1) * w);
    const DensityImage src{rowsOfBand.data(), w, h, w, r0};
    const BandBuffer band{plane.bits.data() + size_t(shift) * plane.stride, plane.stride,
                          std::min(planeRows, target.top + j1 + 1) - shift, {3, 5 + shift}};
    const PdevRect moved{target.left, target.top - shift, target.right, target.bottom - shift};
    EXPECT_TRUE(DiffuseError({resMode, orientation, 0, 101, &carry, &kept}, src, band, moved));
  }
  FreeDiffusionRows(kept);
  FreeDiffusionCarry(carry);
  return plane.bits;
}

}  // namespace

// Bands of any height give the bits of one call over the whole picture,
// enlarged or not, in every pairing of resolution mode 2.
TEST(DiffuseError, BandsCarryTheirErrorRows) {
  const LONG w = 37, h = 23;
  const std::vector<BYTE> density = Photo(w, h);
  struct Case {
    int resMode, orientation;
    PdevRect target;
  };
  const Case cases[] = {{0, 0, {0, 0, w - 1, h - 1}},   {0, 0, {5, 2, 5 + 2 * w, 2 + 3 * h}},
                        {2, 0, {1, 1, w, h}},           {2, 90, {0, 0, w - 1, h - 1}},
                        {2, 90, {2, 3, 2 + 2 * w, 3 + 2 * h}}};
  for (const Case& k : cases) {
    const LONG planeWidth = k.target.right + 9, planeRows = k.target.bottom + 1;
    Band whole(planeWidth, planeRows, {3, 5});
    DiffusionCarry carry;
    carry.kind = 1;
    ASSERT_TRUE(DiffuseError({k.resMode, k.orientation, 0, 101, &carry}, View(density, w, h), whole.view(), k.target));
    FreeDiffusionCarry(carry);
    for (LONG rows : {1, 2, 7, 1000}) {
      SCOPED_TRACE(testing::Message() << k.resMode << "/" << k.orientation << " rows " << rows);
      EXPECT_EQ(DiffuseInBands(density, w, h, k.target, planeWidth, planeRows, k.resMode, k.orientation, rows),
                whole.bits);
    }
  }
}
