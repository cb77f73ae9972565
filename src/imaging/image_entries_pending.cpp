// Stand-ins of the RGB image entries whose paths are not built yet. Each
// answers as the drawing paths may rely on until its real routine replaces it
// here: the RGB cache takes nothing (a strip comes back as direct-render
// bands, white but for the strip halftoned into them).
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

// ---- the RGB band cache and the two-plate render ----

BOOL CacheImageBand(RenderPdev* pdev, BYTE*, BYTE*, LONG, const PdevRect* target, const BYTE* src,
                    const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  return DirectRenderStrip(pdev, target, src, srcRect, srcStride, palette, paletteCount, format);
}

BOOL RenderImageTwoPlates(RenderPdev* pdev, BYTE*, BYTE* drum2Plane, const PdevRect& targetRect, LONG targetStride,
                          POINTL bandOrigin, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                          const ULONG* palette, ULONG paletteCount, ULONG format, LONG amiLine, LONG amiAngle,
                          LONG resolution, BOOL) {
  return HalftoneSourceToPlanes(pdev, drum2Plane, targetRect, targetStride, src, srcRect, srcStride, amiLine, amiAngle,
                                resolution, palette, paletteCount, format, bandOrigin);
}
