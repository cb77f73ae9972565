// Two-plate rendering of pictures: the band walk against one band, the
// reduction, the plates on their drums and the failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/two_plate_render.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

struct Device {
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  explicit Device(int mode) {
    pdev->flags = kPdevTwoPlanes;
    pdev->separationModes[2] = std::uint8_t(mode);
    pdev->contrast = 4;
    pdev->brightness = 4;
    pdev->amiLine = 100;
    pdev->amiAngle = 30;
    pdev->resolutionX = 600;
    pdev->drawing.rop4 = 0xCCCC;
    pdev->planeHeight = 1001;
    pdev->drum1Lab[0] = 30;
    pdev->drum2Lab[0] = 60;
    pdev->image.darkerDrumStrength = 255;
  }
  ~Device() {
    FreeImageBuffers(pdev.get());
    if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
  }
  RenderPdev* operator->() { return pdev.get(); }
  RenderPdev* get() { return pdev.get(); }
};

// A 24-bit photo (blue, green, red) with colours all over the cube.
std::vector<BYTE> Photo(LONG w, LONG h, LONG stride) {
  std::vector<BYTE> p(size_t(stride) * h, 0);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      BYTE* px = &p[size_t(y) * stride + 3 * size_t(x)];
      px[0] = BYTE(127 + 120 * std::sin(x * 0.21 + y * 0.05));
      px[1] = BYTE(127 + 120 * std::cos(y * 0.13));
      px[2] = BYTE(127 + 120 * std::sin(x * 0.07) * std::cos(y * 0.09));
    }
  return p;
}

// Two one-bit band buffers of the target's size, in one block, white.
struct Bands {
  LONG stride, rows;
  std::vector<BYTE> bits;
  Bands(LONG w, LONG h) : stride(LONG(AlignTo4(RowBytes1bpp(w)))), rows(h), bits(size_t(stride) * h * 2, 0xFF) {}
  BYTE* drum1() { return bits.data(); }
  BYTE* drum2() { return bits.data() + size_t(stride) * rows; }
  bool Ink(int drum, LONG x, LONG y) const {
    const BYTE b = bits[size_t(drum - 1) * stride * rows + size_t(y) * stride + size_t(x) / 8];
    return !((b >> (7 - x % 8)) & 1);
  }
  long InkCount(int drum, LONG w) const {
    long n = 0;
    for (LONG y = 0; y < rows; ++y)
      for (LONG x = 0; x < w; ++x) n += Ink(drum, x, y);
    return n;
  }
};

struct Rgb24 {
  const BYTE* bits;
  LONG stride;
};

bool FetchRow(void* context, LONG row, BYTE* bgr) {
  const auto* s = static_cast<const Rgb24*>(context);
  std::memcpy(bgr, s->bits + size_t(row) * s->stride, size_t(s->stride));
  return true;
}

// The picture through HalftoneTwoPlates onto a target of tw x th at band
// rows of `bandRows`.
std::vector<BYTE> Walk(Device& dev, const std::vector<BYTE>& photo, LONG w, LONG h, LONG tw, LONG th, bool diffuse,
                       LONG bandRows) {
  Bands out(tw, th);
  Rgb24 source{photo.data(), 3 * w};
  const RgbPicture picture{w, h, FetchRow, &source};
  TwoPlateTarget target;
  target.drum1 = out.drum1();
  target.drum2 = out.drum2();
  target.stride = out.stride;
  target.rows = th;
  target.rect = {0, 0, tw - 1, th - 1};
  target.origin = {17, 40};
  TwoPlateHalftone how;
  how.diffuse = diffuse;
  how.amiLine = 100;
  how.amiAngle = 30;
  EXPECT_TRUE(HalftoneTwoPlates(dev.get(), picture, target, how, bandRows));
  return out.bits;
}

TEST(HalftoneTwoPlates, BandsGiveTheWholePicturesBits) {
  const LONG w = 45, h = 38;
  const std::vector<BYTE> photo = Photo(w, h, 3 * w);
  struct Case {
    int mode, resMode, orientation;
    bool diffuse;
    LONG tw, th;
  };
  const Case cases[] = {{2, 0, 0, false, w, h},      {2, 0, 0, true, w, h},        {3, 2, 0, true, 2 * w, 3 * h},
                        {4, 2, 90, true, w, 2 * h},   {5, 2, 90, false, w + 3, h + 5}, {9, 0, 0, false, w, h},
                        {6, 2, 0, false, 2 * w, 2 * h}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << k.mode << " res " << k.resMode << "/" << k.orientation
                                    << (k.diffuse ? " diffused" : " screened"));
    Device dev(k.mode);
    dev->resolutionMode = std::uint8_t(k.resMode);
    dev->orientation = std::int16_t(k.orientation);
    dev->photoMode = k.diffuse ? 1 : 0;
    const std::vector<BYTE> whole = Walk(dev, photo, w, h, k.tw, k.th, k.diffuse, 10000);
    for (LONG rows : {1, 3, 16}) EXPECT_EQ(Walk(dev, photo, w, h, k.tw, k.th, k.diffuse, rows), whole) << rows;
  }
}

// A source larger than its target separates only the rows and columns the
// reduction keeps: the same as the reduced copy drawn at its own size.
TEST(RenderImageTwoPlates, ReducesBeforeSeparating) {
  const LONG sw = 61, sh = 50, tw = 40, th = 33;
  const LONG stride = LONG(AlignTo4(3 * sw));
  const std::vector<BYTE> photo = Photo(sw, sh, stride);
  for (bool diffuse : {false, true}) {
    Device dev(2);
    dev->photoMode = diffuse ? 1 : 0;
    Bands direct(tw, th);
    const PdevRect bandRect{0, 0, tw - 1, th - 1};
    ASSERT_TRUE(RenderImageTwoPlates(dev.get(), direct.drum1(), direct.drum2(), bandRect, direct.stride, {8, 9},
                                     photo.data(), {0, 0, sw - 1, sh - 1}, stride, nullptr, 0, BMF_24BPP, 100, 30,
                                     600, FALSE));
    // The same reduction by the plane kernel's byte copy, column by column.
    std::vector<BYTE> reduced(size_t(3 * tw) * th);
    std::vector<std::int32_t> cols(static_cast<size_t>(sw)), rows(static_cast<size_t>(sh));
    ASSERT_TRUE(KeptIndices(sw, tw, cols.data()));
    ASSERT_TRUE(KeptIndices(sh, th, rows.data()));
    for (LONG y = 0; y < th; ++y)
      for (LONG x = 0; x < tw; ++x)
        std::memcpy(&reduced[size_t(y) * 3 * tw + 3 * size_t(x)], &photo[size_t(rows[y]) * stride + 3 * size_t(cols[x])],
                    3);
    Bands same(tw, th);
    ASSERT_TRUE(RenderImageTwoPlates(dev.get(), same.drum1(), same.drum2(), bandRect, same.stride, {8, 9},
                                     reduced.data(), bandRect, 3 * tw, nullptr, 0, BMF_24BPP, 100, 30, 600, FALSE));
    EXPECT_EQ(direct.bits, same.bits) << diffuse;
    EXPECT_GT(direct.InkCount(1, tw), 0);
    EXPECT_GT(direct.InkCount(2, tw), 0);
  }
}

// Family 1: red is all plate 1, black all plate 2, white nothing; modes 5..7
// exchange the drums the plates land on.
TEST(RenderImageTwoPlates, PlatesLandOnTheirDrums) {
  const LONG w = 24, h = 8;
  struct Case {
    int mode;
    BYTE b, g, r;
    bool drum1, drum2;
  };
  const Case cases[] = {{2, 0, 0, 255, true, false},   {5, 0, 0, 255, false, true}, {2, 0, 0, 0, false, true},
                        {5, 0, 0, 0, true, false},     {2, 255, 255, 255, false, false},
                        {8, 255, 255, 255, false, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << k.mode << " colour " << int(k.r) << "," << int(k.g) << ","
                                    << int(k.b));
    Device dev(k.mode);
    std::vector<BYTE> flat(size_t(3 * w) * h);
    for (size_t i = 0; i < flat.size(); i += 3) flat[i] = k.b, flat[i + 1] = k.g, flat[i + 2] = k.r;
    Bands out(w, h);
    ASSERT_TRUE(RenderImageTwoPlates(dev.get(), out.drum1(), out.drum2(), {0, 0, w - 1, h - 1}, out.stride, {0, 0},
                                     flat.data(), {0, 0, w - 1, h - 1}, 3 * w, nullptr, 0, BMF_24BPP, 100, 45, 600,
                                     FALSE));
    EXPECT_EQ(out.InkCount(1, w) > 0, k.drum1);
    EXPECT_EQ(out.InkCount(2, w) > 0, k.drum2);
  }
}

TEST(RenderImageTwoPlates, FlippedTargetWritesRowsBottomUp) {
  const LONG w = 16, h = 16;
  std::vector<BYTE> half(size_t(3 * w) * h, 255);  // top half black, bottom half white
  std::fill(half.begin(), half.begin() + 3 * w * h / 2, BYTE{0});
  for (BYTE flipped : {0, 2}) {
    Device dev(2);
    dev->drawing.destinationFlipped = flipped;
    Bands out(w, h);
    ASSERT_TRUE(RenderImageTwoPlates(dev.get(), out.drum1(), out.drum2(), {0, 0, w - 1, h - 1}, out.stride, {0, 0},
                                     half.data(), {0, 0, w - 1, h - 1}, 3 * w, nullptr, 0, BMF_24BPP, 100, 45, 600,
                                     FALSE));
    long top = 0, bottom = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) (y < h / 2 ? top : bottom) += out.Ink(2, x, y);
    EXPECT_EQ(top > 0, flipped == 0);
    EXPECT_EQ(bottom > 0, flipped == 2);
  }
}

// Every allocation of a first picture fails in turn: FALSE, bands white,
// nothing kept but what a later call can use, nothing leaked.
TEST(RenderImageTwoPlates, EachFailedAllocationFailsThePicture) {
  const LONG w = 30, h = 20, tw = 20, th = 14;
  const std::vector<BYTE> photo = Photo(w, h, 3 * w);
  for (bool diffuse : {false, true}) {
    bool succeeded = false;
    for (std::size_t n = 1; n < 20 && !succeeded; ++n) {
      SCOPED_TRACE(testing::Message() << (diffuse ? "diffused" : "screened") << ", allocation " << n);
      const std::size_t before = plat::HeapLiveBytes();
      {
        Device dev(2);
        dev->photoMode = diffuse ? 1 : 0;
        Bands out(tw, th);
        plat::FailNthHeapAlloc(n);
        const BOOL ok = RenderImageTwoPlates(dev.get(), out.drum1(), out.drum2(), {0, 0, tw - 1, th - 1}, out.stride,
                                             {0, 0}, photo.data(), {0, 0, w - 1, h - 1}, 3 * w, nullptr, 0,
                                             BMF_24BPP, 100, 45, 600, FALSE);
        plat::FailNthHeapAlloc(0);
        succeeded = ok != FALSE;
        if (!ok) {
          EXPECT_EQ(out.bits, std::vector<BYTE>(out.bits.size(), 0xFF));
        }
      }
      EXPECT_EQ(plat::HeapLiveBytes(), before);
    }
    EXPECT_TRUE(succeeded);
  }
}

// The grid is built with the first picture's mode and kept for the job.
TEST(SeparationGridOf, BuiltOnceWithTheFirstMode) {
  Device dev(5);
  SeparationGrid* grid = SeparationGridOf(dev.get(), 5);
  ASSERT_NE(grid, nullptr);
  EXPECT_TRUE(grid->built);
  const PlatePair red = TrilinearLookup(*grid, 255, 0, 0);
  EXPECT_EQ(SeparationGridOf(dev.get(), 4), grid);
  EXPECT_EQ(TrilinearLookup(*grid, 255, 0, 0).plate1, red.plate1);
  EXPECT_EQ(red.plate1, 255);
}

}  // namespace

namespace {

TEST(ClassifyPendingRgb, PicturesAgainstFlatAndTwoColourBands) {
  struct Case {
    const char* what;
    std::vector<ULONG> colours;  // 0x00RRGGBB, repeated over a 6 x 2 picture
    BOOL picture;
    BYTE operation;
  };
  const Case cases[] = {
      {"one colour", {0x00FF0000}, FALSE, 1},
      {"two colours", {0x00000000, 0x00FF0000}, FALSE, 1},
      {"three colours, three levels", {0x00000000, 0x00FF0000, 0x00808080}, TRUE, 0},
      {"three colours, one level", {0x00808080, 0x00818080, 0x00808180}, FALSE, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Device dev(2);
    dev->shared.pictureFlag = 1;
    std::vector<BYTE> rgb(36);
    for (size_t i = 0; i < 12; ++i) {
      const ULONG c = k.colours[i % k.colours.size()];
      rgb[3 * i] = BYTE(c), rgb[3 * i + 1] = BYTE(c >> 8), rgb[3 * i + 2] = BYTE(c >> 16);
    }
    DWORD histogram[256];
    EXPECT_EQ(ClassifyPendingRgb(dev.get(), {rgb.data(), 6, 2, 18}, histogram), k.picture);
    EXPECT_EQ(dev->shared.operation, k.operation);
    EXPECT_EQ(dev->shared.pictureFlag, k.picture ? 1 : 0);
    DWORD total = 0;
    for (DWORD n : histogram) total += n;
    EXPECT_EQ(total, 12u);
  }
}

// Black text on red, a two-colour picture: black to plate 2 and red to plate
// 1 by the graphics mode's classes, or all of it to the plate the drum choice
// names for a paint over a fresh mask.
TEST(RenderGrayBandTwoPlates, ClassPlatesOrOnePlane) {
  const LONG w = 16, h = 4;
  std::vector<BYTE> rgb(size_t(3 * w) * h, 0);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = w / 2; x < w; ++x) rgb[size_t(y) * 3 * w + 3 * size_t(x) + 2] = 255;  // right half red
  struct Case {
    const char* what;
    ULONG previousRop4, rop4;
    RECTL lastDrawn;
    std::uint16_t plateSelector;
    long leftInk1, leftInk2, rightInk1, rightInk2;  // ink expected (1) or not (0) per half and drum
  };
  const Case cases[] = {
      {"classes", 0xCCCC, 0xCCCC, {0, 0, 0, 0}, 1, 0, 1, 1, 0},
      {"one plane, drum 1", 0x8888, 0xB8B8, {100, 200, 110, 210}, 1, 1, 0, 1, 0},
      {"one plane, drum 2", 0x8888, 0xB8B8, {100, 200, 110, 210}, 2, 0, 1, 0, 1},
      {"mask elsewhere", 0x8888, 0xB8B8, {0, 0, 50, 50}, 1, 0, 1, 1, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Device dev(8);
    dev->separationModes[1] = 6;  // red to plate 1, the rest to plate 2
    dev->drawing.previousRop4 = k.previousRop4;
    dev->drawing.rop4 = k.rop4;
    dev->drawing.lastDrawnRect = k.lastDrawn;
    dev->drawing.plateSelector = k.plateSelector;
    Bands out(w, h);
    TwoPlateTarget target;
    target.drum1 = out.drum1();
    target.drum2 = out.drum2();
    target.stride = out.stride;
    target.rows = h;
    target.rect = {0, 0, w - 1, h - 1};
    ASSERT_TRUE(RenderGrayBandTwoPlates(dev.get(), {rgb.data(), w, h, 3 * w}, target, {105, 205, 120, 208}));
    long ink[2][2] = {};
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x)
        for (int d = 1; d <= 2; ++d) ink[x >= w / 2][d - 1] += out.Ink(d, x, y);
    EXPECT_EQ(ink[0][0] > 0, k.leftInk1 == 1);
    EXPECT_EQ(ink[0][1] > 0, k.leftInk2 == 1);
    EXPECT_EQ(ink[1][0] > 0, k.rightInk1 == 1);
    EXPECT_EQ(ink[1][1] > 0, k.rightInk2 == 1);
    EXPECT_EQ(dev->shared.operation, 0) << "the operation byte is put back";
  }
}

}  // namespace

namespace {

// A strip on a two-ink sheet comes back as the drum-2 band and, after it in
// the same block, the drum-1 band: red on drum 1, black on drum 2 in mode 2;
// in mode 1 the picture takes the one-ink path onto the drum-2 band.
TEST(CacheImageBand, StripsRenderIntoBothBands) {
  const LONG w = 16, h = 4;
  std::vector<BYTE> rgb(size_t(3 * w) * h, 0);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = w / 2; x < w; ++x) rgb[size_t(y) * 3 * w + 3 * size_t(x) + 2] = 255;  // right half red
  for (int mode : {2, 1}) {
    SCOPED_TRACE(mode);
    Device dev(mode);
    const PdevRect target{100, 40, 100 + w - 1, 40 + h - 1}, src{0, 0, w - 1, h - 1};
    const CacheAnswer answer =
        CacheImageBand(dev.get(), nullptr, nullptr, 0, &target, rgb.data(), &src, 3 * w, nullptr, 0, BMF_24BPP);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(dev->shared.pictureFlag, 0);
    BYTE* drum2 = answer.bands.first;
    ASSERT_NE(drum2, nullptr);
    const LONG stride = 4;
    ASSERT_EQ(answer.bands.second, drum2 + stride * h);
    long ink[2][2] = {};  // [drum 1 / 2][left / right]
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x)
        for (int d = 0; d < 2; ++d) {
          const BYTE* band = d == 0 ? answer.bands.second : drum2;
          ink[d][x >= w / 2] += !((band[y * stride + x / 8] >> (7 - x % 8)) & 1);
        }
    if (mode == 2) {
      EXPECT_EQ(ink[0][0], 0);
      EXPECT_GT(ink[0][1], 0);
      EXPECT_GT(ink[1][0], 0);
      EXPECT_EQ(ink[1][1], 0);
    } else {
      EXPECT_EQ(ink[0][0] + ink[0][1], 0);
      EXPECT_GT(ink[1][0], 0);
      EXPECT_GT(ink[1][1], 0);
    }
    EXPECT_EQ(dev->image.diffusionCarryKind, 0);
    GlobalFree(drum2);
  }
}

}  // namespace
