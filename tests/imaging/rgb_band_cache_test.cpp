// The RGB band cache of two-ink sheets: strips merged into one picture and
// flushed onto both planes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/halftone.h"
#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"

namespace {

constexpr LONG kPageW = 128, kPageH = 96;

// A two-drum page with caching on; planes white.
struct Page {
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  LONG stride = LONG(AlignTo4(RowBytes1bpp(kPageW)));
  std::vector<BYTE> planes = std::vector<BYTE>(size_t(stride) * kPageH * 2, 0xFF);
  explicit Page(int mode, int photoMode = 1) {
    RenderPdev& d = *pdev;
    d.flags = kPdevTwoPlanes;
    d.separationModes[2] = std::uint8_t(mode);
    d.photoMode = std::uint8_t(photoMode);
    d.imageCaching = 1;
    d.contrast = 4;
    d.brightness = 4;
    d.amiLine = 100;
    d.amiAngle = 30;
    d.resolutionX = d.resolutionY = 600;
    d.planeWidth = kPageW;
    d.planeHeight = kPageH;
    d.planeStride = stride;
    d.drum1Plane = planes.data();
    d.drum2Plane = planes.data() + size_t(stride) * kPageH;
    d.drum1Lab[0] = 40;
    d.drum2Lab[0] = 60;
    d.image.darkerDrumStrength = 255;
    d.drawing.rop4 = d.drawing.previousRop4 = 0xCCCC;
    d.shared.pictureFlag = 1;
  }
  ~Page() {
    FreeImageBuffers(pdev.get());
    ClearClipRectList(pdev.get());
    if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
  }
  // One strip: the source rows and columns of src at target (inclusive).
  void Strip(const std::vector<BYTE>& photo, LONG photoStride, const PdevRect& src, const PdevRect& target) {
    const CacheAnswer answer = CacheImageBand(pdev.get(), pdev->drum1Plane, pdev->drum2Plane, stride, &target,
                                              photo.data(), &src, photoStride, nullptr, 0, BMF_24BPP);
    ASSERT_TRUE(answer.ok);
    ASSERT_EQ(answer.bands.first, nullptr) << "the strip is cached";
  }
  long InkRows(LONG first, LONG last) const {
    long n = 0;
    for (int drum = 0; drum < 2; ++drum)
      for (LONG y = first; y <= last; ++y)
        for (LONG i = 0; i < stride; ++i)
          n += 8 - __builtin_popcount(planes[size_t(drum) * stride * kPageH + size_t(y) * stride + size_t(i)]);
    return n;
  }
  void Flush() {
    ASSERT_TRUE(FlushPicture(pdev.get(), nullptr, stride));
  }
  long Ink(int drum) const {
    long n = 0;
    const BYTE* plane = planes.data() + size_t(drum - 1) * stride * kPageH;
    for (size_t i = 0; i < size_t(stride) * kPageH; ++i) n += 8 - __builtin_popcount(plane[i]);
    return n;
  }
};

std::vector<BYTE> Photo(LONG w, LONG h) {
  std::vector<BYTE> p(size_t(3 * w) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      BYTE* px = &p[size_t(y) * 3 * w + 3 * size_t(x)];
      px[0] = BYTE(127 + 120 * std::sin(x * 0.21 + y * 0.05));
      px[1] = BYTE(127 + 120 * std::cos(y * 0.13));
      px[2] = BYTE(127 + 120 * std::sin(x * 0.07) * std::cos(y * 0.09));
    }
  return p;
}

// One photo sent as 1, 7 and 40 horizontal strips and as 3 x 4 tiles gives
// the same planes, screened and diffused.
TEST(RgbBandCache, StripsGiveTheWholePicture) {
  const LONG w = 60, h = 40, left = 20, top = 30;
  const std::vector<BYTE> photo = Photo(w, h);
  for (int photoMode : {0, 1}) {
    SCOPED_TRACE(photoMode ? "diffused" : "screened");
    std::vector<BYTE> whole;
    for (int strips : {1, 7, 40}) {
      SCOPED_TRACE(strips);
      Page page(2, photoMode);
      if (photoMode == 0) page.pdev->edge = 2;  // the screen caches too
      for (int k = 0; k < strips; ++k) {
        const LONG y0 = h * k / strips, y1 = h * (k + 1) / strips - 1;
        page.Strip(photo, 3 * w, {0, y0, w - 1, y1}, {left, top + y0, left + w - 1, top + y1});
      }
      page.Flush();
      EXPECT_GT(page.Ink(1), 0);
      EXPECT_GT(page.Ink(2), 0);
      if (whole.empty())
        whole = page.planes;
      else
        EXPECT_EQ(page.planes, whole);
    }
    Page tiles(2, photoMode);
    if (photoMode == 0) tiles.pdev->edge = 2;
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 3; ++col) {
        const LONG x0 = w * col / 3, x1 = w * (col + 1) / 3 - 1, y0 = h * row / 4, y1 = h * (row + 1) / 4 - 1;
        tiles.Strip(photo, 3 * w, {x0, y0, x1, y1}, {left + x0, top + y0, left + x1, top + y1});
      }
    tiles.Flush();
    EXPECT_EQ(tiles.planes, whole) << "tiles";
  }
}

// Enhanced and sharpened at the flush (a picture of 18 mm at 100 dpi): the
// same for 1 and 9 strips, and different from the plain picture.
TEST(RgbBandCache, EnhancedOnceWhateverTheStrips) {
  const LONG w = 72, h = 72, left = 30, top = 10;
  const std::vector<BYTE> photo = Photo(w, h);
  std::vector<BYTE> first, plain;
  for (int strips : {1, 9, 0}) {
    SCOPED_TRACE(strips);
    Page page(2, 1);
    page.pdev->resolutionX = page.pdev->resolutionY = 100;
    page.pdev->drawing.fixedResolutionX = page.pdev->drawing.fixedResolutionY = {100, 0};
    if (strips > 0) {
      page.pdev->edge = 1;
      page.pdev->backlight = 3;
    }
    const int n = strips > 0 ? strips : 1;
    for (int k = 0; k < n; ++k) {
      const LONG y0 = h * k / n, y1 = h * (k + 1) / n - 1;
      page.Strip(photo, 3 * w, {0, y0, w - 1, y1}, {left, top + y0, left + w - 1, top + y1});
    }
    page.Flush();
    if (strips == 0)
      plain = page.planes;
    else if (first.empty())
      first = page.planes;
    else
      EXPECT_EQ(page.planes, first);
  }
  EXPECT_NE(plain, first);
}

// Two rows stretched over ninety at 100 dpi: under one source row per
// centimetre, each enhancement band still takes at least a row.
TEST(RgbBandCache, PictureEnlargedBeyondARowPerCentimetre) {
  const std::vector<BYTE> photo = Photo(40, 2);
  Page page(2, 1);
  page.pdev->resolutionX = page.pdev->resolutionY = 100;
  page.pdev->drawing.fixedResolutionX = page.pdev->drawing.fixedResolutionY = {100, 0};
  page.pdev->edge = 1;
  page.pdev->backlight = 3;
  page.Strip(photo, 3 * 40, {0, 0, 39, 1}, {10, 2, 109, 91});
  page.Flush();
  EXPECT_GT(page.Ink(1) + page.Ink(2), 0);
  EXPECT_EQ(page.pdev->flags & kPdevImagePending, 0u);
}

// In mode 1 the picture prints on the drum-2 plane through the one-ink path.
TEST(RgbBandCache, ModeOnePrintsOnDrumTwo) {
  const LONG w = 40, h = 20;
  const std::vector<BYTE> photo = Photo(w, h);
  Page page(1);
  page.Strip(photo, 3 * w, {0, 0, w - 1, h / 2 - 1}, {10, 10, 10 + w - 1, 10 + h / 2 - 1});
  page.Strip(photo, 3 * w, {0, h / 2, w - 1, h - 1}, {10, 10 + h / 2, 10 + w - 1, 10 + h - 1});
  page.Flush();
  EXPECT_EQ(page.Ink(1), 0);
  EXPECT_GT(page.Ink(2), 0);
  EXPECT_EQ(page.pdev->flags & kPdevImagePending, 0u);
}

// Every allocation of a cached picture failing in turn: the picture falls
// back to direct bands or draws nothing, and nothing leaks.
TEST(RgbBandCache, EachFailedAllocation) {
  const LONG w = 30, h = 20;
  const std::vector<BYTE> photo = Photo(w, h);
  bool completed = false;
  for (std::size_t n = 1; n <= 40; ++n) {
    SCOPED_TRACE(n);
    const std::size_t before = plat::HeapLiveBytes();
    {
      Page page(3);
      plat::FailNthHeapAlloc(n);
      const PdevRect t1{5, 5, 5 + w - 1, 5 + h / 2 - 1}, s1{0, 0, w - 1, h / 2 - 1};
      const PdevRect t2{5, 5 + h / 2, 5 + w - 1, 5 + h - 1}, s2{0, h / 2, w - 1, h - 1};
      for (const auto& [t, s] : {std::pair{t1, s1}, std::pair{t2, s2}}) {
        const CacheAnswer answer = CacheImageBand(page.pdev.get(), page.pdev->drum1Plane, page.pdev->drum2Plane,
                                                  page.stride, &t, photo.data(), &s, 3 * w, nullptr, 0, BMF_24BPP);
        if (answer.bands.first) GlobalFree(answer.bands.first);  // the caller's direct-render bands
      }
      const BOOL flushed = CacheImageBand(page.pdev.get(), page.pdev->drum1Plane, page.pdev->drum2Plane, page.stride,
                                          nullptr, nullptr, nullptr, 0, nullptr, 0, 0)
                               .ok;
      plat::FailNthHeapAlloc(0);
      // Both halves drawn: nothing failed (the last rounds fail nothing).
      completed = flushed && page.InkRows(5, 5 + h / 2 - 1) > 0 && page.InkRows(5 + h / 2, 5 + h - 1) > 0;
      EXPECT_EQ(page.pdev->flags & kPdevImagePending, 0u);
    }
    EXPECT_EQ(plat::HeapLiveBytes(), before);
  }
  EXPECT_TRUE(completed);
}

}  // namespace

// A picture cached at its source's lower resolution (a stretch to three times
// its size) continued by a strip two rows high at the device resolution: the
// cache is resampled to the device grid first (each target pixel repeating
// source pixel floor(k S / T)), so the planes equal the upscaled picture and
// the strip sent as one strip at the device resolution.
TEST(RgbBandCache, StripAtAnotherResolutionResamplesTheCache) {
  const LONG sw = 20, sh = 10, scale = 3, w = sw * scale, h = sh * scale, left = 30, top = 20;
  const std::vector<BYTE> small = Photo(sw, sh);
  std::vector<BYTE> strip(size_t(3 * w) * 2);
  for (LONG x = 0; x < w; ++x)
    for (LONG y = 0; y < 2; ++y) {
      BYTE* px = &strip[size_t(y) * 3 * w + 3 * size_t(x)];
      px[0] = BYTE(4 * x);
      px[1] = BYTE(200 - 3 * x);
      px[2] = BYTE(90 + 60 * y);
    }
  // The same picture resampled by hand: the upscaled rows, then the strip.
  std::vector<BYTE> whole(size_t(3 * w) * (h + 2));
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x)
      std::memcpy(&whole[size_t(y) * 3 * w + 3 * size_t(x)],
                  &small[size_t(y * sh / h) * 3 * sw + 3 * size_t(x * sw / w)], 3);
  std::memcpy(&whole[size_t(h) * 3 * w], strip.data(), strip.size());
  for (int photoMode : {0, 1}) {
    SCOPED_TRACE(photoMode ? "diffused" : "screened");
    Page merged(2, photoMode), one(2, photoMode);
    for (Page* page : {&merged, &one})
      if (photoMode == 0) page->pdev->edge = 2;  // the screen caches too
    merged.Strip(small, 3 * sw, {0, 0, sw - 1, sh - 1}, {left, top, left + w - 1, top + h - 1});
    ImageBandCache* cache = merged.pdev->image.bandCache;
    ASSERT_NE(cache, nullptr);
    ASSERT_EQ(ImageWidth(cache->rgb), sw) << "held at the source's size";
    merged.Strip(strip, 3 * w, {0, 0, w - 1, 1}, {left, top + h, left + w - 1, top + h + 1});
    EXPECT_EQ(ImageWidth(cache->rgb), w) << "resampled to the device grid";
    EXPECT_EQ(ImageHeight(cache->rgb), h + 2);
    merged.Flush();
    one.Strip(whole, 3 * w, {0, 0, w - 1, h + 1}, {left, top, left + w - 1, top + h + 1});
    one.Flush();
    EXPECT_GT(one.Ink(1) + one.Ink(2), 0);
    EXPECT_EQ(merged.planes, one.planes);
  }
}
