#include "imaging/enhancement.h"

#include <algorithm>
#include <cstring>

#include "imaging/density.h"
#include "imaging/scratch.h"
#include "imaging/tone.h"
#include "planes/plane_ops.h"

namespace imaging {

void FillIdentityMaps(BYTE* maps, LONG count) {
  for (LONG m = 0; m < count; ++m)
    for (int i = 0; i < 256; ++i) maps[std::int64_t{m} * 256 + i] = static_cast<BYTE>(i);
}

BOOL AllocEnhanceBuffers(EnhanceContext& ctx, LONG widthBytes, LONG halfRows, LONG mapsCount) {
  FreeEnhanceBuffers(ctx);
  if (widthBytes <= 0 || halfRows < 0 || mapsCount <= 0) return FALSE;
  const auto carryBytes = CheckedBytes(static_cast<std::uint64_t>(widthBytes), static_cast<std::uint64_t>(halfRows) + 1);
  const auto mapBytes = CheckedBytes(static_cast<std::uint64_t>(mapsCount), 256);
  if (!carryBytes || !mapBytes) return FALSE;
  ctx.carry = static_cast<BYTE*>(GlobalAlloc(GPTR, *carryBytes));
  ctx.previousMaps = static_cast<BYTE*>(GlobalAlloc(GPTR, *mapBytes));
  ctx.currentMaps = static_cast<BYTE*>(GlobalAlloc(GPTR, *mapBytes));
  if (!ctx.carry || !ctx.previousMaps || !ctx.currentMaps) {
    FreeEnhanceBuffers(ctx);
    return FALSE;
  }
  FillIdentityMaps(ctx.previousMaps, mapsCount);
  FillIdentityMaps(ctx.currentMaps, mapsCount);
  ctx.mapsCount = mapsCount;
  ctx.widthBytes = widthBytes;
  return TRUE;
}

void FreeEnhanceBuffers(EnhanceContext& ctx) {
  if (ctx.carry) GlobalFree(ctx.carry);
  if (ctx.previousMaps) GlobalFree(ctx.previousMaps);
  if (ctx.currentMaps) GlobalFree(ctx.currentMaps);
  ctx.carry = ctx.previousMaps = ctx.currentMaps = nullptr;
  ctx.mapsCount = 0;
  ctx.widthBytes = 0;
}

namespace {

constexpr int kCurveX[5] = {0, 10, 40, 70, 128};
constexpr int kCurveY[5] = {35, 50, 140, 250, 400};

// The clip curve at spread s with each percent scaled by num / den (truncated).
LONG CurveAt(LONG s, std::int64_t num, std::int64_t den) {
  std::int64_t y[5];
  for (int i = 0; i < 5; ++i) y[i] = kCurveY[i] * num / den;
  if (s < 0) s = 0;
  for (int i = 1; i < 5; ++i)
    if (kCurveX[i] > s) return static_cast<LONG>(y[i - 1] + (s - kCurveX[i - 1]) * (y[i] - y[i - 1]) / (kCurveX[i] - kCurveX[i - 1]));
  return static_cast<LONG>(y[4]);
}

// The equalisation map of a histogram whose bins (in 1/256 units or plain)
// are clipped at `clip`, the excess spread over all bins as excess / 256.
void ClippedEqualisation(const std::uint64_t bins[256], std::uint64_t clip, BYTE map[256]) {
  std::uint64_t b[256];
  std::uint64_t excess = 0;
  for (int i = 0; i < 256; ++i) {
    b[i] = bins[i];
    if (b[i] > clip) {
      excess += b[i] - clip;
      b[i] = clip;
    }
  }
  const std::uint64_t add = excess >> 8;
  std::uint64_t sums[256];
  std::uint64_t running = 0;
  for (int i = 0; i < 256; ++i) sums[i] = running += b[i] + add;
  if (running == 0) {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<BYTE>(i);
    return;
  }
  map[0] = 0;
  for (int i = 1; i < 256; ++i) map[i] = static_cast<BYTE>(sums[i] * 255 / running);
}

}  // namespace

void BuildBrightnessContrastMap(BYTE map[256], int contrast, int brightness) {
  static constexpr int kSlope[7] = {50, 67, 80, 100, 125, 150, 200};
  static constexpr int kOffset[8] = {0, 90, 60, 30, 0, -30, -60, -90};
  const int slope = kSlope[std::clamp(contrast, 1, 7) - 1];
  const int offset = brightness >= 0 && brightness <= 7 ? kOffset[brightness] : 0;
  map[0] = 0;
  for (int i = 1; i < 256; ++i) {
    const int c = 128 + (i - 128) * slope / 100;
    map[i] = static_cast<BYTE>(std::clamp(c + offset, 0, 255));
  }
  for (int i = 1; i <= 9; ++i) map[i] = static_cast<BYTE>(i * map[10] / 10);
}

LONG HistogramSpread(const DWORD histogram[256], std::uint64_t pixels) {
  if (pixels == 0) return 0;
  std::uint64_t weighted = 0;
  for (int i = 0; i < 256; ++i) weighted += std::uint64_t{histogram[i]} * i;
  const auto mean = static_cast<std::int64_t>((2 * weighted + pixels) / (2 * pixels));
  std::uint64_t squares = 0;
  for (int i = 0; i < 256; ++i) {
    const std::int64_t d = i - mean;
    squares += static_cast<std::uint64_t>(d * d) * histogram[i];
  }
  const auto variance = static_cast<std::int32_t>(squares / pixels);
  return DecimalToInt(DecimalSqrt(DecimalFromInt(variance)));
}

LONG ComputeClipLimit(const DWORD histogram[256], std::uint64_t pixels, int level, int colour) {
  static constexpr int kLevelTimesTwo[6] = {0, 0, 1, 2, 4, 8};
  if (level <= 1) return 0;
  const std::int64_t levelFactor = kLevelTimesTwo[std::min(level, 5)];
  const std::int64_t num = levelFactor * (colour ? 4 : 5), den = 2 * 5;
  return CurveAt(HistogramSpread(histogram, pixels), num, den);
}

void ComputeAutoContrastMap(const DWORD histogram[256], BYTE map[256], int colour) {
  std::uint64_t n = 0, weighted = 0;
  for (int i = 0; i < 256; ++i) {
    n += histogram[i];
    weighted += std::uint64_t{histogram[i]} * i;
  }
  if (n == 0) {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<BYTE>(i);
    return;
  }
  const auto mean = static_cast<std::int64_t>(weighted / n);
  std::uint64_t squares = 0;
  for (int i = 0; i < 256; ++i) squares += static_cast<std::uint64_t>((i - mean) * (i - mean)) * histogram[i];
  const auto variance = static_cast<std::int32_t>(squares / n);
  const LONG spread = DecimalToInt(DecimalSqrt(DecimalFromInt(variance)));
  const LONG percent = CurveAt(spread, colour ? 6 : 10, 10);
  std::uint64_t bins[256];
  for (int i = 0; i < 256; ++i) bins[i] = histogram[i];
  ClippedEqualisation(bins, n * static_cast<std::uint64_t>(percent) / 25600, map);
}

namespace {

// Equalises the band's tile columns 1..mapsCount-2 from their histograms;
// densityAt(row, x) is a pixel's density, rgb picks the clip limit's kind.
template <typename DensityAt>
void EqualizeTiles(const BYTE* band, LONG width, LONG stride, LONG rows, BYTE* maps, LONG mapsCount, LONG tile,
                   int level, int rgb, DensityAt densityAt) {
  if (tile <= 0 || width <= 0 || rows <= 0) return;
  for (LONG k = 1; k + 1 < mapsCount; ++k) {
    const std::int64_t x0 = std::int64_t{k - 1} * tile;
    if (x0 >= width) break;
    const std::int64_t x1 = std::min<std::int64_t>(x0 + tile, width);
    DWORD h[256] = {};
    for (LONG y = 0; y < rows; ++y) {
      const BYTE* row = band + std::int64_t{y} * stride;
      for (std::int64_t x = x0; x < x1; ++x) ++h[densityAt(row, x)];
    }
    const std::uint64_t pixels = static_cast<std::uint64_t>(x1 - x0) * static_cast<std::uint64_t>(rows);
    std::uint64_t bins[256];
    for (int i = 0; i < 256; ++i) bins[i] = std::uint64_t{h[i]} * 256;
    const std::uint64_t clip = pixels * static_cast<std::uint64_t>(ComputeClipLimit(h, pixels, level, rgb)) / 100;
    ClippedEqualisation(bins, clip, maps + std::int64_t{k} * 256);
  }
}

}  // namespace

void EqualizeTilesGray(const BYTE* band, LONG width, LONG stride, LONG rows, BYTE* maps, LONG mapsCount, LONG tile,
                       int level) {
  EqualizeTiles(band, width, stride, rows, maps, mapsCount, tile, level, 0,
                [](const BYTE* row, std::int64_t x) { return row[x]; });
}

void EqualizeTilesRgb(const BYTE* band, LONG width, LONG stride, LONG rows, BYTE* maps, LONG mapsCount, LONG tile,
                      int level) {
  EqualizeTiles(band, width, stride, rows, maps, mapsCount, tile, level, 1, [](const BYTE* row, std::int64_t x) {
    const BYTE* p = row + 3 * x;
    return ((2449 * p[2] + 4805 * p[1] + 938 * p[0]) >> 13) ^ 0xFF;
  });
}

namespace {

// The bilinear blend of one row: each column's value through the four maps
// around it. channels 1 maps density bytes, 3 maps 255 - c of each channel.
template <int channels>
void BlendRow(BYTE* row, LONG width, const BYTE* upper, const BYTE* lower, LONG mapsCount, LONG tile,
              std::int64_t a, std::int64_t b) {
  const LONG half = tile / 2;
  const std::int64_t square = std::int64_t{tile} * tile;
  const LONG segments = (width % tile == 0 || width % tile > half) ? mapsCount - 1 : mapsCount - 2;
  std::int64_t x = 0;
  for (LONG s = 0; s < segments && x < width; ++s) {
    const LONG span = s == 0 ? half : tile;
    std::int64_t l = s == 0 ? half : tile;
    std::int64_t r = s == 0 ? tile - half : 0;
    const BYTE* ul = upper + std::int64_t{s} * 256;
    const BYTE* ur = ul + 256;
    const BYTE* ll = lower + std::int64_t{s} * 256;
    const BYTE* lr = ll + 256;
    const std::int64_t end = s + 1 == segments ? width : std::min<std::int64_t>(width, x + span);
    for (; x < end; ++x, --l, ++r) {
      const std::int64_t wl = std::max<std::int64_t>(l, 0), wr = std::min<std::int64_t>(r, tile);
      for (int c = 0; c < channels; ++c) {
        BYTE& v = row[x * channels + c];
        const int in = channels == 1 ? v : 255 - v;
        const std::int64_t out = (ul[in] * wl * a + ur[in] * wr * a + ll[in] * wl * b + lr[in] * wr * b) / square;
        v = static_cast<BYTE>(channels == 1 ? out : 255 - out);
      }
    }
  }
}

template <int channels>
void BlendRows(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE* upper, const BYTE* lower, LONG mapsCount,
               LONG tile, bool startHalf) {
  if (tile <= 0 || width <= 0 || mapsCount < 2) return;
  const LONG half = tile / 2;
  std::int64_t a = startHalf ? half : tile, b = startHalf ? tile - half : 0;
  for (LONG y = 0; y < rows; ++y, --a, ++b)
    BlendRow<channels>(band + std::int64_t{y} * stride, width, upper, lower, mapsCount, tile,
                       std::max<std::int64_t>(a, 0), std::min<std::int64_t>(b, tile));
}

}  // namespace

void BlendTileMapsGray(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE* upper, const BYTE* lower,
                       LONG mapsCount, LONG tile, bool startHalf) {
  BlendRows<1>(band, width, stride, rows, upper, lower, mapsCount, tile, startHalf);
}

void BlendTileMapsRgb(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE* upper, const BYTE* lower,
                      LONG mapsCount, LONG tile, bool startHalf) {
  BlendRows<3>(band, width, stride, rows, upper, lower, mapsCount, tile, startHalf);
}

void ApplyMapGray(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE map[256]) {
  for (LONG y = 0; y < rows; ++y) {
    BYTE* row = band + std::int64_t{y} * stride;
    for (LONG x = 0; x < width; ++x) row[x] = map[row[x]];
  }
}

void ApplyMapRgbInverted(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE map[256]) {
  for (LONG y = 0; y < rows; ++y) {
    BYTE* row = band + std::int64_t{y} * stride;
    for (std::int64_t x = 0; x < std::int64_t{width} * 3; ++x) row[x] = static_cast<BYTE>(255 - map[255 - row[x]]);
  }
}

// ---- Decimal4: values held in ten-thousandths ----

namespace {

constexpr std::int64_t kScale = 10000;
std::int64_t Raw(Decimal4 a) { return std::int64_t{a.integer} * kScale + a.tenThousandths; }
Decimal4 FromRaw(std::int64_t v) {
  return {static_cast<std::int32_t>(v / kScale), static_cast<std::int32_t>(v % kScale)};
}
// n / d to the nearest, halves away from zero.
std::int64_t DivNearest(std::int64_t n, std::int64_t d) {
  if (d < 0) n = -n, d = -d;
  return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

}  // namespace

Decimal4 DecimalFromInt(std::int32_t n) { return {n, 0}; }
std::int32_t DecimalToInt(Decimal4 a) { return static_cast<std::int32_t>(DivNearest(Raw(a), kScale)); }
Decimal4 DecimalAdd(Decimal4 a, Decimal4 b) { return FromRaw(Raw(a) + Raw(b)); }
Decimal4 DecimalSub(Decimal4 a, Decimal4 b) { return FromRaw(Raw(a) - Raw(b)); }
Decimal4 DecimalMul(Decimal4 a, Decimal4 b) {
  return FromRaw(static_cast<std::int64_t>(DivNearest(Raw(a) * Raw(b), kScale)));
}
Decimal4 DecimalDiv(Decimal4 a, Decimal4 b) {
  if (Raw(b) == 0) return {0, 0};
  return FromRaw(DivNearest(Raw(a) * kScale, Raw(b)));
}
bool DecimalLess(Decimal4 a, Decimal4 b) { return Raw(a) < Raw(b); }
Decimal4 DecimalAbs(Decimal4 a) { return FromRaw(Raw(a) < 0 ? -Raw(a) : Raw(a)); }

Decimal4 DecimalSqrt(Decimal4 x) {
  if (Raw(x) <= 0) return {0, 0};
  const Decimal4 two = DecimalFromInt(2);
  const Decimal4 tolerance{0, 10};
  Decimal4 v = DecimalDiv(x, two);
  for (int i = 0; i < 200; ++i) {
    const Decimal4 next = DecimalAdd(DecimalDiv(v, two), DecimalDiv(x, DecimalMul(two, v)));
    const bool done = !DecimalLess(tolerance, DecimalAbs(DecimalSub(next, v)));
    v = next;
    if (done || Raw(v) == 0) break;
  }
  return v;
}

// ---- the band pipelines ----

namespace {

// The geometry of a band that is not the last: T from its rows.
bool SetUpBand(EnhanceContext& ctx, LONG width, LONG rows, LONG pictureHeight, int bandKind) {
  if (bandKind != kBandLast) {
    ctx.tileSize = std::max<LONG>(rows, 1);
    ctx.pictureHeight = pictureHeight;
    ctx.halfTile = (ctx.tileSize + 1) / 2;
    ctx.halfHeight = pictureHeight / 2;
    ctx.wholePicture = bandKind == kBandWhole ? 1 : 0;
  }
  if (ctx.tileSize <= 0 || width <= 0) return false;
  const std::int64_t n = (std::int64_t{width} + ctx.tileSize - 1) / ctx.tileSize;
  return n + 2 <= ctx.mapsCount && ctx.previousMaps && ctx.currentMaps && ctx.carry;
}

struct BandOps {
  void (*equalize)(const BYTE*, LONG, LONG, LONG, BYTE*, LONG, LONG, int);
  void (*blend)(BYTE*, LONG, LONG, LONG, const BYTE*, const BYTE*, LONG, LONG, bool);
  LONG bytesPerPixel;
};

// Steps 4-7 of both pipelines: tile maps, blends across bands and tiles, and
// the rows carried to the next band.
void EqualizeAndBlend(BYTE* band, LONG width, LONG rows, LONG stride, int bandKind, int level, EnhanceContext& ctx,
                      const BandOps& ops) {
  const LONG T = ctx.tileSize, H = ctx.halfTile;
  const LONG count = ctx.mapsCount;
  const std::int64_t rowBytes = std::int64_t{width} * ops.bytesPerPixel;
  ops.equalize(band, width, stride, rows, ctx.currentMaps, count, T, level);
  if (bandKind == kBandMiddle || bandKind == kBandLast)
    ops.blend(ctx.carry, width, static_cast<LONG>(rowBytes), H, ctx.previousMaps, ctx.currentMaps, count, T, false);
  const LONG top = std::min(T - H, rows);
  ops.blend(band, width, stride, top, ctx.previousMaps, ctx.currentMaps, count, T, true);
  if (bandKind == kBandWhole || bandKind == kBandLast) {
    std::swap(ctx.previousMaps, ctx.currentMaps);
    FillIdentityMaps(ctx.currentMaps, count);
    if (rows > top)
      ops.blend(band + std::int64_t{top} * stride, width, stride, rows - top, ctx.previousMaps, ctx.currentMaps, count,
                T, false);
  }
  if (bandKind == kBandMiddle || bandKind == kBandLast)
    for (LONG y = 0; y < H; ++y)
      std::memcpy(band - std::int64_t{H - y} * stride, ctx.carry + y * rowBytes, static_cast<std::size_t>(rowBytes));
  if (bandKind == kBandFirst || bandKind == kBandMiddle) {
    std::swap(ctx.previousMaps, ctx.currentMaps);
    const LONG saved = std::min(H, rows);
    for (LONG y = 0; y < saved; ++y)
      std::memcpy(ctx.carry + y * rowBytes, band + std::int64_t{rows - saved + y} * stride,
                  static_cast<std::size_t>(rowBytes));
  }
}

BYTE* AutoContrastMapOf(RenderPdev* pdev) {
  ImageBandCache* cache = BandCacheOf(pdev);
  return cache ? cache->autoContrastMap : nullptr;
}

void SetAutoContrastMap(BYTE* map, int mapKind, const DWORD* histogram, int colour) {
  if (mapKind == kMapCompute && histogram)
    ComputeAutoContrastMap(histogram, map, colour);
  else if (mapKind == kMapReset || (mapKind == kMapCompute && !histogram))
    for (int i = 0; i < 256; ++i) map[i] = static_cast<BYTE>(i);
}

}  // namespace

BOOL EnhanceBandGray(BYTE* band, LONG width, LONG rows, LONG stride, const PdevRect& bandRect, int bandKind,
                     const ImageParams& params, int mapKind, RenderPdev* pdev, EnhanceContext& ctx) {
  if (!pdev || !band || rows <= 0) return FALSE;
  if (!SetUpBand(ctx, width, rows, static_cast<LONG>(RectHeight(bandRect)), bandKind)) return FALSE;
  const int level = pdev->backlight;
  if (level != 0) {
    BYTE* map = AutoContrastMapOf(pdev);
    if (!map) return FALSE;
    SetAutoContrastMap(map, mapKind, params.histogram, 0);
    ApplyMapGray(band, width, stride, rows, map);
  }
  if (PresetOf(pdev) == 0 && !(pdev->contrast == 4 && pdev->brightness == 4)) {
    BYTE map[256];
    BuildBrightnessContrastMap(map, pdev->contrast, pdev->brightness);
    ApplyMapGray(band, width, stride, rows, map);
  }
  if (level != 0)
    EqualizeAndBlend(band, width, rows, stride, bandKind, level, ctx, {EqualizeTilesGray, BlendTileMapsGray, 1});
  return TRUE;
}

BOOL EnhanceBandRgb(BYTE* band, LONG width, LONG rows, LONG stride, int bandKind, const DWORD* histogram, int mapKind,
                    RenderPdev* pdev, EnhanceContext& ctx) {
  if (!pdev || !band || rows <= 0) return FALSE;
  if (pdev->separationModes[2] >= 8) return TRUE;
  if (!SetUpBand(ctx, width, rows, bandKind == kBandLast ? ctx.pictureHeight : rows, bandKind)) return FALSE;
  const int level = pdev->backlight;
  if (level != 0) {
    BYTE* map = AutoContrastMapOf(pdev);
    if (!map) return FALSE;
    SetAutoContrastMap(map, mapKind, histogram, 1);
    ApplyMapRgbInverted(band, width, stride, rows, map);
  }
  const int preset = PresetOf(pdev);
  if (preset != 0) {
    ApplyMapRgbInverted(band, width, stride, rows, ToneTableSet[preset == 1 ? 3 : 2].data());
  } else if (!(pdev->contrast == 4 && pdev->brightness == 4)) {
    BYTE map[256];
    BuildBrightnessContrastMap(map, pdev->contrast, pdev->brightness);
    ApplyMapRgbInverted(band, width, stride, rows, map);
  }
  if (level != 0)
    EqualizeAndBlend(band, width, rows, stride, bandKind, level, ctx, {EqualizeTilesRgb, BlendTileMapsRgb, 3});
  return TRUE;
}

}  // namespace imaging
