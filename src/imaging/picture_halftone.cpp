#include "imaging/picture_halftone.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/density.h"
#include "imaging/enhancement.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "planes/plane_ops.h"

namespace imaging {

namespace {

LONG DeviceDpi(FixedMilli resolution) { return std::max(FixedRound(resolution), 1); }

// The ink of the sharpened pixel when it is more than a trace.
BYTE Sharpened(std::int64_t e, BYTE keep) { return e > 10 ? static_cast<BYTE>(std::min<std::int64_t>(e, 255)) : keep; }

void SharpenPixels(BYTE* image, LONG width, LONG rows, LONG stride) {
  if (width < 3 || rows < 3) return;
  // The original of the row above and of the current row; the row below is
  // not changed yet.
  Scratch copies(CheckedBytes(static_cast<std::uint64_t>(width), 2));
  if (!copies) return;
  BYTE* above = copies.data();
  BYTE* current = above + width;
  std::memcpy(above, image, static_cast<std::size_t>(width));
  for (LONG y = 1; y + 1 < rows; ++y) {
    BYTE* row = image + std::int64_t{y} * stride;
    const BYTE* below = row + stride;
    std::memcpy(current, row, static_cast<std::size_t>(width));
    for (LONG x = 1; x + 1 < width; ++x) {
      const std::int64_t e = (8 * current[x] - above[x] - below[x] - current[x - 1] - current[x + 1]) / 4;
      row[x] = Sharpened(e, current[x]);
    }
    std::swap(above, current);
  }
}

void SharpenBlocks(BYTE* image, LONG width, LONG rows, LONG stride, LONG k) {
  const LONG bw = width / k, bh = rows / k;
  if (bw < 3 || bh < 3) return;
  Scratch averages(CheckedBytes(static_cast<std::uint64_t>(bw), 3, sizeof(std::int64_t)));
  if (!averages) return;
  std::int64_t* window[3] = {averages.as<std::int64_t>(), averages.as<std::int64_t>() + bw,
                             averages.as<std::int64_t>() + 2 * std::int64_t{bw}};
  const auto average = [&](LONG blockRow, std::int64_t* out) {
    for (LONG bx = 0; bx < bw; ++bx) {
      std::int64_t sum = 0;
      for (LONG y = 0; y < k; ++y) {
        const BYTE* p = image + (std::int64_t{blockRow} * k + y) * stride + std::int64_t{bx} * k;
        for (LONG x = 0; x < k; ++x) sum += p[x];
      }
      out[bx] = sum / (std::int64_t{k} * k);
    }
  };
  average(0, window[0]);
  average(1, window[1]);
  for (LONG by = 1; by + 1 < bh; ++by) {
    average(by + 1, window[2]);
    for (LONG bx = 1; bx + 1 < bw; ++bx) {
      const std::int64_t a = (window[0][bx] + window[2][bx] + window[1][bx - 1] + window[1][bx + 1]) / 4;
      for (LONG y = 0; y < k; ++y) {
        BYTE* p = image + (std::int64_t{by} * k + y) * stride + std::int64_t{bx} * k;
        for (LONG x = 0; x < k; ++x) p[x] = Sharpened(2 * p[x] - a, p[x]);
      }
    }
    std::swap(window[0], window[1]);
    std::swap(window[1], window[2]);
  }
}

}  // namespace

void SharpenDensityImage(BYTE* image, LONG rowLength, LONG rows, LONG stride, const PdevRect& target,
                         RenderPdev* pdev) {
  if (!image || !pdev || rowLength <= 0 || rows <= 0) return;
  // A one-pixel target has no ratio in that direction: the term is left out.
  std::int64_t resolution = 0;
  if (target.right > 0)
    resolution = std::max(resolution, std::int64_t{rowLength} * DeviceDpi(ToFixed(pdev->drawing.fixedResolutionX)) /
                                          target.right);
  if (target.bottom > 0)
    resolution = std::max(resolution, std::int64_t{rows} * DeviceDpi(ToFixed(pdev->drawing.fixedResolutionY)) /
                                          target.bottom);
  if (resolution < 150) {
    SharpenPixels(image, rowLength, rows, stride);
    return;
  }
  const LONG k = resolution < 250 ? 2 : resolution < 350 ? 3 : resolution < 450 ? 4 : resolution < 550 ? 5 : 6;
  SharpenBlocks(image, rowLength, rows, stride, k);
}

BOOL HalftoneScaled(RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows, const PdevRect& targetRect,
                    BYTE* density, LONG densityStride, const PdevRect& densityRect, LONG amiLine, LONG amiAngle,
                    LONG resolution) {
  const auto start = StartHalftone(pdev, target, targetStride, targetRows, density, densityStride, densityRect);
  if (!start) return FALSE;
  if (pdev->edge == 1) {
    const PdevRect at0{0, 0, static_cast<LONG>(RectWidth(targetRect) - 1), static_cast<LONG>(RectHeight(targetRect) - 1)};
    SharpenDensityImage(start->first, start->width, start->rows, densityStride, at0, pdev);
  }
  ApplyToneCurve(pdev->photoMode, PresetOf(pdev), start->first, start->width, start->rows, densityStride,
                 pdev->resolutionMode, ThinnedSheetOf(pdev));
  const DensityImage src = start->Source();
  const BandBuffer& band = start->band;
  if (pdev->photoMode != 0) return DiffuseForDevice(pdev, src, band, targetRect) ? TRUE : FALSE;
  JobScreen* screen = ScreenOnFirstUse(pdev, resolution, amiLine, amiAngle);
  if (!screen) return FALSE;
  return DitherByScreen(DitherContextOf(pdev), src, band, targetRect, screen->view());
}

int ConvertImageBufferToDensity(RenderPdev* pdev, ImageBuffer& working, ImageBuffer& scaled, ImageBuffer& pending,
                                const ULONG* palette, ULONG paletteCount) {
  const PdevRect source = FixedRectToRect(pending.area);
  const PdevRect place = FixedRectToRect(working.saved);
  const std::int64_t w = std::min(RectWidth(source), RectWidth(place));
  const std::int64_t h = std::min(RectHeight(source), RectHeight(place));
  if (scaled.buffer && working.buffer) {
    ImageBufferWhiten(scaled);
    const PdevRect all = ImageRect(scaled);
    ConvertToDensity(pdev, pending.buffer, source, pending.stride, scaled.buffer, all, scaled.stride, palette,
                     paletteCount, pending.format);
    const PdevRect to{place.left, place.top, static_cast<LONG>(place.left + w - 1), static_cast<LONG>(place.top + h - 1)};
    CopyRectReduce(scaled.buffer, all, scaled.stride, working.buffer, to, working.stride);
    ImageBufferFree(scaled);
  } else if (working.buffer) {
    const PdevRect cut{source.left, source.top, static_cast<LONG>(source.left + w - 1),
                       static_cast<LONG>(source.top + h - 1)};
    ConvertToDensity(pdev, pending.buffer, cut, pending.stride, working.buffer, place, working.stride, palette,
                     paletteCount, pending.format);
  }
  pending.filled.bottom = pending.area.bottom;
  working.filled = working.area;
  return 1;
}

int HalftoneImageBufferDirect(ImageBuffer& target, ImageBuffer& density, ImageBuffer& scaled, ImageBuffer& pending,
                              const ULONG* palette, ULONG paletteCount, RenderPdev* pdev) {
  ImageBufferWhiten(scaled);
  ImageBufferWhiten(density);
  ConvertImageBufferToDensity(pdev, density, scaled, pending, palette, paletteCount);
  if (ImageBandCache* cache = BandCacheOf(pdev)) ClassifyPendingImage(pdev, *cache);
  pdev->image.diffusionCarryKind = 2;
  const PdevRect targetRect = FixedRectToRect(target.area);
  const BOOL done = HalftoneToPlanes(pdev, target.buffer, target.stride, targetRect.bottom + 1, targetRect,
                                     density.buffer, density.stride, ImageRect(density), pdev->amiLine, pdev->amiAngle,
                                     DeviceDpi(target.resolutionX));
  pdev->image.diffusionCarryKind = 0;
  pdev->shared.operation = kOperationIdle;
  return done ? 1 : 0;
}

bool EnhanceInBands(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& density, ImageParams& params,
                    int mapKind) {
  const LONG width = ImageWidth(density), rows = ImageHeight(density);
  const LONG targetRows = ImageHeight(target);
  if (width <= 0 || rows <= 0 || targetRows <= 0) return false;
  // Density rows per centimetre at the target's scale; at least one row.
  const auto ratio = FixedFromRatio(FixedRound(target.resolutionY), rows, targetRows);
  if (!ratio) return false;
  density.resolutionY = *ratio;
  density.rowsPerCm = FixedDotsPerCm(density.resolutionY);
  const LONG G = std::max<LONG>(density.rowsPerCm.integer, 1);
  const LONG bands = static_cast<LONG>((std::int64_t{rows} + G - 1) / G);
  EnhanceContext ctx{};
  // Tiles are as tall as the first band, which a short picture fills alone.
  const LONG tile = std::min(G, rows);
  const LONG maps = static_cast<LONG>((std::int64_t{width} + tile - 1) / tile + 2);
  if (!AllocEnhanceBuffers(ctx, width, (tile + 1) / 2, maps)) return false;
  pdev->image.diffusionCarryKind = 1;
  bool ok = true;
  const PdevRect whole{0, 0, width - 1, rows - 1};
  for (LONG b = 0; b < bands && ok; ++b) {
    const int kind = bands == 1 ? kBandWhole : b == 0 ? kBandFirst : b + 1 == bands ? kBandLast : kBandMiddle;
    const LONG top = b * G;
    const LONG count = std::min(G, rows - top);
    ok = EnhanceBandGray(density.buffer + std::int64_t{top} * density.stride, width, count, density.stride, whole,
                         kind, params, b == 0 ? mapKind : kMapKeep, pdev, ctx) != FALSE;
  }
  FreeEnhanceBuffers(ctx);
  pdev->image.diffusionCarryKind = 0;
  return ok;
}

int HalftoneImageBands(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& density, ImageParams& params, int) {
  ImageBandCache* cache = BandCacheOf(pdev);
  if (!cache) return 0;
  const PdevRect r = FixedRectToRect(target.area);
  const PdevRect p = ImageRect(density);
  const auto dpiX = static_cast<USHORT>(std::clamp(FixedRound(target.resolutionX), 1, 0xFFFF));
  const auto dpiY = static_cast<USHORT>(std::clamp(FixedRound(target.resolutionY), 1, 0xFFFF));
  // The picture's physical size, at the device's resolution.
  const ULONG widthMm = DotsToMillimetres(static_cast<ULONG>(RectWidth(r)), dpiX);
  const ULONG heightMm = DotsToMillimetres(static_cast<ULONG>(RectHeight(r)), dpiY);
  const std::uint32_t previous = pdev->drawing.previousRop4;
  const BYTE state = pdev->image.blitState;
  const bool maskState = (state == kBlitPaintOverMask && previous == kRop4SrcAnd) ||
                         ((state == kBlitPaintOnMaskNew || state == kBlitPaintOnMaskMore) && previous == kRop4SrcPaint) ||
                         state == kBlitOneBitInPicture;
  const bool enhanced = params.histogram && CountDensityLevels(params.histogram) > 2 &&
                        (pdev->edge != 0 || pdev->backlight != 0) && !maskState && pdev->shared.pictureFlag != 0 &&
                        RectWidth(p) > 1 && RectHeight(p) > 1 &&
                        (cache->bandContinuation != 0 || (widthMm > 14 && heightMm > 14));
  const LONG targetRows = r.bottom - r.top + 1;
  const PdevRect at0{0, 0, r.right - r.left, r.bottom - r.top};
  const LONG dpi = FixedRound(target.resolutionX);
  if (!enhanced)
    return HalftoneToPlanes(pdev, target.buffer, target.stride, targetRows, at0, density.buffer, density.stride, p,
                            pdev->amiLine, pdev->amiAngle, dpi)
               ? 1
               : 0;
  int mapKind;
  const auto mm = static_cast<LONG>(widthMm);
  if (widthMm < 15 || heightMm < 15) {
    mapKind = std::abs(cache->rememberedWidthMm - mm) > 1 ? kMapReset : kMapKeep;
    if (mapKind == kMapReset) cache->rememberedWidthMm = mm;
  } else {
    mapKind = kMapCompute;
    cache->rememberedWidthMm = mm;
  }
  if (cache->bandContinuation == kContinueFlushing) {
    mapKind = kMapCompute;
    cache->rememberedWidthMm = mm;
  } else if (cache->bandContinuation == kContinueFlushed) {
    mapKind = kMapKeep;
  }
  const FixedMilli savedX = density.resolutionX, savedY = density.resolutionY, savedRows = density.rowsPerCm;
  const bool walked = EnhanceInBands(pdev, target, density, params, mapKind);
  density.resolutionX = savedX;
  density.resolutionY = savedY;
  density.rowsPerCm = savedRows;
  BOOL done;
  if (walked)
    done = HalftoneScaled(pdev, target.buffer, target.stride, targetRows, at0, density.buffer, density.stride, p,
                          pdev->amiLine, pdev->amiAngle, dpi);
  else  // the picture unenhanced rather than not at all
    done = HalftoneToPlanes(pdev, target.buffer, target.stride, targetRows, at0, density.buffer, density.stride, p,
                            pdev->amiLine, pdev->amiAngle, dpi);
  target.filled.bottom = target.area.bottom;
  return done ? 1 : 0;
}

BOOL ClassifyPendingImage(RenderPdev* pdev, ImageBandCache& cache) {
  std::fill(std::begin(cache.histogram), std::end(cache.histogram), 0);
  if (cache.working.buffer) {
    const PdevRect all = ImageRect(cache.working);
    DensityHistogram(cache.working.buffer, all, cache.working.stride, cache.histogram);
  }
  if (HistogramHasSeveralLevels(cache.histogram)) {
    pdev->shared.operation = kOperationIdle;
  } else {
    pdev->shared.pictureFlag = 0;
    pdev->shared.operation = kOperationBrushOrMask;
  }
  return TRUE;
}

}  // namespace imaging
