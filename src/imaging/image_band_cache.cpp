// The 8-bit image band cache: strips of one picture merged as ink density
// into one working image, halftoned once when the picture is flushed.
#include "imaging/image_band_cache.h"

#include <algorithm>
#include <cstring>

#include "imaging/density.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/picture_halftone.h"
#include "imaging/scratch.h"
#include "planes/plane_ops.h"
#include "planes/rect_ops.h"

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
// (one block), handed back to the caller. None when the records or the bands
// cannot be had.
PictureBands RenderStripDirectly(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride,
                                 const PdevRect& T, const StripSource& strip) {
  if (!StartImageCache(pdev, cache, plane, T, planeStride, strip)) {
    FreeRecords(cache);
    return {};
  }
  const std::int64_t stride = OneBitStride(RectWidth(T));
  const auto bandBytes = CheckedBytes(static_cast<std::uint64_t>(std::max<std::int64_t>(stride, 0)),
                                      static_cast<std::uint64_t>(RectHeight(T)));
  auto* bands = stride > 0 && stride <= 0x7FFFFFFF && bandBytes
                    ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *bandBytes * 2))
                    : nullptr;
  if (!bands) {
    FreeRecords(cache);
    return {};
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
  return PictureBands{bands, bands + *bandBytes};
}

// Puts the strip into the working image at its saved place.
void PutStrip(RenderPdev* pdev, ImageBandCache& cache, const StripSource& strip) {
  if (Rop3Of(pdev->drawing.rop4) == kRop3SrcCopy && pdev->drawing.clipComplexity != DC_COMPLEX)
    ConvertImageBufferToDensity(pdev, cache.working, cache.scaled, cache.pending, strip.palette, strip.paletteCount);
  else
    MergeImageIntoCache8(pdev, cache, strip.palette, strip.paletteCount);
}

// A new picture from the strip; caching off renders it at once into the
// bands that come back.
PictureBands StartImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride, const PdevRect& T,
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
    return {};
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

namespace {

// One direction of a strip's placement: device dots for the targets, working
// pixels for the picture.
struct StripAxis {
  std::int64_t stripStart, stripEnd;  // the new strip's target
  std::int64_t pictureStart;          // the picture's target area
  std::int64_t lastStart, lastEnd;    // the last strip's target
  std::int64_t savedStart, savedEnd;  // where the last strip went in the picture
  std::int64_t scaledStart;           // the new strip's target scaled into the picture
  std::int64_t stripPixels;           // the strip's size in the picture
  std::int64_t sourcePixels;          // the strip's source size
  bool onDeviceGrid;                  // picture pixels are device dots here
};

// The strip covers `overlap` dots of the last strip, and that is at most the
// dots one source pixel takes: the same source pixel sent twice, so the strip
// starts on the last strip's last pixel.
bool OverlapIsOneSourcePixel(const StripAxis& a, std::int64_t overlap) {
  const std::int64_t stripDots = a.stripEnd - a.stripStart + 1;
  return overlap > 0 && stripDots >= overlap * a.sourcePixels;
}

// Where the strip starts along one axis, relative to the picture's content
// (negative: before it, the content moves on by as much).
std::int64_t StripStartAlongAxis(const StripAxis& a) {
  if (a.onDeviceGrid) return a.stripStart - a.pictureStart;
  if (a.stripStart < a.pictureStart) {  // before the picture
    if (a.stripEnd + 1 == a.lastStart || a.stripEnd == a.lastStart) return -a.stripPixels;
    if (OverlapIsOneSourcePixel(a, a.stripEnd - a.lastStart)) return -(a.stripPixels - 1);
    return 0;
  }
  if (a.stripStart == a.pictureStart) return 0;
  if (a.stripStart == a.lastEnd + 1 || a.stripStart == a.lastEnd) return a.savedEnd + 1;
  if (a.stripStart == a.lastStart) return a.savedStart;
  if (a.stripStart < a.lastEnd && OverlapIsOneSourcePixel(a, a.lastEnd - a.stripStart)) return a.savedEnd;
  return a.scaledStart;
}

// A picture's area in working pixels: the old content and the strip's place,
// both relative to the old content's corner.
struct GrownArea {
  std::int64_t width, height;          // of the union
  std::int64_t contentLeft, contentTop;  // where the old content goes in it
};

GrownArea UnionWithStrip(std::int64_t contentWidth, std::int64_t contentHeight, std::int64_t stripLeft,
                         std::int64_t stripTop, std::int64_t stripWidth, std::int64_t stripHeight) {
  const std::int64_t left = std::min<std::int64_t>(0, stripLeft), top = std::min<std::int64_t>(0, stripTop);
  const std::int64_t right = std::max(contentWidth - 1, stripLeft + stripWidth - 1);
  const std::int64_t bottom = std::max(contentHeight - 1, stripTop + stripHeight - 1);
  return {right - left + 1, bottom - top + 1, -left, -top};
}

// Off the device grid the picture is held at its content over the device
// union: the scale the next strips are placed by.
FixedMilli HeldResolution(FixedMilli held, bool onDeviceGrid, FixedMilli device, std::int64_t contentPixels,
                          std::int64_t unionDots) {
  if (onDeviceGrid || contentPixels <= 0 || unionDots <= 0 || contentPixels > 0x7FFFFFFF || unionDots > 0x7FFFFFFF)
    return held;
  const auto r = FixedFromRatio(FixedRound(device), static_cast<std::int32_t>(contentPixels),
                                static_cast<std::int32_t>(unionDots));
  return r ? FixedMin(*r, device) : held;
}

// Gives the record the grown area: in place when its block has room, else a
// new block with room doubled in the direction of growth, never beyond the
// page. New pixels are `fill`. False when the memory cannot be had.
bool GrowPicture(RenderPdev* pdev, ImageBuffer& picture, const GrownArea& grown, std::int64_t pixelBytes, BYTE fill) {
  const std::int64_t oldWidth = ImageWidth(picture), oldHeight = ImageHeight(picture);
  const std::int64_t rowBytes = grown.width * pixelBytes, contentX = grown.contentLeft * pixelBytes;
  const std::int64_t oldRowBytes = oldWidth * pixelBytes, contentTop = grown.contentTop;
  const std::int64_t offset = picture.buffer - picture.block;
  const std::int64_t offsetRow = offset / picture.stride, offsetX = offset % picture.stride;
  const std::int64_t blockRows = static_cast<std::int64_t>(picture.blockBytes / picture.stride);
  const std::int64_t newOffsetX = offsetX - contentX, newOffsetRow = offsetRow - contentTop;
  if (newOffsetX >= 0 && newOffsetRow >= 0 && newOffsetX % pixelBytes == 0 && newOffsetX + rowBytes <= picture.stride &&
      newOffsetRow + grown.height + 1 <= blockRows) {
    BYTE* buffer = picture.block + newOffsetRow * picture.stride + newOffsetX;
    // The rows and columns the picture did not cover yet start without ink.
    for (std::int64_t y = 0; y < grown.height; ++y) {
      BYTE* row = buffer + y * picture.stride;
      const bool oldRow = y >= contentTop && y < contentTop + oldHeight;
      if (!oldRow) {
        std::memset(row, fill, static_cast<std::size_t>(rowBytes));
      } else {
        if (contentX > 0) std::memset(row, fill, static_cast<std::size_t>(contentX));
        if (contentX + oldRowBytes < rowBytes)
          std::memset(row + contentX + oldRowBytes, fill, static_cast<std::size_t>(rowBytes - contentX - oldRowBytes));
      }
    }
    picture.buffer = buffer;
    return true;
  }
  const std::size_t limit = WorkingImageLimit(pdev) * static_cast<std::size_t>(pixelBytes);
  std::int64_t roomWidth = rowBytes > picture.stride ? std::max(rowBytes, 2 * std::int64_t{picture.stride}) : picture.stride;
  std::int64_t roomRows = grown.height + 1 > blockRows ? std::max(grown.height, 2 * (blockRows - 1)) : blockRows - 1;
  roomWidth = std::max(roomWidth, rowBytes);
  roomWidth -= roomWidth % pixelBytes;
  if (limit != 0) {
    const auto fits = [&](std::int64_t width, std::int64_t rows) {
      return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows + 1) <= limit;
    };
    if (!fits(rowBytes, grown.height)) return false;
    // Doubled beyond the page: all the room the page leaves, so the
    // picture is not moved again for every strip near its end.
    if (!fits(roomWidth, roomRows))
      roomRows = std::max(grown.height, static_cast<std::int64_t>(limit / static_cast<std::uint64_t>(roomWidth)) - 1);
    if (!fits(roomWidth, roomRows)) {
      roomRows = grown.height;
      roomWidth = static_cast<std::int64_t>(limit / static_cast<std::uint64_t>(grown.height + 1));
      roomWidth -= roomWidth % pixelBytes;
    }
  }
  const auto bytes = CheckedBytes(static_cast<std::uint64_t>(roomWidth), static_cast<std::uint64_t>(roomRows) + 1);
  if (!bytes || roomWidth > 0x7FFFFFFF) return false;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes));
  if (!block) return false;
  if (fill != 0) std::memset(block, fill, *bytes);
  // Room on the side the picture grows toward.
  const std::int64_t roomX = grown.contentLeft > 0 ? roomWidth - rowBytes : 0;
  const std::int64_t roomY = contentTop > 0 ? roomRows - grown.height : 0;
  BYTE* buffer = block + roomY * roomWidth + roomX;
  for (std::int64_t y = 0; y < oldHeight; ++y)
    std::memcpy(buffer + (y + contentTop) * roomWidth + contentX, picture.buffer + y * picture.stride,
                static_cast<std::size_t>(oldRowBytes));
  GlobalFree(picture.block);
  picture.block = block;
  picture.blockBytes = *bytes;
  picture.buffer = buffer;
  picture.stride = static_cast<LONG>(roomWidth);
  return true;
}

}  // namespace

BOOL PlaceStripInRecord(RenderPdev* pdev, ImageBandCache& cache, ImageBuffer& picture, const PdevRect& newTarget,
                        const FixedRect& unionArea, int pixelBytes, BYTE fill) {
  const PdevRect targetArea = FixedRectToRect(cache.target.area);
  const PdevRect lastStrip = pdev->image.earlierRect;
  const FixedMilli deviceX = DeviceResolutionX(pdev), deviceY = DeviceResolutionY(pdev);
  // An axis stays on the device grid while the picture and this strip are on
  // it. A strip enlarged there is held at its source size, so it goes next to
  // the picture's content, not to its device offset (a gap of blank rows).
  const auto onGrid = [](FixedMilli held, FixedMilli strip, FixedMilli device) {
    return FixedThousandths(held) == FixedThousandths(device) && FixedThousandths(strip) >= FixedThousandths(device);
  };
  const bool gridX = onGrid(picture.resolutionX, cache.pending.resolutionX, deviceX);
  const bool gridY = onGrid(picture.resolutionY, cache.pending.resolutionY, deviceY);
  const PdevRect source = FixedRectToRect(cache.pending.area);
  const std::int64_t stripWidth = std::min(RectWidth(source), RectWidth(newTarget));
  const std::int64_t stripHeight = std::min(RectHeight(source), RectHeight(newTarget));
  const std::int64_t contentWidth = ImageWidth(picture), contentHeight = ImageHeight(picture);
  // The strip scaled from its device offset to the old target's corner.
  const PdevRect scaled = FixedRectToRect(FixedRectScale(
      RectToFixedRect(PdevRect{newTarget.left - targetArea.left, newTarget.top - targetArea.top,
                               newTarget.right - targetArea.left, newTarget.bottom - targetArea.top}),
      picture.resolutionX, picture.resolutionY, deviceX, deviceY));
  const PdevRect saved = FixedRectToRect(picture.saved);

  std::int64_t stripLeft = StripStartAlongAxis({newTarget.left, newTarget.right, targetArea.left, lastStrip.left,
                                                lastStrip.right, saved.left, saved.right, scaled.left, stripWidth,
                                                RectWidth(source), gridX});
  std::int64_t stripTop = StripStartAlongAxis({newTarget.top, newTarget.bottom, targetArea.top, lastStrip.top,
                                               lastStrip.bottom, saved.top, saved.bottom, scaled.top, stripHeight,
                                               RectHeight(source), gridY});
  // Blocks: the next strip right of and above the last starts on the row
  // remembered when its row began at the left edge.
  if (cache.mergeState == kMergeNextRightAbove && cache.rememberedRow > 0 && cache.rememberedTop == newTarget.top)
    stripTop = cache.rememberedRow;
  if (cache.mergeState == kMergeNextRowLeft) {
    cache.rememberedRow = static_cast<LONG>(stripTop);
    cache.rememberedTop = newTarget.top;
  }

  const GrownArea grown = UnionWithStrip(contentWidth, contentHeight, stripLeft, stripTop, stripWidth, stripHeight);
  if (grown.width > 0x7FFFFFFF / pixelBytes || grown.height > 0x7FFFFFFF) return FALSE;
  const PdevRect unionDots = FixedRectToRect(unionArea);
  const FixedMilli heldX = HeldResolution(picture.resolutionX, gridX, deviceX, grown.width, RectWidth(unionDots));
  const FixedMilli heldY = HeldResolution(picture.resolutionY, gridY, deviceY, grown.height, RectHeight(unionDots));
  if (grown.width != contentWidth || grown.height != contentHeight || grown.contentLeft != 0 || grown.contentTop != 0) {
    if (!GrowPicture(pdev, picture, grown, pixelBytes, fill)) return FALSE;
    ImageBufferInit(picture, 0, 0, static_cast<LONG>(grown.width), static_cast<LONG>(grown.height), heldX, heldY,
                    picture.format);
    picture.filled = RectToFixedRect(PdevRect{
        static_cast<LONG>(grown.contentLeft), static_cast<LONG>(grown.contentTop),
        static_cast<LONG>(grown.contentLeft + contentWidth - 1), static_cast<LONG>(grown.contentTop + contentHeight - 1)});
  }
  picture.resolutionX = heldX;
  picture.resolutionY = heldY;
  picture.rowsPerCm = FixedDotsPerCm(heldY);
  // Where the converter or the merge writes the strip.
  const std::int64_t placeLeft = stripLeft + grown.contentLeft, placeTop = stripTop + grown.contentTop;
  picture.saved = RectToFixedRect(PdevRect{static_cast<LONG>(placeLeft), static_cast<LONG>(placeTop),
                                           static_cast<LONG>(placeLeft + stripWidth - 1),
                                           static_cast<LONG>(placeTop + stripHeight - 1)});
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

CacheAnswer RunImageCache(RenderPdev* pdev, const PdevRect* target, StripSource strip, const CacheSteps& steps) {
  if (target && (!strip.bits || RectIsEmpty(strip.rect) || RectIsEmpty(*target))) target = nullptr;
  ImageBandCache* cache = target ? BandCacheOf(pdev) : pdev->image.bandCache;
  if (!cache) {
    if (!target) return CacheAnswer{TRUE, {}};
    pdev->shared.pictureFlag = 0;
    return CacheAnswer{FALSE, {}};
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
  PictureBands direct{};
  const auto start = [&] {
    if (!paintOverMask) pdev->shared.blackWhiteSource = 0;
    direct = steps.start(steps.context, *cache, N, strip);
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
  return CacheAnswer{ok ? TRUE : FALSE, direct};
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

PictureBands StartStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  auto* t = static_cast<PlaneTarget*>(context);
  return StartImage(t->pdev, cache, t->plane, t->planeStride, N, strip, true);
}

bool MergeStep(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip) {
  return MergeStripIntoCache(static_cast<PlaneTarget*>(context)->pdev, cache, N, strip);
}

}  // namespace

PictureBands OemStartImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride, const PdevRect& T,
                           const StripSource& strip, bool withParameters) {
  return StartImage(pdev, cache, plane, planeStride, T, strip, withParameters);
}

CacheAnswer imaging::CacheImage8(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                                 const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                                 ULONG paletteCount, ULONG format) {
  if (target && !srcRect) target = nullptr;
  PlaneTarget context{pdev, plane, planeStride};
  const CacheSteps steps{kCache8Bit, FlushStep, StartStep, MergeStep, &context};
  return RunImageCache(pdev, target,
                       StripSource{src, srcRect ? *srcRect : kNoStrip.rect, srcStride, format, palette, paletteCount},
                       steps);
}

BOOL imaging::FlushCache8(RenderPdev* pdev, BYTE* plane, LONG planeStride) {
  PlaneTarget context{pdev, plane, planeStride};
  const CacheSteps steps{kCache8Bit, FlushStep, StartStep, MergeStep, &context};
  return RunImageCache(pdev, nullptr, kNoStrip, steps).ok;
}
