// Which band cache takes a sheet's pictures: the RGB cache on a two-ink
// sheet, the 8-bit cache on one ink; and the drawing entries' flush of the
// pending picture.
#include "imaging/image_band_cache.h"
#include "imaging/image_entries.h"

BOOL FlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target, const BYTE* src,
                       const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount,
                       ULONG format) {
  if (!pdev) return FALSE;
  if (pdev->flags & kPdevTwoPlanes)
    return CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, target, src, srcRect, srcStride,
                          palette, paletteCount, format);
  return imaging::CacheImage8(pdev, plane, planeStride, target, src, srcRect, srcStride, palette, paletteCount,
                              format);
}

BOOL FlushImageIfPending(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return TRUE;
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  BOOL flushed = FlushOrMergeImage(pdev, plane, pdev->planeStride, nullptr, nullptr, nullptr, 0, nullptr, 0, 0);
  pdev->flags &= ~kPdevImagePending;
  return flushed;
}
