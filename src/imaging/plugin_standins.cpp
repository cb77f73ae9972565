// Stand-ins for the plug-in's shadow-page pictures until they are built:
// the workers decline, the caches and the image blit are the classic ones,
// and the queue is always empty.
#include "imaging/image_entries.h"

BOOL ShadowCopyBlt(RenderPdev*, const RECTL*, ULONG, CLIPOBJ*) { return FALSE; }
BOOL ShadowBlendBlt(RenderPdev*, const RECTL*, ULONG, CLIPOBJ*) { return FALSE; }
BOOL ShadowRopBlt(RenderPdev*, const RECTL*, ULONG, CLIPOBJ*) { return FALSE; }
BOOL ShadowMaskBlt(RenderPdev*, const RECTL*, ULONG, CLIPOBJ*) { return FALSE; }

BOOL OemImageBlt(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate) {
  return BitBltImage(pso, target, src, srcOrigin, clip, xlate);
}

CacheAnswer OemFlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                                 const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                                 ULONG paletteCount, ULONG format) {
  return FlushOrMergeImage(pdev, plane, planeStride, target, src, srcRect, srcStride, palette, paletteCount, format);
}

CacheAnswer OemCacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                              const PdevRect* target, const BYTE* src, const PdevRect* srcRect, LONG srcStride,
                              const ULONG* palette, ULONG paletteCount, ULONG format) {
  return CacheImageBand(pdev, drum1Plane, drum2Plane, planeStride, target, src, srcRect, srcStride, palette,
                        paletteCount, format);
}

BOOL FlushDrawObjects(RenderPdev* pdev) { return pdev->plugin.shadowObject != nullptr ? TRUE : FALSE; }
void UnlinkDrawObject(RenderPdev*) {}
void FreeDrawObjects(RenderPdev*) {}
