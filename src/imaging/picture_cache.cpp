// Which band cache takes a sheet's pictures: the RGB cache on a two-ink
// sheet, the 8-bit cache on one ink; and the flush of the pending picture.
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

BOOL FlushPicture(RenderPdev* pdev, BYTE* plane, LONG planeStride) {
  if (!pdev) return FALSE;
  if (HasTwoPlanes(pdev)) return imaging::FlushRgbCache(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride);
  return imaging::FlushCache8(pdev, plane, planeStride);
}
