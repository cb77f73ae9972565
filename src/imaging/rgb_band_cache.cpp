#include <algorithm>
#include <cstring>

#include "imaging/density.h"
#include "imaging/enhancement.h"
#include "imaging/image_band_cache.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/rgb_band_cache.h"
#include "imaging/rgb_picture.h"
#include "imaging/scratch.h"
#include "imaging/two_plate_render.h"
#include "planes/plane_ops.h"

namespace imaging {

namespace {

constexpr BYTE kWhite = 0xFF;

std::int64_t OneBitStride(std::int64_t width) { return AlignTo4(RowBytes1bpp(width)); }

void FreeRgbRecords(ImageBandCache& cache) {
  ImageBufferFree(cache.rgb);
  ImageBufferFree(cache.scaled);
  cache.target = ImageBuffer{};
  cache.pending = ImageBuffer{};
}

RgbBuffer PictureOf(const ImageBuffer& rgb) { return {rgb.buffer, ImageWidth(rgb), ImageHeight(rgb), rgb.stride}; }

// Two white one-bit bands of width x height in one block: drum 2 first.
BYTE* TwoWhiteBands(std::int64_t width, std::int64_t height, std::int64_t& stride, std::size_t& bandBytes) {
  stride = OneBitStride(width);
  const auto bytes = stride > 0 && stride <= 0x7FFFFFFF && height > 0
                         ? CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(height))
                         : std::nullopt;
  const auto both = bytes ? CheckedBytes(*bytes, 2) : std::nullopt;
  auto* bands = both ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *both)) : nullptr;
  if (!bands) return nullptr;
  std::memset(bands, 0xFF, *both);
  bandBytes = *bytes;
  return bands;
}

// Records of a new RGB picture: target, pending strip, the white RGB picture
// at the smaller of source and target size and, for a strip larger than its
// target, the scaled record.
bool StartImageBandCache(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T, const StripSource& strip) {
  return StartPictureRecords(pdev, cache, T, strip, nullptr, 0, cache.rgb, kFormat24Bpp, 3 * WorkingImageLimit(pdev));
}

// The strip as 24 bits into its place in the RGB picture (through the scaled
// record when the source is larger than its place).
void CopyRgbIntoCache(ImageBandCache& cache, const StripSource& strip) {
  ImageBuffer& rgb = cache.rgb;
  const PdevRect place = FixedRectToRect(rgb.saved);
  BOOL converted;
  if (cache.scaled.buffer) {
    const PdevRect all = ImageRect(cache.scaled);
    converted = SourceToRgb24(strip.bits, strip.rect, strip.stride, cache.scaled.buffer, all, cache.scaled.stride,
                              strip.palette, strip.paletteCount, strip.format);
    if (converted) Copy24Reduce(cache.scaled.buffer, all, cache.scaled.stride, rgb.buffer, place, rgb.stride);
    ImageBufferFree(cache.scaled);
  } else {
    const std::int64_t w = std::min(RectWidth(strip.rect), RectWidth(place));
    const std::int64_t h = std::min(RectHeight(strip.rect), RectHeight(place));
    const PdevRect src{strip.rect.left, strip.rect.top, static_cast<LONG>(strip.rect.left + w - 1),
                       static_cast<LONG>(strip.rect.top + h - 1)};
    const PdevRect dst{place.left, place.top, static_cast<LONG>(place.left + w - 1), static_cast<LONG>(place.top + h - 1)};
    converted = SourceToRgb24(strip.bits, src, strip.stride, rgb.buffer, dst, rgb.stride, strip.palette,
                              strip.paletteCount, strip.format);
  }
  // A strip that converts nothing leaves its place white.
  if (!converted) FillRect24White(rgb.buffer, place, rgb.stride);
  rgb.filled = rgb.area;
}

// The strip combined with the picture by the ROP4, byte by byte.
void CombineRgbIntoCache(RenderPdev* pdev, ImageBandCache& cache, const StripSource& strip) {
  ImageBuffer& rgb = cache.rgb;
  const PdevRect place = FixedRectToRect(rgb.saved);
  const std::int64_t w = std::min(RectWidth(strip.rect), RectWidth(place));
  const std::int64_t h = std::min(RectHeight(strip.rect), RectHeight(place));
  if (w <= 0 || h <= 0) return;
  const BYTE* bits = strip.bits;
  LONG stride = strip.stride;
  PdevRect rect = strip.rect;
  Scratch converted(std::nullopt);
  if (strip.format != BMF_24BPP) {
    if (!converted.Allocate(CheckedBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h), 3))) return;
    rect = PdevRect{0, 0, static_cast<LONG>(w - 1), static_cast<LONG>(h - 1)};
    std::memset(converted.data(), kWhite, converted.size());
    const PdevRect src{strip.rect.left, strip.rect.top, static_cast<LONG>(strip.rect.left + w - 1),
                       static_cast<LONG>(strip.rect.top + h - 1)};
    SourceToRgb24(strip.bits, src, strip.stride, converted.data(), rect, static_cast<LONG>(3 * w), strip.palette,
                  strip.paletteCount, strip.format);
    bits = converted.data();
    stride = static_cast<LONG>(3 * w);
  }
  const PdevDrawState& d = pdev->drawing;
  if (d.clipComplexity == DC_COMPLEX && Rop3Of(d.rop4) == kRop3SrcCopy) {
    const PdevRect T = FixedRectToRect(cache.target.area);
    const ClipRectList& list = pdev->shared.clipRects;
    for (std::uint32_t i = list.blitFirst; i < list.count && list.entries; ++i) {
      const PdevRect& r = list.entries[i].rect;
      FillRect24White(rgb.buffer, {r.left - T.left, r.top - T.top, r.right - T.left, r.bottom - T.top}, rgb.stride);
    }
  }
  const BYTE state = pdev->image.blitState;
  enum class Op { And, Or, OrInverted } op = Op::And;
  if (d.rop4 == kRop4SrcPaint && (PairsWithMask(state) || state == kBlitOneBitInPicture)) op = Op::Or;
  if (d.rop4 == kRop4MergePaint && PairsWithMask(state)) op = Op::OrInverted;
  const std::int64_t ww = ImageWidth(rgb), wh = ImageHeight(rgb);
  for (std::int64_t y = 0; y < h; ++y) {
    const std::int64_t wy = place.top + y;
    if (wy < 0 || wy >= wh) continue;
    const BYTE* in = bits + (rect.top + y) * std::int64_t{stride} + 3 * std::int64_t{rect.left};
    BYTE* out = rgb.buffer + wy * rgb.stride;
    for (std::int64_t x = 0; x < w; ++x) {
      const std::int64_t wx = place.left + x;
      if (wx < 0 || wx >= ww) continue;
      for (int c = 0; c < 3; ++c) {
        BYTE& o = out[3 * wx + c];
        const BYTE s = in[3 * x + c];
        o = op == Op::And ? BYTE(o & s) : op == Op::Or ? BYTE(o | s) : BYTE(o | ~s);
      }
    }
  }
  rgb.filled = rgb.area;
}

}  // namespace

// Millimetres of pixels at dpi, rounded up.
namespace {

std::int64_t Millimetres(std::int64_t pixels, std::int64_t dpi) {
  return dpi > 0 ? (pixels * 254 + 10 * dpi - 1) / (10 * dpi) : 0;
}

}  // namespace

void EnhanceCachedImage(RenderPdev* pdev, ImageBandCache& cache) {
  ImageBuffer& rgb = cache.rgb;
  const LONG width = ImageWidth(rgb), height = ImageHeight(rgb);
  const PdevRect band = cache.bandOrigin;
  if (CountDensityLevels(cache.histogram) <= 2 || pdev->shared.pictureFlag != 1 || RectWidth(band) < 2 ||
      RectHeight(band) < 2 || width < 1 || height < 1)
    return;
  const std::int64_t widthMm = Millimetres(RectWidth(band), pdev->resolutionX);
  const std::int64_t heightMm = Millimetres(RectHeight(band), pdev->resolutionY ? pdev->resolutionY : pdev->resolutionX);
  const bool small = widthMm < 15 || heightMm < 15;
  if (cache.bandContinuation == kContinueNone && small) return;
  int mapKind = kMapCompute;
  if (small) {
    mapKind = std::abs(widthMm - cache.rememberedWidthMm) <= 1 ? kMapKeep : kMapReset;
    if (mapKind == kMapReset) cache.rememberedWidthMm = static_cast<LONG>(widthMm);
  } else {
    cache.rememberedWidthMm = static_cast<LONG>(widthMm);
  }
  if (cache.bandContinuation == kContinueFlushing) mapKind = kMapCompute;
  if (cache.bandContinuation == kContinueFlushed) mapKind = kMapKeep;
  const FixedMilli perCm = FixedDotsPerCm(rgb.resolutionY);
  EnhanceContext ctx{};
  const std::uint8_t carryKind = pdev->image.diffusionCarryKind;
  pdev->image.diffusionCarryKind = 1;
  FixedMilli reach = FixedFromInt(0);
  LONG top = 0;
  bool ok = true;
  while (ok && top < height) {
    reach = FixedAdd(reach, perCm);
    LONG end = std::max<LONG>(top + 1, static_cast<LONG>(FixedThousandths(reach) / 1000));
    if (end >= height || height - end < 1) end = height;
    const bool first = top == 0, last = end == height;
    const int kind = first && last ? kBandWhole : first ? kBandFirst : last ? kBandLast : kBandMiddle;
    if (first) {
      const LONG T = end - top, H = (T + 1) / 2;
      const LONG maps = (width + T - 1) / T + 2;
      if (!AllocEnhanceBuffers(ctx, 3 * width, H, maps)) break;
    }
    ok = EnhanceBandRgb(rgb.buffer + static_cast<std::ptrdiff_t>(top) * rgb.stride, width, end - top, rgb.stride, kind,
                        cache.histogram, first ? mapKind : kMapKeep, pdev, ctx) != FALSE;
    top = end;
  }
  FreeEnhanceBuffers(ctx);
  pdev->image.diffusionCarryKind = carryKind;
}

namespace {

// Modes 0 and 1: the picture turned into density in place and flushed by the
// one-ink path onto the drum-1 (mode 0) or drum-2 plane.
BOOL RenderBandAsOneInk(RenderPdev* pdev, ImageBandCache& cache, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride) {
  ImageBuffer& rgb = cache.rgb;
  const LONG width = ImageWidth(rgb), height = ImageHeight(rgb);
  Scratch row(CheckedBytes(static_cast<std::uint64_t>(width), 1));
  if (!row) {
    FreeRgbRecords(cache);
    pdev->flags &= ~kPdevImagePending;
    return FALSE;
  }
  const PdevRect out{0, 0, width - 1, 0};
  for (LONG y = 0; y < height; ++y) {
    BYTE* line = rgb.buffer + static_cast<std::ptrdiff_t>(y) * rgb.stride;
    ConvertToDensity(pdev, line, {0, 0, width - 1, 0}, rgb.stride, row.data(), out, width, nullptr, 0, BMF_24BPP);
    std::memcpy(line, row.data(), static_cast<std::size_t>(width));
  }
  ImageBufferFree(cache.working);
  cache.working = rgb;
  cache.working.format = kFormat8Bpp;
  rgb = ImageBuffer{};
  cache.target.buffer = OneInkPicturePlane(pdev, drum1Plane, drum2Plane);
  cache.target.stride = planeStride;
  return FlushPendingImage(pdev, cache, cache.target.buffer, planeStride);
}

}  // namespace

BOOL FlushImageBandCache(RenderPdev* pdev, ImageBandCache& cache, BYTE* drum1Plane, BYTE* drum2Plane,
                         LONG planeStride) {
  pdev->drawing.sourceId = 0;
  pdev->drawing.previousSourceId = 0;
  if (!cache.rgb.buffer) return FALSE;
  // The flush goes by the picture's ROP4, also at the page end.
  struct PreviousRop {
    std::uint32_t& field;
    std::uint32_t kept;
    ~PreviousRop() { field = kept; }
  } previousRop{pdev->drawing.previousRop4, pdev->drawing.previousRop4};
  if (cache.pictureRop4 != 0) pdev->drawing.previousRop4 = cache.pictureRop4;
  const RgbBuffer picture = PictureOf(cache.rgb);
  if (IsPluginPdev(pdev)) {
    // The test leaves a picture's operation byte as it is: a picture's.
    pdev->shared.operation = kOperationIdle;
    ClassifyRgbImage(pdev, cache.rgb);
  } else {
    ClassifyPendingRgb(pdev, picture, cache.histogram);
  }
  const std::uint8_t mode = pdev->separationModes[2];
  const BYTE state = pdev->image.blitState;
  const BYTE operation = pdev->shared.operation;
  const BYTE blackWhite = pdev->shared.blackWhiteSource;
  if (mode <= 1) {
    if (state == kBlitPaintOverMask && operation == 1 && blackWhite == 1) {
      pdev->separationModes[2] = 3;
    } else if (state != kBlitOneBitInPicture) {
      const bool flat = operation != 0;
      if (!flat || state == kBlitPaintOverMask || state == kBlitInsideHole ||
          ((state == kBlitPaintOnMaskNew || state == kBlitPaintOnMaskMore) && blackWhite != 1))
        return RenderBandAsOneInk(pdev, cache, drum1Plane, drum2Plane, planeStride);
    }
  }
  cache.bandOrigin = FixedRectToRect(cache.target.area);
  pdev->shared.pictureRect = cache.bandOrigin;
  const std::int64_t width = RectWidth(cache.bandOrigin), height = RectHeight(cache.bandOrigin);
  const ULONG previous = pdev->drawing.previousRop4;
  const bool plain = previous == kRop4StretchCopy || previous == kRop4SrcCopy || state == kBlitMaskImagePair ||
                     state == kBlitHolePair || (previous == kRop4SrcAnd && state != kBlitPaintOverMask);
  if (pdev->shared.pictureFlag == 1 && plain && (pdev->edge != 0 || pdev->backlight != 0) && mode < 8) {
    EnhanceCachedImage(pdev, cache);
    if (pdev->edge == 1)
      SharpenImage(cache.rgb.buffer, picture.width, picture.height, cache.rgb.stride,
                   {0, 0, static_cast<LONG>(width - 1), static_cast<LONG>(height - 1)}, pdev->resolutionX,
                   pdev->resolutionY ? pdev->resolutionY : pdev->resolutionX);
    pdev->image.diffusionCarryKind = 1;
  }
  std::int64_t stride = 0;
  std::size_t bandBytes = 0;
  BYTE* bands = TwoWhiteBands(width, height, stride, bandBytes);
  const auto finish = [&](BOOL result) {
    if (bands) GlobalFree(bands);
    pdev->separationModes[2] = mode;
    pdev->image.diffusionCarryKind = 0;
    pdev->image.blitState = kBlitIdle;
    pdev->shared.operation = kOperationIdle;
    pdev->flags &= ~kPdevImagePending;
    FreeRgbRecords(cache);
    pdev->shared.pictureFlag = 1;
    return result;
  };
  if (!bands) return finish(FALSE);
  TwoPlateTarget target;
  target.drum2 = bands;
  target.drum1 = bands + bandBytes;
  target.stride = static_cast<LONG>(stride);
  target.rows = static_cast<LONG>(height);
  target.rect = {0, 0, static_cast<LONG>(width - 1), static_cast<LONG>(height - 1)};
  target.origin = {cache.bandOrigin.left, cache.bandOrigin.top};
  BOOL done;
  const bool isPicture = pdev->shared.operation == 0;
  if (state == kBlitOneBitInPicture) {
    done = RenderGrayBandTwoPlates(pdev, picture, target, cache.bandOrigin);
  } else if (isPicture || state == kBlitInsideHole ||
             (state == kBlitPaintOverMask && previous != kRop4StretchCopy && previous != kRop4SrcCopy)) {
    if (previous == kRop4StretchCopy || previous == kRop4SrcCopy || (previous == kRop4SrcAnd && state != kBlitPaintOverMask))
      pdev->image.blitState = kBlitMaskImagePair;
    done = RenderRgbBandTwoPlates(pdev, picture, target);
  } else {
    pdev->shared.operation = kOperationBrushOrMask;
    done = RenderGrayBandTwoPlates(pdev, picture, target, cache.bandOrigin);
  }
  ImageBufferFree(cache.rgb);
  if (!done) return finish(FALSE);
  const BYTE nowState = pdev->image.blitState;
  if (previous != kRop4StretchCopy && previous != kRop4SrcCopy && !PairsWithMask(nowState) && nowState != kBlitOneBitInPicture)
    CombineBandPlates(pdev, target.drum1, target.drum2, target.stride, cache.bandOrigin, drum1Plane, drum2Plane,
                      planeStride);
  else
    CopyBandPlates(pdev, target.drum1, target.drum2, target.stride, cache.bandOrigin, drum1Plane, drum2Plane,
                   planeStride);
  if (state == kBlitPaintOverMask) {
    pdev->image.earlierRect = cache.bandOrigin;
    pdev->image.operationRect = cache.bandOrigin;
    pdev->image.earlierRop4 = kRop4SrcAnd;
  }
  return finish(TRUE);
}

namespace {

// A new picture from the strip: cached, or with caching off rendered at once
// into two white bands handed back to the caller, who places them.
PictureBands RenderImageBand(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T, const StripSource& strip,
                     bool withParameters) {
  if (pdev->shared.pictureFlag == 1) {
    if (!StartImageBandCache(pdev, cache, T, strip)) {
      FreeRgbRecords(cache);
      pdev->shared.pictureFlag = 0;
      return RenderImageBand(pdev, cache, T, strip, withParameters);
    }
    if (withParameters) SetImageParams(cache);
    ClipRectList& list = pdev->shared.clipRects;
    list.pictureFirst = list.blitFirst;
    list.pictureLast = list.count - 1;
    pdev->flags |= kPdevImagePending;
    pdev->shared.operation = kOperationMerging;
    cache.pictureRop4 = pdev->drawing.rop4;
    cache.rgb.saved = cache.rgb.area;
    // The first strip's copy covers the whole new picture; a combination
    // needs it white first.
    if (Rop3Of(pdev->drawing.rop4) == kRop3SrcCopy) {
      CopyRgbIntoCache(cache, strip);
    } else {
      ImageBufferWhiten(cache.rgb);
      CombineRgbIntoCache(pdev, cache, strip);
    }
    return {};
  }
  std::int64_t stride = 0;
  std::size_t bandBytes = 0;
  BYTE* bands = TwoWhiteBands(RectWidth(T), RectHeight(T), stride, bandBytes);
  if (!bands) return {};
  const PdevRect bandRect{0, 0, static_cast<LONG>(RectWidth(T) - 1), static_cast<LONG>(RectHeight(T) - 1)};
  pdev->image.diffusionCarryKind = 1;
  if (pdev->separationModes[2] > 1)
    RenderImageTwoPlates(pdev, bands + bandBytes, bands, bandRect, static_cast<LONG>(stride), {T.left, T.top},
                         strip.bits, strip.rect, strip.stride, strip.palette, strip.paletteCount, strip.format,
                         pdev->amiLine, pdev->amiAngle, pdev->resolutionX, FALSE);
  else {
    // Modes 0 and 1 take the one-ink path onto the plane of their drum.
    const BYTE operation = pdev->shared.operation;
    pdev->shared.operation = kOperationIdle;
    HalftoneSourceToPlanes(pdev, bands, bandRect, static_cast<LONG>(stride), strip.bits, strip.rect, strip.stride,
                           pdev->amiLine, pdev->amiAngle, pdev->resolutionX, strip.palette, strip.paletteCount,
                           strip.format, {T.left, T.top});
    pdev->shared.operation = operation;
  }
  pdev->image.diffusionCarryKind = 0;
  FreeRgbRecords(cache);
  return PictureBands{bands, bands + bandBytes};
}

bool MergeStripIntoRgbCache(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return MergeStripIntoRecord(
      pdev, cache, cache.rgb, N, strip, kFormat24Bpp,
      [&](const FixedRect& U) { return PlaceStripInRecord(pdev, cache, cache.rgb, N, U, 3, kWhite) != FALSE; },
      [&] { CopyRgbIntoCache(cache, strip); }, [&] { CombineRgbIntoCache(pdev, cache, strip); });
}

}  // namespace

namespace {

struct PlanePair {
  RenderPdev* pdev;
  BYTE* drum1;
  BYTE* drum2;
  LONG planeStride;
};

bool FlushStep(void* context, ImageBandCache& cache) {
  auto* p = static_cast<PlanePair*>(context);
  return FlushImageBandCache(p->pdev, cache, p->drum1, p->drum2, p->planeStride) != FALSE;
}

PictureBands StartStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return RenderImageBand(static_cast<PlanePair*>(context)->pdev, cache, N, strip, true);
}

bool MergeStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return MergeStripIntoRgbCache(static_cast<PlanePair*>(context)->pdev, cache, N, strip);
}

}  // namespace

}  // namespace imaging

using namespace imaging;

PictureBands OemRenderImageBand(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T, const StripSource& strip,
                                bool withParameters) {
  return RenderImageBand(pdev, cache, T, strip, withParameters);
}

BOOL OemFlushImageBandCache(RenderPdev* pdev) {
  ImageBandCache* cache = pdev ? pdev->image.bandCache : nullptr;
  if (!cache) return FALSE;
  return FlushImageBandCache(pdev, *cache, pdev->drum1Plane, pdev->drum2Plane, pdev->planeStride);
}

namespace {

CacheAnswer RunRgbCache(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                        const PdevRect* target, const StripSource& strip) {
  PlanePair context{pdev, drum1Plane ? drum1Plane : pdev->drum1Plane, drum2Plane ? drum2Plane : pdev->drum2Plane,
                    planeStride};
  const CacheSteps steps{kCacheRgb, FlushStep, StartStep, MergeStep, &context};
  return RunImageCache(pdev, target, strip, steps);
}

}  // namespace

CacheAnswer CacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                           const PdevRect* target, const BYTE* src, const PdevRect* srcRect, LONG srcStride,
                           const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!pdev) return CacheAnswer{FALSE, {}};
  if (target && !srcRect) target = nullptr;
  return RunRgbCache(pdev, drum1Plane, drum2Plane, planeStride, target,
                     StripSource{src, srcRect ? *srcRect : kNoStrip.rect, srcStride, format, palette, paletteCount});
}

BOOL imaging::FlushRgbCache(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride) {
  return RunRgbCache(pdev, drum1Plane, drum2Plane, planeStride, nullptr, kNoStrip).ok;
}

void LumaHistogram(const BYTE* pixels, const PdevRect& rect, LONG stride, DWORD histogram[256]) {
  std::fill(histogram, histogram + 256, DWORD{0});
  RgbDensityHistogram(pixels, rect, stride, histogram);
}

BOOL ClassifyRgbImage(RenderPdev* pdev, const ImageBuffer& rgb) {
  DWORD local[256];
  ImageBandCache* cache = pdev->image.bandCache;
  DWORD* histogram = cache ? cache->histogram : local;
  LumaHistogram(rgb.buffer, FixedRectToRect(rgb.area), rgb.stride, histogram);
  if (!HistogramHasSeveralLevels(histogram)) {
    pdev->shared.pictureFlag = 0;
    pdev->shared.operation = kOperationBrushOrMask;
  }
  return TRUE;
}
