// The 8-bit image band cache: which strips merge into one picture, that a
// picture sent in strips or tiles prints as the same picture sent whole, and
// what happens when memory runs out at any step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/image_band_cache.h"
#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "imaging/picture_halftone.h"
#include "planes/plane_ops.h"
#include "support/picture_page.h"

using namespace imaging;

namespace {

// A one-ink page in memory with the cache's settings: diffusion, 600 dpi.
struct Page : testsupport::PicturePage {
  explicit Page(LONG width, LONG height) : PicturePage(width, height, 85) {
    for (ULONG i = 0; i < 256; ++i) grey[i] = i | (i << 8) | (i << 16);
  }
  // The strip to the cache; bands it hands back are kept in direct.
  BOOL Strip(const std::vector<BYTE>& src, LONG srcWidth, const PdevRect& srcRect, const PdevRect& target) {
    const CacheAnswer answer = FlushOrMergeImage(pdev.get(), plane.data(), pdev->planeStride, &target, src.data(),
                                                 &srcRect, srcWidth, grey, 256, BMF_8BPP);
    direct = answer.bands;
    return answer.ok;
  }
  BOOL Flush() {
    const BOOL ok = FlushPicture(pdev.get(), plane.data(), pdev->planeStride);
    pdev->flags &= ~kPdevImagePending;
    return ok;
  }
  bool Blank() const {
    for (BYTE b : plane)
      if (b != 0xFF) return false;
    return true;
  }
  const ImageBuffer& Working() const { return pdev->image.bandCache->working; }
  ULONG grey[256];
  PictureBands direct{};
};

// A photograph: a diagonal ramp with a little texture, many levels.
std::vector<BYTE> Photo(LONG w, LONG h) {
  std::vector<BYTE> p(static_cast<std::size_t>(w) * h);
  std::uint32_t seed = 12345;
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int v = 30 + (x * 150) / w + (y * 60) / h + static_cast<int>((seed >> 16) % 13);
      p[static_cast<std::size_t>(y) * w + x] = static_cast<BYTE>(std::min(v, 255));
    }
  return p;
}

struct Piece {
  PdevRect source;
  PdevRect target;
};

// The source cut into rows x columns pieces, each drawn scale times larger at
// (left, top); pieces in reading order.
std::vector<Piece> Cut(LONG w, LONG h, LONG rows, LONG columns, LONG scale, LONG left, LONG top) {
  std::vector<Piece> pieces;
  for (LONG r = 0; r < rows; ++r)
    for (LONG c = 0; c < columns; ++c) {
      const LONG x0 = w * c / columns, x1 = w * (c + 1) / columns - 1;
      const LONG y0 = h * r / rows, y1 = h * (r + 1) / rows - 1;
      pieces.push_back({{x0, y0, x1, y1},
                        {left + x0 * scale, top + y0 * scale, left + (x1 + 1) * scale - 1, top + (y1 + 1) * scale - 1}});
    }
  return pieces;
}

std::vector<BYTE> Drawn(const std::function<void(Page&)>& settings, LONG w, LONG h, LONG rows, LONG columns,
                        LONG scale) {
  Page page(w * scale + 40, h * scale + 40);
  settings(page);
  const std::vector<BYTE> photo = Photo(w, h);
  for (const Piece& p : Cut(w, h, rows, columns, scale, 16, 8)) EXPECT_TRUE(page.Strip(photo, w, p.source, p.target));
  EXPECT_TRUE(page.pdev->flags & kPdevImagePending);
  EXPECT_TRUE(page.Blank()) << "nothing is drawn before the flush";
  EXPECT_TRUE(page.Flush());
  return page.plane;
}

// One photograph sent whole, in horizontal strips, vertical strips and tiles
// prints the same planes: one picture, halftoned once.
TEST(ImageBandCache, StripsAndTilesPrintAsTheWholePicture) {
  struct Case {
    const char* name;
    std::function<void(Page&)> settings;
    LONG w, h, scale;
  };
  const Case cases[] = {
      {"diffusion, enlarged", [](Page&) {}, 90, 90, 2},
      {"diffusion, same size", [](Page&) {}, 120, 80, 1},
      {"edge and backlight", [](Page& p) { p.pdev->edge = 1, p.pdev->backlight = 3; }, 200, 180, 2},
      {"screen with edge", [](Page& p) { p.pdev->photoMode = 0, p.pdev->edge = 1; }, 200, 180, 2},
      // Any photo mode but 0 asks for diffusion, so its pictures are cached too.
      {"photo mode 2", [](Page& p) { p.pdev->photoMode = 2; }, 120, 80, 1},
  };
  struct Split {
    LONG rows, columns;
  };
  const Split splits[] = {{7, 1}, {40, 1}, {1, 7}, {3, 4}};
  for (const Case& c : cases) {
    const std::vector<BYTE> whole = Drawn(c.settings, c.w, c.h, 1, 1, c.scale);
    bool inked = false;
    for (BYTE b : whole) inked |= b != 0xFF;
    EXPECT_TRUE(inked) << c.name;
    for (const Split& s : splits) {
      if (s.rows == 40 && c.scale == 1) continue;  // one-row strips continue a band instead
      EXPECT_EQ(Drawn(c.settings, c.w, c.h, s.rows, s.columns, c.scale), whole)
          << c.name << ": " << s.rows << " x " << s.columns;
    }
  }
}

// The merge decisions on a few strip sequences, by what the cache holds after
// them and whether anything was drawn before the final flush.
TEST(ImageBandCache, MergeDecisions) {
  struct Step {
    PdevRect source;
    PdevRect target;
    BYTE flipped;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    LONG workingWidth, workingHeight;  // of the picture pending after the steps
    bool drawnBefore;  // an earlier picture was flushed on the way
  };
  const Case cases[] = {
      {"ten strips, each below the last: one picture",
       [] {
         std::vector<Step> s;
         for (LONG i = 0; i < 10; ++i) s.push_back({{0, 4 * i, 39, 4 * i + 3}, {10, 20 + 4 * i, 49, 23 + 4 * i}, 0});
         return s;
       }(),
       40, 40, false},
      {"a strip overlapping the last by one row lands on its last row",
       {{{0, 0, 39, 9}, {10, 20, 49, 29}, 0}, {{0, 10, 39, 19}, {10, 29, 49, 38}, 0}}, 40, 19, false},
      {"a strip drawn bottom-up starts a new picture",
       {{{0, 0, 39, 9}, {10, 20, 49, 29}, 0}, {{0, 10, 39, 19}, {10, 30, 49, 39}, 1}}, 40, 10, true},
      {"a strip elsewhere on the page starts a new picture",
       {{{0, 0, 39, 9}, {10, 20, 49, 29}, 0}, {{0, 10, 39, 19}, {100, 100, 139, 109}, 0}}, 40, 10, true},
      {"a strip beside the last, same rows",
       {{{0, 0, 19, 9}, {10, 20, 29, 29}, 0}, {{20, 0, 39, 9}, {30, 20, 49, 29}, 0}}, 40, 10, false},
  };
  const std::vector<BYTE> photo = Photo(40, 40);
  for (const Case& c : cases) {
    Page page(200, 200);
    for (const Step& s : c.steps) {
      page.pdev->drawing.destinationFlipped = s.flipped;
      ASSERT_TRUE(page.Strip(photo, 40, s.source, s.target)) << c.name;
    }
    EXPECT_EQ(ImageWidth(page.Working()), c.workingWidth) << c.name;
    EXPECT_EQ(ImageHeight(page.Working()), c.workingHeight) << c.name;
    EXPECT_EQ(!page.Blank(), c.drawnBefore) << c.name;
    EXPECT_TRUE(page.Flush());
    EXPECT_FALSE(page.Blank()) << c.name;
    EXPECT_EQ(page.pdev->image.bandCache->working.buffer, nullptr);
  }
}

// With nothing pending a flush answers 4 and draws nothing; a strip at most
// two rows high that touches the merged rectangle continues the band.
TEST(ImageBandCache, EmptyFlushAndTwoRowStripContinuingTheBand) {
  Page page(200, 200);
  ImageBandCache* cache = BandCacheOf(page.pdev.get());
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(DecideMerge(page.pdev.get(), *cache, nullptr, BMF_8BPP, kCache8Bit), kMergeNothing);
  EXPECT_TRUE(page.Flush());
  EXPECT_TRUE(page.Blank());

  const std::vector<BYTE> photo = Photo(40, 40);
  ASSERT_TRUE(page.Strip(photo, 40, {0, 0, 39, 9}, {10, 20, 49, 29}));
  const PdevRect twoRows{10, 30, 49, 31};
  EXPECT_EQ(DecideMerge(page.pdev.get(), *cache, &twoRows, BMF_8BPP, kCache8Bit), kMergeContinueBand);
  const PdevRect other{10, 30, 49, 31};
  EXPECT_NE(DecideMerge(page.pdev.get(), *cache, &other, BMF_24BPP, kCache8Bit), kMergeContinueBand)
      << "another format never continues the band";
}

// A picture of one level (a black-and-white scan sent as 8 bpp) is screened,
// not diffused: its planes are those of the plain screen.
TEST(ImageBandCache, SingleLevelPictureIsScreened) {
  std::vector<BYTE> scan(64 * 64);
  for (std::size_t i = 0; i < scan.size(); ++i) scan[i] = (i / 64 / 8 + i % 64 / 8) % 2 ? 0 : 255;
  Page page(128, 128);
  ASSERT_TRUE(page.Strip(scan, 64, {0, 0, 63, 63}, {0, 0, 63, 63}));
  ASSERT_TRUE(page.Flush());
  // Black squares print solid and white ones stay white, with no diffusion
  // noise at their edges.
  for (LONG y = 0; y < 64; ++y)
    for (LONG x = 0; x < 64; ++x) {
      const bool ink = !(page.plane[static_cast<std::size_t>(y) * page.pdev->planeStride + x / 8] & (0x80 >> (x % 8)));
      ASSERT_EQ(ink, scan[static_cast<std::size_t>(y) * 64 + x] == 0) << x << "," << y;
    }
}

// A failure at every allocation of a two-strip picture and its flush: the
// strip is drawn directly or the picture unenhanced, nothing is left pending
// and nothing leaks.
TEST(ImageBandCache, AllocationFailureAtEveryStep) {
  const std::vector<BYTE> photo = Photo(200, 180);
  for (std::size_t n = 1; n < 40; ++n) {
    Page page(440, 400);
    page.pdev->edge = 1;
    page.pdev->backlight = 3;
    const std::size_t before = plat::HeapLiveBytes();
    plat::FailNthHeapAlloc(n);
    for (const Piece& p : Cut(200, 180, 2, 1, 2, 16, 8)) {
      page.Strip(photo, 200, p.source, p.target);
      if (page.pdev->shared.pictureFlag == 0 && page.direct.first) {
        GlobalFree(page.direct.first);  // the caller's direct-render bands
        page.direct = {};
      }
    }
    page.Flush();
    plat::FailNthHeapAlloc(0);
    EXPECT_FALSE(page.pdev->flags & kPdevImagePending) << n;
    ImageBandCache* cache = page.pdev->image.bandCache;
    if (cache) {
      EXPECT_EQ(cache->working.buffer, nullptr) << n;
      EXPECT_EQ(cache->target.buffer, nullptr) << n;
    }
    FreeImageBuffers(page.pdev.get());
    if (page.pdev->image.diffusionCarryRow) {
      GlobalFree(page.pdev->image.diffusionCarryRow);
      page.pdev->image.diffusionCarryRow = nullptr;
    }
    EXPECT_EQ(plat::HeapLiveBytes(), before) << n;
  }
}

// The working image never grows beyond the page: a merge that would is taken
// as a failed allocation and the strip is drawn directly.
TEST(ImageBandCache, WorkingImageStaysWithinThePage) {
  Page page(64, 40);
  const std::vector<BYTE> photo = Photo(64, 64);
  ASSERT_TRUE(page.Strip(photo, 64, {0, 0, 63, 29}, {0, 0, 63, 29}));
  EXPECT_EQ(page.pdev->shared.pictureFlag, 1);
  // Below the page's last row: the working image would exceed the page.
  ASSERT_TRUE(page.Strip(photo, 64, {0, 30, 63, 63}, {0, 30, 63, 63}));
  EXPECT_EQ(page.pdev->shared.pictureFlag, 0);
  ASSERT_NE(page.direct.first, nullptr);
  EXPECT_NE(page.direct.second, nullptr);
  GlobalFree(page.direct.first);
  EXPECT_FALSE(page.Blank()) << "the first picture was flushed";
}

// A picture enlarged below 2.54 dpi has less than a density row per
// centimetre: its bands still hold a row, and the flush ends.
TEST(ImageBandCache, PictureEnlargedBeyondARowPerCentimetre) {
  Page page(440, 640);
  page.pdev->edge = 1;
  page.pdev->backlight = 3;
  const std::vector<BYTE> photo = Photo(40, 2);
  ASSERT_TRUE(page.Strip(photo, 40, {0, 0, 39, 1}, {10, 10, 409, 609}));
  EXPECT_TRUE(page.Flush());
  EXPECT_FALSE(page.Blank());
}

// Sharpening of a one-pixel-wide or -high target leaves that ratio out
// instead of dividing by zero.
TEST(ImageBandCache, SharpeningOfAOnePixelTarget) {
  auto pdev = std::make_unique<RenderPdev>();
  pdev->drawing.fixedResolutionX = pdev->drawing.fixedResolutionY = PdevFixed{600, 0};
  std::vector<BYTE> image(8 * 8, 40);
  image[27] = 200;
  SharpenDensityImage(image.data(), 8, 8, 8, PdevRect{0, 0, 0, 0}, pdev.get());
  EXPECT_EQ(image[27], 255) << "effective resolution 0: the pixel kernel";
  SharpenDensityImage(image.data(), 8, 8, 8, PdevRect{0, 0, 0, 7}, pdev.get());
}

}  // namespace

namespace {

// The source's rows (or columns) cut as printjob cuts a stretch: strips of
// h / n rows, the last taking the rest, each to its share of the target's rows.
std::vector<Piece> StretchStrips(LONG w, LONG h, LONG n, const PdevRect& target, bool columns) {
  std::vector<Piece> pieces;
  const LONG size = columns ? w : h, each = size / n;
  const std::int64_t span = columns ? RectWidth(target) : RectHeight(target);
  const LONG start = columns ? target.left : target.top;
  for (LONG i = 0; i < n; ++i) {
    const LONG s0 = i * each, s1 = i + 1 == n ? size : (i + 1) * each;
    const auto t0 = static_cast<LONG>(start + span * s0 / size), t1 = static_cast<LONG>(start + span * s1 / size - 1);
    if (columns)
      pieces.push_back({{s0, 0, s1 - 1, h - 1}, {t0, target.top, t1, target.bottom}});
    else
      pieces.push_back({{0, s0, w - 1, s1 - 1}, {target.left, t0, target.right, t1}});
  }
  return pieces;
}

// Strips of a picture stretched by uneven factors merge into the working
// image of the whole picture, row for row (column for column): the same
// size, no blank row, the same planes. Also when the first strip happens to
// land 1:1 and the picture is held on the device grid until an enlarged
// strip comes.
TEST(ImageBandCache, StripsAtUnevenScalesPrintAsTheWholePicture) {
  struct Case {
    LONG w, h;  // source
    LONG tw, th;  // target
    LONG strips;
    bool columns;
  };
  const Case cases[] = {
      {90, 90, 200, 200, 7, false}, {90, 90, 100, 100, 9, false}, {61, 53, 150, 171, 5, false},
      {80, 70, 80, 101, 10, false}, {64, 64, 97, 64, 4, false},   {50, 97, 173, 211, 13, false},
      {90, 60, 200, 130, 7, true},
      // The first strip lands 1:1, the later ones are enlarged.
      {60, 100, 60, 105, 10, false}, {60, 100, 90, 105, 10, false}, {60, 40, 60, 43, 4, false},
      {100, 60, 105, 60, 10, true},
  };
  for (const Case& c : cases) {
    const std::vector<BYTE> photo = Photo(c.w, c.h);
    const PdevRect target{16, 8, 16 + c.tw - 1, 8 + c.th - 1};
    const auto draw = [&](LONG strips, LONG& workingSize) {
      Page page(c.tw + 40, c.th + 40);
      for (const Piece& p : StretchStrips(c.w, c.h, strips, target, c.columns))
        EXPECT_TRUE(page.Strip(photo, c.w, p.source, p.target));
      EXPECT_TRUE(page.Blank());
      workingSize = c.columns ? ImageWidth(page.Working()) : ImageHeight(page.Working());
      EXPECT_TRUE(page.Flush());
      return page.plane;
    };
    LONG wholeSize = 0, stripsSize = 0;
    const std::vector<BYTE> whole = draw(1, wholeSize);
    const std::vector<BYTE> strips = draw(c.strips, stripsSize);
    EXPECT_EQ(stripsSize, wholeSize) << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th;
    EXPECT_EQ(strips, whole) << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th;
  }
}

// Strips that send again the last source rows of the strip before them, so
// their targets overlap: the picture still prints as the same picture sent
// whole. An overlap of at most one source row's dots starts the strip on the
// last strip's last row; a larger one places it at its own scaled place.
TEST(ImageBandCache, OverlappingStripsPrintAsTheWholePicture) {
  struct Case {
    const char* name;
    LONG scale;
    LONG repeatedRows;  // source rows each strip sends again
  };
  const Case cases[] = {
      {"no overlap, twice the size", 2, 0},
      {"one source row (less than the threshold), twice the size", 2, 1},
      {"two source rows (more than the threshold), twice the size", 2, 2},
      {"no overlap, three times the size", 3, 0},
      {"one source row (less than the threshold), three times the size", 3, 1},
      {"two source rows (more than the threshold), three times the size", 3, 2},
      {"three source rows (more than the threshold), three times the size", 3, 3},
      {"one row on the device grid", 1, 1},
      {"three rows on the device grid", 1, 3},
  };
  constexpr LONG kWidth = 60, kHeight = 48, kStrips = 4, kLeft = 16, kTop = 8;
  const std::vector<BYTE> photo = Photo(kWidth, kHeight);
  for (const Case& c : cases) {
    const auto draw = [&](LONG strips) {
      Page page(kWidth * c.scale + 40, kHeight * c.scale + 40);
      for (LONG k = 0; k < strips; ++k) {
        const LONG first = std::max<LONG>(0, kHeight * k / strips - (k > 0 ? c.repeatedRows : 0));
        const LONG last = kHeight * (k + 1) / strips - 1;
        const PdevRect source{0, first, kWidth - 1, last};
        const PdevRect target{kLeft, kTop + first * c.scale, kLeft + kWidth * c.scale - 1, kTop + (last + 1) * c.scale - 1};
        EXPECT_TRUE(page.Strip(photo, kWidth, source, target)) << c.name << ", strip " << k;
      }
      EXPECT_TRUE(page.Blank()) << c.name << ": one picture, drawn at the flush";
      EXPECT_EQ(ImageHeight(page.Working()), kHeight) << c.name;
      EXPECT_TRUE(page.Flush());
      return page.plane;
    };
    const std::vector<BYTE> whole = draw(1);
    EXPECT_EQ(draw(kStrips), whole) << c.name;
  }
}

}  // namespace

namespace {

// The planes of a 400 x 400 picture (two 200-row strips of a photo drawn
// twice its size, 17 mm: large enough to enhance), failing the n-th heap
// allocation of the flush when n > 0.
std::vector<BYTE> FlushedPicture(const std::function<void(Page&)>& settings, std::size_t failAtFlush) {
  Page page(440, 440);
  settings(page);
  const std::vector<BYTE> photo = Photo(200, 200);
  for (const Piece& p : Cut(200, 200, 2, 1, 2, 16, 8)) EXPECT_TRUE(page.Strip(photo, 200, p.source, p.target));
  plat::FailNthHeapAlloc(failAtFlush);
  EXPECT_TRUE(page.Flush());
  plat::FailNthHeapAlloc(0);
  return page.plane;
}

// When the enhancement buffers cannot be had (the carry or either map set:
// the second to fourth allocation of the flush, after the band), the picture
// prints unenhanced: the planes of the same picture with enhancement off,
// not a blank.
TEST(ImageBandCache, FailedEnhancementPrintsThePictureUnenhanced) {
  const auto off = [](Page&) {};
  const auto on = [](Page& p) { p.pdev->backlight = 3; };
  const std::vector<BYTE> unenhanced = FlushedPicture(off, 0);
  const std::vector<BYTE> enhanced = FlushedPicture(on, 0);
  ASSERT_NE(enhanced, unenhanced) << "the picture qualifies for enhancement";
  std::size_t inked = 0;
  for (BYTE b : unenhanced) inked += b != 0xFF;
  ASSERT_GT(inked, 1000u);
  for (std::size_t n : {2, 3, 4}) EXPECT_EQ(FlushedPicture(on, n), unenhanced) << "allocation " << n << " fails";
}

// Whitening leaves density records without ink (0) and RGB and one-bit
// records white (255), over the area's rows only.
TEST(ImageBandCache, WhiteningByRecordFormat) {
  struct Case {
    BYTE format;
    BYTE white;
  };
  for (const Case& c : {Case{kFormat8Bpp, 0x00}, Case{kFormat24Bpp, 0xFF}, Case{kFormat1Bpp, 0xFF}}) {
    const LONG w = 10, h = 4, stride = 40;
    std::vector<BYTE> bytes(static_cast<std::size_t>(stride) * (h + 1), 0x5A);
    ImageBuffer r{};
    ImageBufferInit(r, 0, 0, w, h, FixedFromInt(600), FixedFromInt(600), c.format);
    r.buffer = bytes.data();
    r.stride = stride;
    EXPECT_EQ(ImageBufferWhiten(r), 1);
    const auto rowBytes = static_cast<std::size_t>(ImageStride(w, c.format));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const bool inArea = i / stride < static_cast<std::size_t>(h) && i % stride < rowBytes;
      ASSERT_EQ(bytes[i], inArea ? c.white : 0x5A) << int(c.format) << " byte " << i;
    }
  }
  ImageBuffer none{};
  EXPECT_EQ(ImageBufferWhiten(none), 0);
}

// A two-row strip continuing an enlarged picture is first copied at its
// target size. When the strip is drawn bottom-up the merge becomes a new
// picture, which is started from that copy; the copy is freed either way
// and nothing leaks.
TEST(ImageBandCache, RescaledStripCopyIsFreedWhicheverStepUsedIt) {
  for (BYTE flipped : {0, 1}) {
    const std::vector<BYTE> photo = Photo(40, 40);
    std::size_t before = 0;
    {
      Page page(200, 200);
      ImageBandCache* cache = BandCacheOf(page.pdev.get());
      ASSERT_NE(cache, nullptr);
      before = plat::HeapLiveBytes();
      ASSERT_TRUE(page.Strip(photo, 40, {0, 0, 39, 19}, {10, 20, 89, 59}));  // enlarged twice
      const PdevRect next{10, 60, 89, 61};
      ASSERT_EQ(DecideMerge(page.pdev.get(), *cache, &next, BMF_8BPP, kCache8Bit), kMergeContinueBand);
      page.pdev->image.earlierRect = page.pdev->image.operationRect = {10, 20, 89, 59};
      page.pdev->drawing.destinationFlipped = flipped;
      ASSERT_TRUE(page.Strip(photo, 40, {0, 20, 39, 20}, next));
      page.pdev->drawing.destinationFlipped = 0;
      EXPECT_TRUE(page.pdev->flags & kPdevImagePending) << int(flipped);
      EXPECT_EQ(!page.Blank(), flipped == 1) << "the flipped strip flushed the picture before it";
      EXPECT_TRUE(page.Flush());
      // The strip's rows carry the photo's ink.
      std::size_t inked = 0;
      for (LONG y = 60; y <= 61; ++y)
        for (LONG x = 10; x <= 89; ++x)
          inked += !(page.plane[static_cast<std::size_t>(y) * page.pdev->planeStride + x / 8] & (0x80 >> (x % 8)));
      EXPECT_GT(inked, 0u) << int(flipped);
      FreeImageBuffers(page.pdev.get());
      ClearClipRectList(page.pdev.get());
      if (page.pdev->image.diffusionCarryRow) {
        GlobalFree(page.pdev->image.diffusionCarryRow);
        page.pdev->image.diffusionCarryRow = nullptr;
      }
      // BandCacheOf made the cache before the count began.
      EXPECT_EQ(plat::HeapLiveBytes() + sizeof(ImageBandCache), before) << int(flipped);
    }
  }
}

}  // namespace

namespace {

// A page-high picture in 60 strips: the working image doubles its room and,
// where doubling would pass the page, takes the page's room at once, so it
// is moved a handful of times, not once per strip near the end.
TEST(ImageBandCache, WorkingImageGrowsByDoublingUpToThePage) {
  Page page(256, 240);
  const std::vector<BYTE> photo = Photo(256, 240);
  std::vector<const BYTE*> blocks;
  for (const Piece& p : Cut(256, 240, 60, 1, 1, 0, 0)) {
    ASSERT_TRUE(page.Strip(photo, 256, p.source, p.target));
    ASSERT_EQ(page.pdev->shared.pictureFlag, 1);
    if (blocks.empty() || blocks.back() != page.Working().block) blocks.push_back(page.Working().block);
  }
  EXPECT_EQ(ImageHeight(page.Working()), 240);
  EXPECT_LE(blocks.size(), 7u) << "4, 8, 16, ... 128, then the page's 240 rows";
  EXPECT_LE(page.Working().blockBytes, WorkingImageLimit(page.pdev.get()));
  EXPECT_TRUE(page.Flush());
}

}  // namespace
