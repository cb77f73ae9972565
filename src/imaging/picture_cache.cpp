// Which band cache takes a sheet's pictures: the RGB cache on a two-ink
// sheet, the 8-bit cache on one ink; a strip handed to it; and the flush of
// the pending picture.
#include "imaging/image_band_cache.h"
#include "imaging/image_entries.h"
#include "imaging/rgb_band_cache.h"
#include "planes/plane_ops.h"

CacheAnswer FlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                              const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                              ULONG paletteCount, ULONG format) {
  if (!pdev) return CacheAnswer{FALSE, {}};
  if (HasTwoPlanes(pdev))
    return CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, target, src, srcRect, srcStride,
                          palette, paletteCount, format);
  return imaging::CacheImage8(pdev, plane, planeStride, target, src, srcRect, srcStride, palette, paletteCount,
                              format);
}

PictureBands SubmitImageToCache(RenderPdev* pdev, const BYTE* image, const PdevRect& rect, LONG stride, ULONG format,
                                const PdevRect& target, const ULONG* palette, ULONG paletteCount, LONG planeStride,
                                CLIPOBJ* clip) {
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, planeStride, &drum1, &drum2);
  if (pdev->drawing.clipComplexity != DC_COMPLEX) AddClipToClipRectList(pdev, clip);
  // The plug-in's caches first flush the drawing objects queued there.
  const bool plugin = IsPluginPdev(pdev);
  const CacheAnswer answer =
      HasTwoPlanes(pdev)
          ? (plugin ? OemCacheImageBand : CacheImageBand)(pdev, drum1, drum2, planeStride, &target, image, &rect,
                                                           stride, palette, paletteCount, format)
          : (plugin ? OemFlushOrMergeImage : FlushOrMergeImage)(pdev, OneInkPicturePlane(pdev, drum1, drum2),
                                                                 planeStride, &target, image, &rect, stride, palette,
                                                                 paletteCount, format);
  if (pdev->shared.pictureFlag == 1) return {};
  return answer.bands;
}

BOOL FlushPicture(RenderPdev* pdev, BYTE* plane, LONG planeStride) {
  if (!pdev) return FALSE;
  if (HasTwoPlanes(pdev)) return imaging::FlushRgbCache(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride);
  return imaging::FlushCache8(pdev, plane, planeStride);
}

BOOL FlushImageIfPending(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return TRUE;
  // The plug-in's pending work may be queued drawing objects; their flush
  // keeps the flag as the queue needs it.
  if (IsPluginPdev(pdev) && pdev->plugin.head) return FlushDrawObjects(pdev);
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  BOOL flushed = FlushPicture(pdev, plane, pdev->planeStride);
  pdev->flags &= ~kPdevImagePending;
  return flushed;
}
