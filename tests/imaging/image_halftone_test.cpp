#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "imaging/brush_dither.h"
#include "imaging/density.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/screen_dither.h"
#include "imaging/tone.h"
#include "planes/colour_classes.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

constexpr ULONG Rgb(int r, int g, int b) { return ULONG(r) | (ULONG(g) << 8) | (ULONG(b) << 16); }
int Luminance(int r, int g, int b) { return 255 - ((2449 * r + 4805 * g + 938 * b) >> 13); }

struct Device {
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  Device() {
    pdev->contrast = 4;
    pdev->brightness = 4;
    pdev->amiLine = 100;
    pdev->amiAngle = 45;
    pdev->resolutionX = 600;
    pdev->drawing.rop4 = 0xCCCC;
    pdev->planeHeight = 1000;
  }
  ~Device() {
    FreeJobScreens(pdev.get());
    if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
  }
  RenderPdev* operator->() { return pdev.get(); }
  RenderPdev* get() { return pdev.get(); }
};

std::vector<ULONG> GreyPalette() {
  std::vector<ULONG> p(256);
  for (int i = 0; i < 256; ++i) p[i] = Rgb(i, i, i);
  return p;
}

TEST(ConvertToDensity, EveryFormat) {
  Device dev;
  const ULONG palette2[2] = {Rgb(255, 255, 255), Rgb(10, 20, 30)};
  std::vector<ULONG> palette16(16);
  for (int i = 0; i < 16; ++i) palette16[i] = Rgb(i * 17, 255 - i * 17, i * 5);
  const std::vector<ULONG> grey = GreyPalette();
  struct Case {
    const char* what;
    ULONG format;
    std::vector<BYTE> row;
    PdevRect srcRect;
    const ULONG* palette;
    ULONG count;
    std::vector<int> want;
  } cases[] = {
      {"1 bpp", BMF_1BPP, {0xA0}, {0, 0, 3, 0}, palette2, 2,
       {Luminance(10, 20, 30), 0, Luminance(10, 20, 30), 0}},
      {"4 bpp from an odd x", BMF_4BPP, {0x12, 0x34}, {1, 0, 3, 0}, palette16.data(), 16,
       {Luminance(2 * 17, 255 - 2 * 17, 10), Luminance(3 * 17, 255 - 3 * 17, 15), Luminance(4 * 17, 255 - 4 * 17, 20)}},
      {"8 bpp", BMF_8BPP, {0, 255, 128}, {0, 0, 2, 0}, grey.data(), 256, {255, 0, Luminance(128, 128, 128)}},
      {"16 bpp 5-5-5", BMF_16BPP, {0x1F, 0x7C, 0xE0, 0x03}, {0, 0, 1, 0}, nullptr, 0,
       {255 - ((2449 * 0xF8 + 7504 * 0x1F) >> 13), 255 - ((4805 * 0xF8) >> 13)}},
      {"24 bpp", BMF_24BPP, {30, 20, 10, 255, 255, 255}, {0, 0, 1, 0}, nullptr, 0, {Luminance(10, 20, 30), 0}},
      {"32 bpp ignores the fourth byte", BMF_32BPP, {30, 20, 10, 99, 0, 0, 0, 7}, {0, 0, 1, 0}, nullptr, 0,
       {Luminance(10, 20, 30), 255}},
  };
  for (const auto& c : cases) {
    std::vector<BYTE> out(8, 0xEE);
    const LONG n = c.srcRect.right - c.srcRect.left + 1;
    ASSERT_EQ(ConvertToDensity(dev.get(), c.row.data(), c.srcRect, LONG(c.row.size()), out.data(), {1, 0, n, 0}, 8,
                               c.palette, c.count, c.format),
              1)
        << c.what;
    EXPECT_EQ(out[0], 0xEE) << c.what;
    for (LONG i = 0; i < n; ++i) EXPECT_EQ(out[1 + i], c.want[i]) << c.what << " pixel " << i;
    EXPECT_EQ(out[1 + n], 0xEE) << c.what;
  }
}

TEST(ConvertToDensity, UnknownFormatShortPaletteToneAndFlip) {
  Device dev;
  const BYTE rows[2][3] = {{0, 100, 200}, {50, 60, 70}};
  std::vector<BYTE> out(6, 0xEE);
  EXPECT_EQ(ConvertToDensity(dev.get(), &rows[0][0], {0, 0, 2, 1}, 3, out.data(), {0, 0, 2, 1}, 3, nullptr, 0, 7), -1);
  EXPECT_EQ(out, std::vector<BYTE>(6, 0xEE));
  const std::vector<ULONG> grey = GreyPalette();
  EXPECT_EQ(ConvertToDensity(dev.get(), &rows[0][0], {0, 0, 2, 1}, 3, out.data(), {0, 0, 2, 1}, 3, grey.data(), 255,
                             BMF_8BPP),
            1);
  EXPECT_EQ(out, std::vector<BYTE>(6, 0xEE)) << "a short palette converts nothing";

  dev->drawing.destinationFlipped = 2;
  dev->contrast = 7;
  const ULONG raw[3] = {Rgb(255, 255, 255), Rgb(100, 100, 100), Rgb(10, 10, 10)};
  std::vector<ULONG> palette(256, Rgb(255, 255, 255));
  std::copy(raw, raw + 3, palette.begin());
  const BYTE indices[2][2] = {{0, 1}, {2, 1}};
  ConvertToDensity(dev.get(), &indices[0][0], {0, 0, 1, 1}, 2, out.data(), {0, 0, 1, 1}, 3, palette.data(), 256, BMF_8BPP);
  BYTE d[3];
  RgbToDensity(raw, d, 3);
  const BYTE bottomUp[6] = {ContrastBrightness(7, 4, d[2]), ContrastBrightness(7, 4, d[1]), 0xEE,
                            ContrastBrightness(7, 4, d[0]), ContrastBrightness(7, 4, d[1]), 0xEE};
  EXPECT_EQ(out, std::vector<BYTE>(bottomUp, bottomUp + 6));
}

TEST(SeparateToTwoInks, EachPixelOnItsPlate) {
  Device dev;
  dev->separationModes[1] = 2;
  const BYTE bgr[] = {0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 200, 0};
  std::vector<BYTE> p1(5, 0xEE), p2(5, 0xEE);
  ASSERT_EQ(SeparateToTwoInks(dev.get(), bgr, {0, 0, 4, 0}, 15, p1.data(), p2.data(), {0, 0, 4, 0}, 5, nullptr, 0,
                              BMF_24BPP),
            1);
  for (int x = 0; x < 5; ++x) {
    std::uint8_t plate = 0, density = 0;
    ClassifyColourForPlates(ClassCodeOfMode(2), bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x], 0, &plate, &density);
    EXPECT_EQ(p1[x], plate == 1 ? density : 0) << x;
    EXPECT_EQ(p2[x], plate == 2 ? density : 0) << x;
  }
  // Palette formats through the device's palette table.
  const ULONG palette[2] = {Rgb(255, 0, 0), Rgb(0, 0, 255)};
  const BYTE bits = 0x40;
  ASSERT_EQ(SeparateToTwoInks(dev.get(), &bits, {0, 0, 1, 0}, 4, p1.data(), p2.data(), {0, 0, 1, 0}, 5, palette, 2,
                              BMF_1BPP),
            1);
  for (int x = 0; x < 2; ++x) {
    const InkDensityPair pair = dev->shared.paletteInk[x];
    EXPECT_EQ(p1[x], pair.plate == 1 ? pair.density : 0);
    EXPECT_EQ(p2[x], pair.plate == 2 ? pair.density : 0);
  }
  EXPECT_EQ(SeparateToTwoInks(dev.get(), &bits, {0, 0, 1, 0}, 4, p1.data(), p2.data(), {0, 0, 1, 0}, 5, palette, 2, 0), -1);
}

TEST(Histograms, LevelsAndColours) {
  const BYTE image[2][4] = {{0, 0, 9, 1}, {255, 9, 7, 7}};
  DWORD counts[256] = {};
  DensityHistogram(&image[0][0], {1, 0, 2, 1}, 4, counts);
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(counts[9], 2u);
  EXPECT_EQ(counts[7], 1u);
  EXPECT_EQ(counts[255], 0u) << "outside the rect";
  EXPECT_EQ(CountDensityLevels(counts), 3);
  EXPECT_TRUE(HasManyLevels(2, 2, 600, 600, counts));
  const BYTE two[] = {0, 0, 0, 255, 255, 255, 0, 0, 0};
  const BYTE three[] = {0, 0, 0, 255, 255, 255, 0, 0, 9};
  DWORD c2[256] = {}, c3[256] = {};
  EXPECT_TRUE(RgbDensityHistogram(two, {0, 0, 2, 0}, 9, c2));
  EXPECT_EQ(c2[255], 2u);
  EXPECT_EQ(c2[0], 1u);
  EXPECT_FALSE(HasManyLevels(3, 1, 600, 600, c2));
  EXPECT_FALSE(RgbDensityHistogram(three, {0, 0, 2, 0}, 9, c3));
}

// Bands of a source: the expected ink of one density block through the
// kernels, to compare the routing with.
struct Bands {
  LONG width, rows, stride;
  std::vector<BYTE> bits;
  Bands(LONG w, LONG h, int count) : width(w), rows(h), stride((w + 31) / 32 * 4), bits(size_t(stride) * h * count, 0xFF) {}
  BYTE* band(int k) { return bits.data() + size_t(stride) * rows * k; }
  PdevRect rect() const { return {0, 0, width - 1, rows - 1}; }
  std::vector<BYTE> copy(int k) { return std::vector<BYTE>(band(k), band(k) + size_t(stride) * rows); }
  bool white(int k) { return copy(k) == std::vector<BYTE>(size_t(stride) * rows, 0xFF); }
};

std::vector<BYTE> Expected(RenderPdev* pdev, std::vector<BYTE> density, LONG w, LONG h, const Bands& b, POINTL origin,
                           bool plain) {
  ApplyToneCurve(pdev->photoMode, PresetOf(pdev), density.data(), w, h, w, pdev->resolutionMode, false);
  JobScreen* screen = ScreenOnFirstUse(pdev, 600, 100, 45);
  std::vector<BYTE> out(size_t(b.stride) * b.rows, 0xFF);
  const DensityImage src{density.data(), w, h, w};
  const BandBuffer band{out.data(), b.stride, b.rows, origin};
  if (plain)
    DitherScreenPlain(src, band, b.rect(), screen->view());
  else
    DitherByScreen(DitherContextOf(pdev), src, band, b.rect(), screen->view());
  return out;
}

std::vector<BYTE> GreySource(LONG w, LONG h) {
  std::vector<BYTE> s(size_t(w) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) s[size_t(y) * w + x] = BYTE((x * 7 + y * 13) % 256);
  return s;
}

TEST(HalftoneSourceToPlanes, OneInkEqualSizeEnlargedAndReduced) {
  const std::vector<ULONG> grey = GreyPalette();
  struct Case {
    LONG sw, sh, bw, bh;
  } cases[] = {{40, 30, 40, 30}, {20, 15, 60, 45}, {80, 60, 40, 30}, {80, 20, 40, 30}};
  for (const auto& c : cases) {
    Device dev;
    const std::vector<BYTE> src = GreySource(c.sw, c.sh);
    Bands bands(c.bw, c.bh, 1);
    const POINTL origin{13, 7};
    ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, src.data(),
                                       {0, 0, c.sw - 1, c.sh - 1}, c.sw, 100, 45, 600, grey.data(), 256, BMF_8BPP, origin));
    // The density of the source, reduced as CopyRectReduce reduces.
    std::vector<BYTE> density(size_t(c.sw) * c.sh);
    ConvertToDensity(dev.get(), src.data(), {0, 0, c.sw - 1, c.sh - 1}, c.sw, density.data(), {0, 0, c.sw - 1, c.sh - 1},
                     c.sw, grey.data(), 256, BMF_8BPP);
    const LONG w = std::min(c.sw, c.bw), h = std::min(c.sh, c.bh);
    std::vector<BYTE> reduced(size_t(w) * h);
    if (w == c.sw && h == c.sh)
      reduced = density;
    else
      ASSERT_EQ(CopyRectReduce(density.data(), {0, 0, c.sw - 1, c.sh - 1}, c.sw, reduced.data(), {0, 0, w - 1, h - 1}, w), 1);
    EXPECT_EQ(bands.copy(0), Expected(dev.get(), reduced, w, h, bands, origin, false)) << c.sw << "x" << c.sh;
  }
}

// A picture kept whole, taken from inside a larger source and tall enough to
// be converted in several bands of rows: every band, one ink or separated,
// is the density of its own rows.
TEST(HalftoneSourceToPlanes, APictureKeptWholeConvertsEveryBandFromItsRows) {
  const std::vector<ULONG> grey = GreyPalette();
  const LONG fullW = 2100, fullH = 1400, x0 = 37, y0 = 11, w = 2048, h = 1300;
  const std::vector<BYTE> full = GreySource(fullW, fullH);
  const PdevRect pick{x0, y0, x0 + w - 1, y0 + h - 1};
  for (bool separate : {false, true}) {
    SCOPED_TRACE(separate ? "separated" : "one ink");
    Device dev;
    if (separate) {
      dev->flags |= kPdevTwoPlanes;
      dev->drawing.rop4 = 0x5555;  // no source-only ROP: separated
    }
    Bands bands(w, h, separate ? 2 : 1);
    ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, full.data(), pick, fullW,
                                       100, 45, 600, grey.data(), 256, BMF_8BPP, {0, 0}));
    std::vector<BYTE> p1(size_t(w) * h), p2(size_t(w) * h);
    if (separate) {
      SeparateToTwoInks(dev.get(), full.data(), pick, fullW, p1.data(), p2.data(), {0, 0, w - 1, h - 1}, w, grey.data(),
                        256, BMF_8BPP);
      EXPECT_EQ(bands.copy(0), Expected(dev.get(), p2, w, h, bands, {0, 0}, false));
      EXPECT_EQ(bands.copy(1), Expected(dev.get(), p1, w, h, bands, {0, 0}, false));
    } else {
      ConvertToDensity(dev.get(), full.data(), pick, fullW, p1.data(), {0, 0, w - 1, h - 1}, w, grey.data(), 256,
                       BMF_8BPP);
      EXPECT_EQ(bands.copy(0), Expected(dev.get(), p1, w, h, bands, {0, 0}, false));
    }
  }
}

TEST(HalftoneSourceToPlanes, TwoInkRouting) {
  const std::vector<ULONG> grey = GreyPalette();
  const std::vector<BYTE> src = GreySource(24, 16);
  struct Case {
    const char* what;
    std::uint32_t rop4;
    int imageMode;
    int inkBand;  // -1: separated
  } cases[] = {
      {"SRCCOPY in mode 0 goes to band 2", 0xCCCC, 0, 1},
      {"SRCCOPY in mode 1 stays in band 1", 0xCCCC, 1, 0},
      {"SRCAND (source, no pattern) in mode 0 stays in band 1", 0x8888, 0, 0},
      {"a ROP without the source is separated", 0x5555, 0, -1},
      {"a 1-bpp SRCCOPY is separated", 0xCCCC, 0, -2},
      {"mode 2 is separated", 0xCCCC, 2, -1},
  };
  for (const auto& c : cases) {
    Device dev;
    dev->flags |= kPdevTwoPlanes;
    dev->drawing.rop4 = c.rop4;
    dev->separationModes[2] = std::uint8_t(c.imageMode);
    Bands bands(24, 16, 2);
    ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, src.data(),
                                       {0, 0, 23, 15}, 24, 100, 45, 600, grey.data(), 256, BMF_8BPP, {0, 0}));
    if (c.inkBand == -2) {
      const ULONG black[2] = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
      std::vector<BYTE> bits(4 * 16, 0x3C);
      Bands b2(24, 16, 2);
      ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), b2.band(0), b2.rect(), b2.stride, bits.data(), {0, 0, 23, 15}, 4, 100,
                                         45, 600, black, 2, BMF_1BPP, {0, 0}));
      EXPECT_TRUE(b2.white(0)) << c.what << ": black is a drum-1 colour in mode 0";
      EXPECT_FALSE(b2.white(1)) << c.what;
      continue;
    }
    if (c.inkBand >= 0) {
      EXPECT_TRUE(bands.white(1 - c.inkBand)) << c.what;
      EXPECT_FALSE(bands.white(c.inkBand)) << c.what;
      continue;
    }
    // Plate 2 to band 1, plate 1 to band 2.
    std::vector<BYTE> p1(24 * 16), p2(24 * 16);
    SeparateToTwoInks(dev.get(), src.data(), {0, 0, 23, 15}, 24, p1.data(), p2.data(), {0, 0, 23, 15}, 24, grey.data(),
                      256, BMF_8BPP);
    EXPECT_EQ(bands.copy(0), Expected(dev.get(), p2, 24, 16, bands, {0, 0}, false)) << c.what;
    EXPECT_EQ(bands.copy(1), Expected(dev.get(), p1, 24, 16, bands, {0, 0}, false)) << c.what;
  }
}

TEST(HalftoneSourceToPlanes, OneBitSourcesTakeThePlainScreenAndPhotosDiffuse) {
  const ULONG palette[2] = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
  std::vector<BYTE> bits(4 * 16);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = BYTE(0x0F ^ i);
  Device dev;
  dev->resolutionMode = 2;  // DitherByScreen would smooth pairs
  Bands bands(24, 16, 1);
  ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, bits.data(), {0, 0, 23, 15},
                                     4, 100, 45, 600, palette, 2, BMF_1BPP, {0, 0}));
  std::vector<BYTE> density(24 * 16);
  ConvertToDensity(dev.get(), bits.data(), {0, 0, 23, 15}, 4, density.data(), {0, 0, 23, 15}, 24, palette, 2, BMF_1BPP);
  EXPECT_EQ(bands.copy(0), Expected(dev.get(), density, 24, 16, bands, {0, 0}, true));

  Device photo;
  photo->photoMode = 1;
  const std::vector<ULONG> grey = GreyPalette();
  const std::vector<BYTE> flat(24 * 16, 128);
  Bands diffused(24, 16, 1);
  ASSERT_TRUE(HalftoneSourceToPlanes(photo.get(), diffused.band(0), diffused.rect(), diffused.stride, flat.data(),
                                     {0, 0, 23, 15}, 24, 100, 45, 600, grey.data(), 256, BMF_8BPP, {0, 0}));
  std::vector<BYTE> d(24 * 16);
  ConvertToDensity(photo.get(), flat.data(), {0, 0, 23, 15}, 24, d.data(), {0, 0, 23, 15}, 24, grey.data(), 256, BMF_8BPP);
  ApplyToneCurve(1, 0, d.data(), 24, 16, 24, 0, false);
  std::vector<BYTE> want(diffused.copy(0).size(), 0xFF);
  DiffuseError({}, {d.data(), 24, 16, 24}, {want.data(), diffused.stride, 16, {0, 0}}, diffused.rect());
  EXPECT_EQ(diffused.copy(0), want);
}

TEST(HalftoneSourceToPlanes, ConvertsOnlyWhatTheReductionKeeps) {
  Device dev;
  const std::vector<ULONG> grey = GreyPalette();
  const LONG sw = 1500, sh = 1200;
  const std::vector<BYTE> src(size_t(sw) * sh, 90);
  Bands bands(100, 80, 1);
  ScreenOnFirstUse(dev.get(), 600, 100, 45);
  plat::ResetHeapPeak();
  const std::size_t before = plat::HeapLiveBytes();
  ASSERT_TRUE(HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, src.data(), {0, 0, sw - 1, sh - 1},
                                     sw, 100, 45, 600, grey.data(), 256, BMF_8BPP, {0, 0}));
  EXPECT_LT(plat::HeapPeakBytes() - before, size_t(sw) * sh / 20) << "no source-size density block";
  EXPECT_FALSE(bands.white(0));
}

TEST(HalftoneSourceToPlanes, AnyFailedAllocationLeavesTheBandsWhite) {
  const std::vector<ULONG> grey = GreyPalette();
  const std::vector<BYTE> src = GreySource(30, 20);
  for (int photo : {0, 1}) {
    for (bool twoInks : {false, true}) {
      bool reachedSuccess = false;
      for (std::size_t n = 1; n < 20 && !reachedSuccess; ++n) {
        Device dev;
        dev->photoMode = std::uint8_t(photo);
        dev->drawing.rop4 = twoInks ? 0x8888 : 0xCCCC;
        if (twoInks) dev->flags |= kPdevTwoPlanes;
        Bands bands(30, 20, 2);
        plat::FailNthHeapAlloc(n);
        const BOOL ok = HalftoneSourceToPlanes(dev.get(), bands.band(0), bands.rect(), bands.stride, src.data(),
                                               {0, 0, 29, 19}, 30, 100, 45, 600, grey.data(), 256, BMF_8BPP, {0, 0});
        plat::FailNthHeapAlloc(0);
        if (ok) {
          reachedSuccess = true;
          continue;
        }
        EXPECT_TRUE(bands.white(0) && bands.white(1)) << "photo " << photo << " two " << twoInks << " failing " << n;
      }
      EXPECT_TRUE(reachedSuccess);
    }
  }
}

TEST(ScreenSourceToPlane, PlaneOfTheImageSeparationMode) {
  const std::vector<ULONG> grey = GreyPalette();
  const std::vector<BYTE> src = GreySource(24, 16);
  for (int mode : {-1, 0, 1}) {
    Device dev;
    dev->drawing.rop4 = 0xBBBB;  // MERGEPAINT
    if (mode >= 0) {
      dev->flags |= kPdevTwoPlanes;
      dev->separationModes[2] = std::uint8_t(mode);
    }
    Bands bands(24, 16, 2);
    ASSERT_TRUE(ScreenSourceToPlane(dev.get(), bands.band(0), bands.rect(), bands.stride, src.data(), {0, 0, 23, 15}, 24,
                                    100, 45, 600, grey.data(), 256, BMF_8BPP, {5, 5}));
    std::vector<BYTE> density(24 * 16);
    ConvertToDensity(dev.get(), src.data(), {0, 0, 23, 15}, 24, density.data(), {0, 0, 23, 15}, 24, grey.data(), 256,
                     BMF_8BPP);
    const std::vector<BYTE> want = Expected(dev.get(), density, 24, 16, bands, {5, 5}, false);
    const std::vector<BYTE> zero(want.size(), 0);
    if (mode < 0) {
      EXPECT_EQ(bands.copy(0), want);
      EXPECT_TRUE(bands.white(1)) << "one ink: band 2 untouched";
    } else if (mode == 0) {
      EXPECT_EQ(bands.copy(0), zero);
      EXPECT_EQ(bands.copy(1), want);
    } else {
      EXPECT_EQ(bands.copy(0), want);
      EXPECT_EQ(bands.copy(1), zero);
    }
  }
}

TEST(RealizeBrush, DitherAndOneColourFallback) {
  // An 8 x 8 one-bit pattern: a diagonal of entry 1 on entry 0.
  std::vector<BYTE> pattern(4 * 8, 0);
  for (int y = 0; y < 8; ++y) pattern[size_t(y) * 4] = BYTE(0x80 >> y);
  struct Case {
    const char* what;
    ULONG colour0, colour1;
    bool fallback;
  } cases[] = {
      {"light colour on white falls back to its pattern", Rgb(250, 250, 250), Rgb(255, 255, 255), true},
      {"white on white stays white", Rgb(255, 255, 255), Rgb(255, 255, 255), false},
      {"black is dithered solid", Rgb(0, 0, 0), Rgb(255, 255, 255), false},
      {"a light second colour never falls back", Rgb(255, 255, 255), Rgb(250, 250, 250), false},
  };
  for (const auto& c : cases) {
    Device dev;
    const ULONG palette[2] = {c.colour0, c.colour1};
    std::vector<BYTE> plate(8, 0x00);
    ASSERT_TRUE(RealizeBrushOnePlate(dev.get(), plate.data(), pattern.data(), {8, 8}, 4, palette, 2, BMF_1BPP));
    EXPECT_EQ(dev->shared.operation, 0) << c.what;
    if (c.fallback) {
      BYTE d = 0;
      RgbToDensity(&c.colour0, &d, 1);
      std::vector<BYTE> bits(8);
      ASSERT_TRUE(BuildBrushPatternBits(d, 6, {8, 8}, pattern.data(), bits.data()));
      for (int i = 0; i < 8; ++i) EXPECT_EQ(plate[i], BYTE(~bits[i])) << c.what;
      EXPECT_FALSE(PlateIsWhite(plate.data(), 8, 8, 1)) << c.what;
    } else {
      std::vector<BYTE> density(64), want(8);
      ConvertToDensity(dev.get(), pattern.data(), {0, 0, 7, 7}, 4, density.data(), {0, 0, 7, 7}, 8, palette, 2, BMF_1BPP);
      DitherMatrix8x8(density.data(), want.data(), {0, 0, 7, 7}, 8, 1);
      EXPECT_EQ(plate, want) << c.what;
    }
  }
}

TEST(RealizeBrush, TwoPlatesAndTheirFallback) {
  std::vector<BYTE> pattern(4 * 16, 0);
  for (int y = 0; y < 16; ++y) pattern[size_t(y) * 4] = BYTE(0x80 >> (y % 8));
  Device dev;
  dev->flags |= kPdevTwoPlanes;
  int checked = 0;
  for (int mode = 0; mode < 18; ++mode) {
    dev->separationModes[1] = std::uint8_t(mode);
    // A light colour: its dither is white; the fallback puts the pattern on its plate.
    const ULONG palette[2] = {Rgb(255, 255, 255), Rgb(252, 253, 251)};
    std::vector<BYTE> plate1(16, 0x00), plate2(16, 0x00);
    ASSERT_TRUE(RealizeBrushTwoPlates(dev.get(), plate1.data(), plate2.data(), pattern.data(), {8, 16}, 4, palette, 2,
                                      BMF_1BPP));
    const InkDensityPair light = dev->shared.paletteInk[1];
    if (light.density == 0 || light.density > 3) continue;  // dithers to something, or nothing to fall back on
    std::vector<BYTE> bits(16);
    ASSERT_TRUE(BuildBrushPatternBits(light.density, 6, {8, 16}, pattern.data(), bits.data()));
    std::vector<BYTE>& inked = light.plate == 2 ? plate2 : plate1;
    std::vector<BYTE>& other = light.plate == 2 ? plate1 : plate2;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(inked[i], BYTE(~bits[i])) << "mode " << mode;
    EXPECT_TRUE(PlateIsWhite(other.data(), 8, 16, 1)) << "mode " << mode;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace

namespace {

// HalftoneToPlanes: tone unless a mask blit follows, then diffusion or the
// screen, its phase from the picture rectangle.
TEST(HalftoneToPlanes, ToneThenDiffusionOrScreen) {
  const LONG w = 20, h = 10;
  std::vector<BYTE> density(size_t(w) * h);
  for (size_t i = 0; i < density.size(); ++i) density[i] = BYTE(i * 3);
  struct Case {
    const char* what;
    int photoMode;
    std::uint8_t operation, blitState;
    std::uint32_t previousRop4;
    bool tone, diffuse, plain;
  } cases[] = {
      {"screen", 0, 0, 0, 0xCCCC, true, false, false},
      {"diffusion", 1, 0, 0, 0xCCCC, true, true, false},
      {"photo mode 2 diffuses at the real size", 2, 0, 0, 0xCCCC, true, true, false},
      {"brush in photo mode 1 takes the plain screen", 1, 1, 0, 0xCCCC, true, false, true},
      {"mask blit without tone", 1, 0, 40, 0x8888, false, false, true},
      {"blit state 12 after SRCAND: no tone", 0, 0, 12, 0x8888, false, false, false},
      {"blit state 12 after SRCCOPY keeps tone", 0, 0, 12, 0xCCCC, true, false, false},
      {"blit state 30 after SRCPAINT: no tone", 0, 0, 30, 0xEEEE, false, false, false},
  };
  for (const auto& c : cases) {
    Device dev;
    dev->contrast = 6;
    dev->photoMode = std::uint8_t(c.photoMode);
    dev->shared.operation = c.operation;
    dev->image.blitState = c.blitState;
    dev->drawing.previousRop4 = c.previousRop4;
    dev->shared.pictureRect = {7, 3, 46, 22};
    Bands bands(40, 20, 1);
    std::vector<BYTE> work(density);
    ASSERT_TRUE(HalftoneToPlanes(dev.get(), bands.band(0), bands.stride, bands.rows, bands.rect(), work.data(), w,
                                 {0, 0, w - 1, h - 1}, 100, 45, 600))
        << c.what;
    std::vector<BYTE> toned(density);
    if (c.tone) {
      ToneAdjust(0, 6, 4, toned.data(), w, h, w);
      ApplyToneCurve(c.photoMode, 0, toned.data(), w, h, w, 0, false);
    }
    EXPECT_EQ(work, toned) << c.what;
    std::vector<BYTE> want(bands.copy(0).size(), 0xFF);
    const BandBuffer band{want.data(), bands.stride, bands.rows, {7, 3}};
    const DensityImage src{toned.data(), w, h, w};
    JobScreen* screen = ScreenOnFirstUse(dev.get(), 600, 100, 45);
    if (c.diffuse)
      DiffuseError({}, src, band, bands.rect());
    else if (c.plain)
      DitherScreenPlain(src, band, bands.rect(), screen->view());
    else
      DitherByScreen(DitherContextOf(dev.get()), src, band, bands.rect(), screen->view());
    EXPECT_EQ(bands.copy(0), want) << c.what;
  }
}

TEST(ScreenOnFirstUse, BuiltOnceWithTheFixedMatrixOfTwoInkModes) {
  Device dev;
  dev->flags |= kPdevTwoPlanes;
  dev->separationModes[2] = 9;
  JobScreen* first = ScreenOnFirstUse(dev.get(), 600, 200, 0);  // generated side 6, matrix 8
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->side, 8);
  EXPECT_GE(first->bytes, 64u);
  EXPECT_EQ(ScreenOnFirstUse(dev.get(), 300, 50, 10), first) << "kept for the job";
  FreeImageBuffers(dev.get());
  EXPECT_EQ(dev->image.screenTile, nullptr);
  plat::FailNthHeapAlloc(1);
  EXPECT_EQ(ScreenOnFirstUse(dev.get(), 600, 100, 45), nullptr);
  plat::FailNthHeapAlloc(0);
}

}  // namespace
