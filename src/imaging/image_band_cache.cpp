// The 8-bit image band cache: strips of one picture merged as ink density
// into one working image, halftoned once when the picture is flushed.
#include "imaging/image_band_cache.h"

#include <algorithm>
#include <cstring>

#include "imaging/density.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/picture_halftone.h"
#include "imaging/rect_predicates.h"
#include "imaging/scratch.h"
#include "render/plane_ops.h"

namespace imaging {

FixedMilli DeviceResolutionX(const RenderPdev* pdev) {
  const FixedMilli f = ToFixed(pdev->drawing.fixedResolutionX);
  return FixedThousandths(f) > 0 ? f : FixedFromInt(std::max<std::int32_t>(pdev->resolutionX, 1));
}
FixedMilli DeviceResolutionY(const RenderPdev* pdev) {
  const FixedMilli f = ToFixed(pdev->drawing.fixedResolutionY);
  return FixedThousandths(f) > 0 ? f : FixedFromInt(std::max<std::int32_t>(pdev->resolutionY, 1));
}

// device dpi x source size / target size; the device dpi when it cannot be formed.
FixedMilli SourceResolution(FixedMilli device, std::int64_t source, std::int64_t target) {
  if (source > 0x7FFFFFFF || target > 0x7FFFFFFF) return device;
  const auto r = FixedFromRatio(FixedRound(device), static_cast<std::int32_t>(source), static_cast<std::int32_t>(target));
  return r ? *r : device;
}

// The caller's strip in the pending record (pixels not owned).
void SetPendingStrip(RenderPdev* pdev, ImageBandCache& cache, const StripSource& strip, const PdevRect& target) {
  const std::int64_t sw = RectWidth(strip.rect), sh = RectHeight(strip.rect);
  ImageBuffer& p = cache.pending;
  p.buffer = const_cast<BYTE*>(strip.bits);
  p.block = nullptr;
  p.blockBytes = 0;
  p.stride = strip.stride;
  ImageBufferInit(p, strip.rect.left, strip.rect.top, static_cast<LONG>(sw), static_cast<LONG>(sh),
                  SourceResolution(DeviceResolutionX(pdev), sw, RectWidth(target)),
                  SourceResolution(DeviceResolutionY(pdev), sh, RectHeight(target)), static_cast<BYTE>(strip.format));
}

namespace {

bool TwoPlaneSheet(const RenderPdev* pdev) { return (pdev->flags & kPdevTwoPlanes) != 0; }

void FreeRecords(ImageBandCache& cache) {
  ImageBufferFree(cache.working);
  ImageBufferFree(cache.scaled);
  cache.target = ImageBuffer{};
  cache.pending = ImageBuffer{};
}

std::int64_t OneBitStride(std::int64_t width) { return AlignTo4(RowBytes1bpp(width)); }

// Records of a new picture: target, pending strip, working image and, for a
// strip larger than its target, the scaled record.
bool StartImageCache(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, const PdevRect& T, LONG planeStride,
                     const StripSource& strip) {
  return StartPictureRecords(pdev, cache, T, strip, plane, planeStride, cache.working, kFormat8Bpp,
                             WorkingImageLimit(pdev));
}

}  // namespace

bool StartPictureRecords(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T, const StripSource& strip,
                         BYTE* plane, LONG planeStride, ImageBuffer& picture, BYTE format, std::size_t limitBytes) {
  const FixedMilli dx = DeviceResolutionX(pdev), dy = DeviceResolutionY(pdev);
  const std::int64_t tw = RectWidth(T), th = RectHeight(T);
  const std::int64_t sw = RectWidth(strip.rect), sh = RectHeight(strip.rect);
  if (tw > 0x7FFFFFFF || th > 0x7FFFFFFF || sw > 0x7FFFFFFF || sh > 0x7FFFFFFF) return false;
  cache.target = ImageBuffer{};
  ImageBufferInit(cache.target, T.left, T.top, static_cast<LONG>(tw), static_cast<LONG>(th), dx, dy, kFormat1Bpp);
  if (plane) {
    cache.target.buffer = plane;
    cache.target.stride = planeStride;
  }
  SetPendingStrip(pdev, cache, strip, T);
  const FixedMilli cx = FixedMin(dx, cache.pending.resolutionX), cy = FixedMin(dy, cache.pending.resolutionY);
  if (!ImageBufferAlloc(picture, static_cast<LONG>(std::min(sw, tw)), static_cast<LONG>(std::min(sh, th)), cx, cy,
                        format, limitBytes))
    return false;
  if (sw > tw || sh > th) {
    if (!ImageBufferAlloc(cache.scaled, static_cast<LONG>(sw), static_cast<LONG>(sh), cache.pending.resolutionX,
                          cache.pending.resolutionY, format)) {
      ImageBufferFree(picture);
      return false;
    }
  } else {
    ImageBufferFree(cache.scaled);
  }
  return true;
}

namespace {

// A strip drawn at once into two white one-bit bands of the target's size
// (one block), left for the caller in the plane fields. FALSE when the
// records or the bands cannot be had (no bands then).
bool RenderStripDirectly(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride, const PdevRect& T,
                         const StripSource& strip) {
  pdev->drawing.targetPlane = nullptr;
  pdev->drawing.otherPlane = nullptr;
  if (!StartImageCache(pdev, cache, plane, T, planeStride, strip)) {
    FreeRecords(cache);
    return false;
  }
  const std::int64_t stride = OneBitStride(RectWidth(T));
  const auto bandBytes = CheckedBytes(static_cast<std::uint64_t>(std::max<std::int64_t>(stride, 0)),
                                      static_cast<std::uint64_t>(RectHeight(T)));
  auto* bands = stride > 0 && stride <= 0x7FFFFFFF && bandBytes
                    ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *bandBytes * 2))
                    : nullptr;
  if (!bands) {
    FreeRecords(cache);
    return false;
  }
  std::memset(bands, 0xFF, *bandBytes * 2);
  const ImageBuffer saved = cache.target;
  cache.bandOrigin = FixedRectToRect(cache.target.area);
  pdev->shared.pictureRect = cache.bandOrigin;
  ImageBufferInit(cache.target, 0, 0, static_cast<LONG>(RectWidth(T)), static_cast<LONG>(RectHeight(T)),
                  saved.resolutionX, saved.resolutionY, kFormat1Bpp);
  cache.target.buffer = bands;
  cache.target.stride = static_cast<LONG>(stride);
  HalftoneImageBufferDirect(cache.target, cache.working, cache.scaled, cache.pending, strip.palette, strip.paletteCount,
                            pdev);
  cache.target = saved;
  FreeRecords(cache);
  pdev->drawing.targetPlane = bands;
  pdev->drawing.otherPlane = bands + *bandBytes;
  return true;
}

// Puts the strip into the working image at its saved place.
void PutStrip(RenderPdev* pdev, ImageBandCache& cache, const StripSource& strip) {
  if (Rop3Of(pdev->drawing.rop4) == kRop3SrcCopy && pdev->drawing.clipComplexity != DC_COMPLEX)
    ConvertImageBufferToDensity(pdev, cache.working, cache.scaled, cache.pending, strip.palette, strip.paletteCount);
  else
    MergeImageIntoCache8(pdev, cache, strip.palette, strip.paletteCount);
}

// A new picture from the strip; caching off renders it at once.
bool StartImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride, const PdevRect& T,
                const StripSource& strip, bool withParameters) {
  if (pdev->shared.pictureFlag == 1) {
    if (!StartImageCache(pdev, cache, plane, T, planeStride, strip)) {
      FreeRecords(cache);
      pdev->shared.pictureFlag = 0;
      return StartImage(pdev, cache, plane, planeStride, T, strip, withParameters);
    }
    if (withParameters) SetImageParams(cache);
    ClipRectList& list = pdev->shared.clipRects;
    list.pictureFirst = list.blitFirst;
    list.pictureLast = list.count - 1;
    pdev->flags |= kPdevImagePending;
    pdev->shared.operation = kOperationMerging;
    cache.pictureRop4 = pdev->drawing.rop4;
    cache.working.saved = cache.working.area;
    PutStrip(pdev, cache, strip);
    return true;
  }
  return RenderStripDirectly(pdev, cache, plane, planeStride, T, strip);
}

}  // namespace

void MergeImageIntoCache8(RenderPdev* pdev, ImageBandCache& cache, const ULONG* palette, ULONG paletteCount) {
  ImageBuffer& working = cache.working;
  ImageBuffer& pending = cache.pending;
  if (!working.buffer || !pending.buffer) return;
  const PdevRect source = FixedRectToRect(pending.area);
  const PdevRect place = FixedRectToRect(working.saved);
  const std::int64_t sw = RectWidth(source), sh = RectHeight(source);
  const std::int64_t w = std::min(sw, RectWidth(place)), h = std::min(sh, RectHeight(place));
  // The strip as density at its place's size.
  Scratch density(CheckedBytes(static_cast<std::uint64_t>(sw), static_cast<std::uint64_t>(sh)));
  if (!density) return;
  const PdevRect all{0, 0, static_cast<LONG>(sw - 1), static_cast<LONG>(sh - 1)};
  ConvertToDensity(pdev, pending.buffer, source, pending.stride, density.data(), all, static_cast<LONG>(sw), palette,
                   paletteCount, pending.format);
  const BYTE* strip = density.data();
  LONG stripStride = static_cast<LONG>(sw);
  Scratch reduced(std::nullopt);
  if (w < sw || h < sh) {
    if (!reduced.Allocate(CheckedBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h)))) return;
    CopyRectReduce(density.data(), all, static_cast<LONG>(sw), reduced.data(),
                   PdevRect{0, 0, static_cast<LONG>(w - 1), static_cast<LONG>(h - 1)}, static_cast<LONG>(w));
    strip = reduced.data();
    stripStride = static_cast<LONG>(w);
  }
  const PdevDrawState& d = pdev->drawing;
  if (d.clipComplexity == DC_COMPLEX && Rop3Of(d.rop4) == kRop3SrcCopy) {
    // The visible parts of this blit start from no ink.
    const PdevRect T = FixedRectToRect(cache.target.area);
    const std::int64_t ww = ImageWidth(working), wh = ImageHeight(working);
    const std::int64_t tw = RectWidth(T), th = RectHeight(T);
    const ClipRectList& list = pdev->shared.clipRects;
    for (std::uint32_t i = list.blitFirst; i < list.count && list.entries; ++i) {
      const PdevRect& r = list.entries[i].rect;
      FillRect8Zero(working.buffer,
                    PdevRect{static_cast<LONG>((r.left - T.left) * ww / tw), static_cast<LONG>((r.top - T.top) * wh / th),
                             static_cast<LONG>(std::min<std::int64_t>((r.right - T.left) * ww / tw, ww - 1)),
                             static_cast<LONG>(std::min<std::int64_t>((r.bottom - T.top) * wh / th, wh - 1))},
                    working.stride);
    }
  }
  const bool lighter = d.rop4 == kRop4SrcPaint && (pdev->image.blitState == kBlitMaskImagePair ||
                                            pdev->image.blitState == kBlitHolePair ||
                                            pdev->image.blitState == kBlitOneBitInPicture);
  const std::int64_t ww = ImageWidth(working), wh = ImageHeight(working);
  for (std::int64_t y = 0; y < h; ++y) {
    const std::int64_t wy = place.top + y;
    if (wy < 0 || wy >= wh) continue;
    BYTE* out = working.buffer + wy * working.stride;
    const BYTE* in = strip + y * stripStride;
    for (std::int64_t x = 0; x < w; ++x) {
      const std::int64_t wx = place.left + x;
      if (wx < 0 || wx >= ww) continue;
      out[wx] = lighter ? static_cast<BYTE>(out[wx] & in[x]) : static_cast<BYTE>(out[wx] | in[x]);
    }
  }
  pending.saved.bottom = FixedFromInt(static_cast<std::int32_t>(place.top + h - 1));
  working.filled = working.area;
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

BOOL FlushPendingImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride) {
  pdev->drawing.sourceId = 0;
  pdev->drawing.previousSourceId = 0;
  if (!cache.working.buffer || !cache.target.buffer) return FALSE;
  // The flush goes by the picture's ROP4, also when no later blit has made
  // it the previous one (a flush at the page end).
  struct PreviousRop {
    std::uint32_t& field;
    std::uint32_t kept;
    ~PreviousRop() { field = kept; }
  } previousRop{pdev->drawing.previousRop4, pdev->drawing.previousRop4};
  if (cache.pictureRop4 != 0) pdev->drawing.previousRop4 = cache.pictureRop4;
  ClassifyPendingImage(pdev, cache);
  cache.bandOrigin = FixedRectToRect(cache.target.area);
  pdev->shared.pictureRect = cache.bandOrigin;
  const std::int64_t width = RectWidth(cache.bandOrigin), height = RectHeight(cache.bandOrigin);
  const std::int64_t stride = OneBitStride(width);
  const auto bytes = stride > 0 && stride <= 0x7FFFFFFF && height <= 0x7FFFFFFF
                         ? CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(height))
                         : std::nullopt;
  auto* band = bytes ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *bytes)) : nullptr;
  const auto finish = [&](BOOL result) {
    if (band) GlobalFree(band);
    pdev->image.blitState = kBlitIdle;
    pdev->shared.operation = kOperationIdle;
    pdev->flags &= ~kPdevImagePending;
    FreeRecords(cache);
    pdev->shared.pictureFlag = 1;
    return result;
  };
  if (!band) return finish(FALSE);
  std::memset(band, 0xFF, *bytes);
  const ImageBuffer saved = cache.target;
  ImageBufferInit(cache.target, 0, 0, static_cast<LONG>(width), static_cast<LONG>(height), saved.resolutionX,
                  saved.resolutionY, kFormat1Bpp);
  cache.target.buffer = band;
  cache.target.stride = static_cast<LONG>(stride);
  const int done = HalftoneImageBands(pdev, cache.target, cache.working, cache.params, 0);
  cache.target = saved;
  if (!done) return finish(FALSE);
  const PdevDrawState& d = pdev->drawing;
  const BYTE state = pdev->image.blitState;
  const POINTL origin{0, 0};
  const bool pair = PairsWithMask(state) || state == kBlitOneBitInPicture;
  if (d.previousRop4 != kRop4StretchCopy && d.previousRop4 != kRop4SrcCopy && !pair)
    CombineHalftoneBand(pdev, band, origin, static_cast<LONG>(stride), plane, cache.bandOrigin, planeStride,
                        &pdev->shared.clipRects);
  else
    CopyHalftoneBand(pdev, band, origin, static_cast<LONG>(stride), plane, cache.bandOrigin, planeStride,
                     &pdev->shared.clipRects);
  if (state == kBlitPaintOverMask) {
    pdev->image.earlierRect = cache.bandOrigin;
    pdev->image.operationRect = cache.bandOrigin;
    pdev->image.earlierRop4 = kRop4SrcAnd;
  }
  return finish(TRUE);
}

BOOL PlaceStripInRecord(RenderPdev* pdev, ImageBandCache& cache, ImageBuffer& W, const PdevRect& N, const FixedRect& U,
                        int pixelBytes, BYTE fill) {
  const std::int64_t n = pixelBytes;
  const PdevRect T = FixedRectToRect(cache.target.area);
  const PdevRect L = pdev->image.earlierRect;
  const FixedMilli dx = DeviceResolutionX(pdev), dy = DeviceResolutionY(pdev);
  // An axis stays on the device grid while the picture and this strip are on
  // it. A strip enlarged there is held at its source size, so it goes next to
  // the picture's content, not to its device offset (a gap of blank rows).
  const auto onGrid = [](FixedMilli picture, FixedMilli strip, FixedMilli device) {
    return FixedThousandths(picture) == FixedThousandths(device) && FixedThousandths(strip) >= FixedThousandths(device);
  };
  const bool equalX = onGrid(W.resolutionX, cache.pending.resolutionX, dx);
  const bool equalY = onGrid(W.resolutionY, cache.pending.resolutionY, dy);
  const PdevRect source = FixedRectToRect(cache.pending.area);
  const std::int64_t stripW = std::min(RectWidth(source), RectWidth(N));
  const std::int64_t stripH = std::min(RectHeight(source), RectHeight(N));
  const std::int64_t oldW = ImageWidth(W), oldH = ImageHeight(W);
  // In the old working image's coordinates: its content at (0, 0); the
  // strip scaled from its device offset to the old target's corner.
  const FixedRect scaled = FixedRectScale(RectToFixedRect(PdevRect{N.left - T.left, N.top - T.top, N.right - T.left,
                                                                   N.bottom - T.top}),
                                          W.resolutionX, W.resolutionY, dx, dy);
  const PdevRect S = FixedRectToRect(scaled);
  const PdevRect saved = FixedRectToRect(W.saved);
  struct Axis {
    std::int64_t nStart, nEnd, tStart, lStart, lEnd, savedStart, savedEnd, scaledStart, size;
    bool equal;
  };
  // Where the strip starts along one axis, and how far the old content moves.
  const auto place = [](const Axis& a, std::int64_t& start, std::int64_t& shift) {
    shift = 0;
    if (a.equal) {
      start = a.nStart - a.tStart;
      return;
    }
    if (a.nStart < a.tStart) {  // before the old picture: it moves on
      const bool overlap = a.nEnd >= a.tStart;
      start = -(overlap ? a.size - 1 : a.size);
      return;
    }
    if (a.nStart == a.tStart)
      start = 0;
    else if (a.nStart == a.lEnd + 1 || a.nStart == a.lEnd)
      start = a.savedEnd + 1;
    else if (a.nStart == a.lStart)
      start = a.savedStart;
    else if (a.nStart < a.lEnd)
      start = a.savedEnd;
    else
      start = a.scaledStart;
  };
  std::int64_t gx, gy, sx, sy;
  place({N.left, N.right, T.left, L.left, L.right, saved.left, saved.right, S.left, stripW, equalX}, gx, sx);
  place({N.top, N.bottom, T.top, L.top, L.bottom, saved.top, saved.bottom, S.top, stripH, equalY}, gy, sy);
  if (cache.mergeState == kMergeNextRightAbove && cache.rememberedRow > 0 && cache.rememberedTop == N.top)
    gy = cache.rememberedRow;
  if (cache.mergeState == kMergeNextRowLeft) {
    cache.rememberedRow = static_cast<LONG>(gy);
    cache.rememberedTop = N.top;
  }
  // E = old content F union strip G; everything shifted so E starts at 0.
  const std::int64_t ex0 = std::min<std::int64_t>(0, gx), ey0 = std::min<std::int64_t>(0, gy);
  const std::int64_t ex1 = std::max(oldW - 1, gx + stripW - 1), ey1 = std::max(oldH - 1, gy + stripH - 1);
  const std::int64_t ew = ex1 - ex0 + 1, eh = ey1 - ey0 + 1;
  const std::int64_t fx = -ex0, fy = -ey0;
  if (ew > 0x7FFFFFFF / n || eh > 0x7FFFFFFF) return FALSE;
  const std::int64_t EW = ew * n, FX = fx * n, OW = oldW * n;  // in bytes
  // Off the device grid the picture is held at its content over the device
  // union: the scale the next strips are placed by.
  const PdevRect u = FixedRectToRect(U);
  const auto merged = [](FixedMilli held, bool equal, FixedMilli device, std::int64_t content, std::int64_t span) {
    if (equal || content <= 0 || span <= 0 || content > 0x7FFFFFFF || span > 0x7FFFFFFF) return held;
    const auto r = FixedFromRatio(FixedRound(device), static_cast<std::int32_t>(content), static_cast<std::int32_t>(span));
    return r ? FixedMin(*r, device) : held;
  };
  const FixedMilli rx = merged(W.resolutionX, equalX, dx, ew, RectWidth(u));
  const FixedMilli ry = merged(W.resolutionY, equalY, dy, eh, RectHeight(u));
  if (ew != oldW || eh != oldH || fx != 0 || fy != 0) {
    // Grow: in place when the block has room, else a new block with room
    // doubled in the direction of growth, never beyond the page.
    const std::int64_t offset = W.buffer - W.block;
    const std::int64_t offY = offset / W.stride, offX = offset % W.stride;
    const std::int64_t capRows = static_cast<std::int64_t>(W.blockBytes / W.stride);
    const std::int64_t nOffX = offX - FX, nOffY = offY - fy;
    if (nOffX >= 0 && nOffY >= 0 && nOffX % n == 0 && nOffX + EW <= W.stride && nOffY + eh + 1 <= capRows) {
      BYTE* buffer = W.block + nOffY * W.stride + nOffX;
      // The rows and columns the picture did not cover yet start without ink.
      for (std::int64_t y = 0; y < eh; ++y) {
        BYTE* row = buffer + y * W.stride;
        const bool oldRow = y >= fy && y < fy + oldH;
        if (!oldRow) {
          std::memset(row, fill, static_cast<std::size_t>(EW));
        } else {
          if (FX > 0) std::memset(row, fill, static_cast<std::size_t>(FX));
          if (FX + OW < EW) std::memset(row + FX + OW, fill, static_cast<std::size_t>(EW - FX - OW));
        }
      }
      W.buffer = buffer;
    } else {
      const std::size_t limit = WorkingImageLimit(pdev) * static_cast<std::size_t>(n);
      std::int64_t capW = EW > W.stride ? std::max(EW, 2 * std::int64_t{W.stride}) : W.stride;
      std::int64_t capH = eh + 1 > capRows ? std::max(eh, 2 * (capRows - 1)) : capRows - 1;
      capW = std::max(capW, EW);
      capW -= capW % n;
      if (limit != 0) {
        const auto fits = [&](std::int64_t w, std::int64_t h) {
          return static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h + 1) <= limit;
        };
        if (!fits(EW, eh)) return FALSE;
        // Doubled beyond the page: all the room the page leaves, so the
        // picture is not moved again for every strip near its end.
        if (!fits(capW, capH)) capH = std::max(eh, static_cast<std::int64_t>(limit / static_cast<std::uint64_t>(capW)) - 1);
        if (!fits(capW, capH)) {
          capH = eh;
          capW = static_cast<std::int64_t>(limit / static_cast<std::uint64_t>(eh + 1));
          capW -= capW % n;
        }
      }
      const auto bytes = CheckedBytes(static_cast<std::uint64_t>(capW), static_cast<std::uint64_t>(capH) + 1);
      if (!bytes || capW > 0x7FFFFFFF) return FALSE;
      auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes));
      if (!block) return FALSE;
      if (fill != 0) std::memset(block, fill, *bytes);
      // Room on the side the picture grows toward.
      const std::int64_t roomX = fx > 0 ? capW - EW : 0, roomY = fy > 0 ? capH - eh : 0;
      BYTE* buffer = block + roomY * capW + roomX;
      for (std::int64_t y = 0; y < oldH; ++y)
        std::memcpy(buffer + (y + fy) * capW + FX, W.buffer + y * W.stride, static_cast<std::size_t>(OW));
      GlobalFree(W.block);
      W.block = block;
      W.blockBytes = *bytes;
      W.buffer = buffer;
      W.stride = static_cast<LONG>(capW);
    }
    ImageBufferInit(W, 0, 0, static_cast<LONG>(ew), static_cast<LONG>(eh), rx, ry, W.format);
    W.filled = RectToFixedRect(PdevRect{static_cast<LONG>(fx), static_cast<LONG>(fy), static_cast<LONG>(fx + oldW - 1),
                                        static_cast<LONG>(fy + oldH - 1)});
  }
  W.resolutionX = rx;
  W.resolutionY = ry;
  W.rowsPerCm = FixedDotsPerCm(ry);
  W.saved = RectToFixedRect(PdevRect{static_cast<LONG>(gx + fx), static_cast<LONG>(gy + fy),
                                     static_cast<LONG>(gx + fx + stripW - 1), static_cast<LONG>(gy + fy + stripH - 1)});
  return TRUE;
}

BOOL MergeStripGeometry(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& N, const FixedRect& unionRect) {
  return PlaceStripInRecord(pdev, cache, cache.working, N, unionRect, 1, 0);
}

namespace {

bool MergeStripIntoCache(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return MergeStripIntoRecord(
      pdev, cache, cache.working, N, strip, kFormat8Bpp,
      [&](const FixedRect& U) { return MergeStripGeometry(pdev, cache, N, U) != FALSE; },
      [&] {
        ConvertImageBufferToDensity(pdev, cache.working, cache.scaled, cache.pending, strip.palette,
                                    strip.paletteCount);
      },
      [&] { MergeImageIntoCache8(pdev, cache, strip.palette, strip.paletteCount); });
}

}  // namespace

}  // namespace imaging

using namespace imaging;

namespace {

bool Flush(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride) {
  return FlushPendingImage(pdev, cache, plane, planeStride) != FALSE;
}

}  // namespace

namespace imaging {

BOOL RunImageCache(RenderPdev* pdev, const PdevRect* target, StripSource strip, const CacheSteps& steps) {
  if (target && (!strip.bits || RectIsEmpty(strip.rect) || RectIsEmpty(*target))) target = nullptr;
  ImageBandCache* cache = target ? BandCacheOf(pdev) : pdev->image.bandCache;
  if (!cache) {
    if (!target) return TRUE;
    pdev->shared.pictureFlag = 0;
    pdev->drawing.targetPlane = nullptr;
    pdev->drawing.otherPlane = nullptr;
    return FALSE;
  }
  const PdevRect N = target ? *target : PdevRect{0, 0, -1, -1};
  if (target) {
    // A new picture caches unless the settings or the device say otherwise;
    // a failure switches caching off for the picture it hit only.
    if (!(pdev->flags & kPdevImagePending)) pdev->shared.pictureFlag = CachesPictures(pdev) ? 1 : 0;
    cache->pending.resolutionX = SourceResolution(DeviceResolutionX(pdev), RectWidth(strip.rect), RectWidth(N));
    cache->pending.resolutionY = SourceResolution(DeviceResolutionY(pdev), RectHeight(strip.rect), RectHeight(N));
  }
  pdev->shared.operation = kOperationMerging;
  int d = DecideMerge(pdev, *cache, target, strip.format, steps.kind);
  BYTE* rescaled = nullptr;
  if (d == kMergeContinueBand) {
    ImageBuffer& picture = steps.kind == kCacheRgb ? cache->rgb : cache->working;
    const int r = RescaleForMerge(pdev, cache->target, picture, steps.kind == kCacheRgb ? 1 : 0, N, cache->pending,
                                  strip, &rescaled);
    if (r != 0) {
      d = kMergeStrip;
    } else {
      pdev->image.earlierRect = N;
      pdev->image.operationRect = N;
      cache->adjacency = 0;
    }
  }
  if (d == kMergeStrip && pdev->drawing.destinationFlipped != 0) d = kMergeNew;
  const auto flush = [&] { return steps.flush(steps.context, *cache); };
  // The black-and-white-source byte belongs to the blit that set it (a paint
  // over a mask, told by its state before a flush makes it idle); a new
  // picture of any other blit starts without it.
  const bool paintOverMask =
      pdev->image.blitState == kBlitPaintOverMask || pdev->image.blitState == kBlitPaintOnMaskNew;
  const auto start = [&] {
    if (!paintOverMask) pdev->shared.blackWhiteSource = 0;
    steps.start(steps.context, *cache, N, strip);
  };
  bool ok = true;
  switch (d) {
    case kMergeNew:
      ok = flush();
      cache->bandContinuation = kContinueNone;
      start();
      break;
    case kMergeStrip:
      if (pdev->shared.pictureFlag == 0) {
        ok = flush();
        cache->bandContinuation = kContinueNone;
        start();
      } else {
        pdev->shared.clipRects.pictureLast = pdev->shared.clipRects.count - 1;
        if (!steps.merge(steps.context, *cache, N, strip)) {
          // Caching off for this strip: the picture so far goes down, the strip directly.
          pdev->shared.pictureFlag = 0;
          ok = flush();
          pdev->shared.pictureFlag = 0;
          start();
        }
      }
      pdev->image.earlierRect = N;
      break;
    case kMergeFlushOnly:
      ok = flush();
      cache->bandContinuation = kContinueNone;
      ClearClipRectList(pdev);
      break;
    case kMergeNothing:
      break;
    case kMergeContinueBand:
      if (cache->bandContinuation == kContinueNone) cache->bandContinuation = kContinueFlushing;
      ok = flush();
      cache->bandContinuation = kContinueFlushed;
      start();
      break;
    case kMergeStartOnly:
    default:
      start();
      break;
  }
  if (rescaled) GlobalFree(rescaled);
  pdev->shared.operation = kOperationIdle;
  return ok ? TRUE : FALSE;
}

}  // namespace imaging

namespace {

struct PlaneTarget {
  RenderPdev* pdev;
  BYTE* plane;
  LONG planeStride;
};

bool FlushStep(void* context, ImageBandCache& cache) {
  auto* t = static_cast<PlaneTarget*>(context);
  return Flush(t->pdev, cache, t->plane, t->planeStride);
}

void StartStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  auto* t = static_cast<PlaneTarget*>(context);
  StartImage(t->pdev, cache, t->plane, t->planeStride, N, strip, true);
}

bool MergeStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return MergeStripIntoCache(static_cast<PlaneTarget*>(context)->pdev, cache, N, strip);
}

}  // namespace

BOOL FlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target, const BYTE* src,
                       const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount,
                       ULONG format) {
  if (!pdev) return FALSE;
  if (TwoPlaneSheet(pdev))
    return CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, target, src, srcRect, srcStride,
                          palette, paletteCount, format);
  if (target && !srcRect) target = nullptr;
  PlaneTarget context{pdev, plane, planeStride};
  const CacheSteps steps{kCache8Bit, FlushStep, StartStep, MergeStep, &context};
  return RunImageCache(pdev, target,
                       StripSource{src, srcRect ? *srcRect : PdevRect{0, 0, -1, -1}, srcStride, format, palette,
                                   paletteCount},
                       steps);
}
