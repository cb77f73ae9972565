// Stand-ins of the image entries whose paths are not built yet. Each answers
// as the drawing paths may rely on until its real routine replaces it here:
// the 8-bit cache takes nothing (a strip comes back as direct-render bands,
// white but for the strip halftoned into them), the blit path declines, and
// freeing the image buffers frees the job's screens and grid.
#include <cstring>

#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "render/plane_ops.h"

namespace {

// A strip the cache does not keep: two white bands of the target's size in
// one block, the strip halftoned into them, left in the plane fields.
BOOL DirectRenderStrip(RenderPdev* pdev, const PdevRect* target, const BYTE* src, const PdevRect* srcRect,
                       LONG srcStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!target) return TRUE;
  pdev->shared.pictureFlag = 0;
  pdev->drawing.targetPlane = nullptr;
  pdev->drawing.otherPlane = nullptr;
  if (!srcRect || RectIsEmpty(*target)) return FALSE;
  std::int64_t stride = AlignTo4(RowBytes1bpp(RectWidth(*target)));
  std::int64_t height = RectHeight(*target);
  if (stride <= 0 || stride > 0x7FFFFFFF || height > (std::int64_t{1} << 40) / 2 / stride) return FALSE;
  std::int64_t bandBytes = stride * height;
  auto* bands = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bandBytes * 2)));
  if (!bands) return FALSE;
  std::memset(bands, 0xFF, static_cast<std::size_t>(bandBytes * 2));
  const PdevRect bandRect{0, 0, static_cast<std::int32_t>(RectWidth(*target) - 1), static_cast<std::int32_t>(height - 1)};
  (void)HalftoneSourceToPlanes(pdev, bands, bandRect, static_cast<LONG>(stride), src, *srcRect, srcStride,
                               pdev->amiLine, pdev->amiAngle, pdev->resolutionX, palette, paletteCount, format,
                               POINTL{target->left, target->top});
  pdev->drawing.targetPlane = bands;
  pdev->drawing.otherPlane = bands + bandBytes;
  return TRUE;
}

}  // namespace

// ---- the 8-bit band cache and the image blit path ----

BOOL FlushOrMergeImage(RenderPdev* pdev, BYTE*, LONG planeStride, const PdevRect* target, const BYTE* src,
                       const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount,
                       ULONG format) {
  if (pdev->flags & kPdevTwoPlanes)
    return CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, target, src, srcRect, srcStride,
                          palette, paletteCount, format);
  return DirectRenderStrip(pdev, target, src, srcRect, srcStride, palette, paletteCount, format);
}

BOOL BitBltImage(SURFOBJ*, const RECTL*, SURFOBJ*, const POINTL*, CLIPOBJ*, XLATEOBJ*) { return FALSE; }

BOOL SourceToRgb24(const BYTE*, const PdevRect&, LONG, BYTE*, const PdevRect&, LONG, const ULONG*, ULONG, ULONG) {
  return FALSE;
}

BOOL ClippedCopy(RenderPdev*, const PdevRect&, const BYTE*, const PdevRect&, LONG, ULONG, CLIPOBJ*, BYTE*,
                 const PdevRect&, LONG) {
  return FALSE;
}

void FreeImageBuffers(RenderPdev* pdev) { imaging::FreeJobScreens(pdev); }
void PrepareImageParameters(RenderPdev*) {}
void FreeKeptTransparentImage(RenderPdev*) {}
