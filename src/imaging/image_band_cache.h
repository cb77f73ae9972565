// The 8-bit image band cache of one-ink sheets and the cache steps it shares
// with the RGB cache: strips that continue a picture are merged as ink
// density into one working image, which is halftoned once at the flush.
#pragma once

#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "imaging/merge_decision.h"
#include "planes/pdev_record.h"
#include "planes/plane_ops.h"

namespace imaging {

// No strip: what a flush request hands the cache.
inline constexpr StripSource kNoStrip{nullptr, PdevRect{0, 0, -1, -1}, 0, 0, nullptr, 0};

// Device resolutions as fixed point (the record's, else its whole dpi).
FixedMilli DeviceResolutionX(const RenderPdev* pdev);
FixedMilli DeviceResolutionY(const RenderPdev* pdev);
// device dpi x source size / target size; the device dpi when it cannot be formed.
FixedMilli SourceResolution(FixedMilli device, std::int64_t source, std::int64_t target);
// Pictures are cached when the device allows it and the settings ask for
// diffusion, sharpening or enhancement.
bool CachingEnabled(const RenderPdev* pdev);
// The caller's strip in the pending record (pixels not owned).
void SetPendingStrip(RenderPdev* pdev, ImageBandCache& cache, const StripSource& strip, const PdevRect& target);
// Records of a new picture for either cache: the target at T (over the plane
// when one is given), the pending strip, `picture` in `format` at the smaller
// of source and target size within limitBytes and, for a strip larger than its
// target, the scaled record. FALSE when a size does not fit or the heap refuses.
bool StartPictureRecords(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T, const StripSource& strip,
                         BYTE* plane, LONG planeStride, ImageBuffer& picture, BYTE format, std::size_t limitBytes);

// What a cache does at the answers of the merge decision: flush the pending
// picture (false when the flush failed), start a new picture from the strip
// (cached, or rendered at once with caching off into the bands it hands
// back), merge the strip into the
// pending picture (false: it could not, the strip is then started uncached).
struct CacheSteps {
  int kind;  // kCache8Bit or kCacheRgb
  bool (*flush)(void* context, ImageBandCache& cache);
  PictureBands (*start)(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip);
  bool (*merge)(void* context, ImageBandCache& cache, const PdevRect& N, const StripSource& strip);
  void* context;
};
// The entry of both caches: with no target (or an empty strip) a flush
// request; else the strip is merged into the pending picture or starts a new
// one, as DecideMerge answers. Not ok when a flush fails, or when the cache
// state cannot be had for a strip (not cached, no bands); the bands of a
// strip rendered at once come back.
CacheAnswer RunImageCache(RenderPdev* pdev, const PdevRect* target, StripSource strip, const CacheSteps& steps);

// Places the next strip in the working image and grows it (geometrically, up
// to the page) to the union of the old picture's and the strip's rectangles,
// each at its own scale; off the device grid the picture's scale becomes its
// content over the device union unionRect. FALSE when it cannot grow.
BOOL MergeStripGeometry(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& newTarget, const FixedRect& unionRect);
// The same placement in any record of pixelBytes bytes a pixel, new areas
// filled with fill (0 no ink in density, 255 white in RGB). Off the device
// grid a strip goes next to the last one; one that overlaps it by at most the
// dots of one source pixel starts on the last strip's last pixel, one that
// overlaps more at its own scaled place.
BOOL PlaceStripInRecord(RenderPdev* pdev, ImageBandCache& cache, ImageBuffer& picture, const PdevRect& newTarget,
                        const FixedRect& unionArea, int pixelBytes, BYTE fill);
// Merges a strip into a picture record: the strip becomes the pending one and
// place(union) places it in the record; a strip sent larger than its target
// gets a scaled record of scaledFormat; a plain copy without a complex clip
// is copied in (copy), anything else combined (combine). The picture then
// covers the union and keeps the strip's ROP4.
template <typename Place, typename Copy, typename Combine>
bool MergeStripIntoRecord(RenderPdev* pdev, ImageBandCache& cache, ImageBuffer& record, const PdevRect& N,
                          const StripSource& strip, BYTE scaledFormat, Place place, Copy copy, Combine combine) {
  SetPendingStrip(pdev, cache, strip, N);
  const FixedRect U = FixedRectUnion(cache.target.area, RectToFixedRect(N));
  if (!place(U)) return false;
  const std::int64_t sw = RectWidth(strip.rect), sh = RectHeight(strip.rect);
  if (RectHeight(N) < sh || RectWidth(N) < sw) {
    if (!ImageBufferAlloc(cache.scaled, static_cast<LONG>(sw), static_cast<LONG>(sh), cache.pending.resolutionX,
                          cache.pending.resolutionY, scaledFormat))
      return false;
  }
  const PdevDrawState& d = pdev->drawing;
  if (Rop3Of(d.rop4) != kRop3SrcCopy || d.clipComplexity == DC_COMPLEX) {
    cache.target.area = U;
    combine();
  } else {
    copy();
  }
  record.filled = record.area;
  cache.target.area = U;
  cache.pictureRop4 = pdev->drawing.rop4;
  return true;
}

// The pending strip combined into the working image at its saved place: the
// lighter density wins for SRCPAINT pairs, the darker otherwise; a complex
// copy first clears this blit's clip rectangles.
void MergeImageIntoCache8(RenderPdev* pdev, ImageBandCache& cache, const ULONG* palette, ULONG paletteCount);
// Halftones the pending picture onto the plane; FALSE (everything freed,
// nothing pending) on failure.
BOOL FlushPendingImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride);

// The 8-bit band cache of one-ink sheets behind FlushOrMergeImage: without a
// target it flushes the pending picture into plane, with one it takes the
// strip for target.
CacheAnswer CacheImage8(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target, const BYTE* src,
                        const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount,
                        ULONG format);
// Flushes its pending picture into plane; TRUE when nothing was pending.
BOOL FlushCache8(RenderPdev* pdev, BYTE* plane, LONG planeStride);

}  // namespace imaging

// The plug-in's entries to the start of a new picture in the 8-bit cache
// (StartImage) and in the RGB cache (RenderImageBand): cached, or with caching
// off rendered at once into the bands that come back.
PictureBands OemStartImage(RenderPdev* pdev, ImageBandCache& cache, BYTE* plane, LONG planeStride, const PdevRect& T,
                           const imaging::StripSource& strip, bool withParameters);
PictureBands OemRenderImageBand(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& T,
                                const imaging::StripSource& strip, bool withParameters);

// Hands a picture strip (clip list first) to the band cache of the sheet:
// both drums' on two inks, the one-ink picture plane's otherwise. The
// direct-render bands when the cache did not keep it (the caller frees them
// through first), else none.
PictureBands SubmitImageToCache(RenderPdev* pdev, const BYTE* image, const PdevRect& rect, LONG stride, ULONG format,
                                const PdevRect& target, const ULONG* palette, ULONG paletteCount, LONG planeStride,
                                CLIPOBJ* clip);
