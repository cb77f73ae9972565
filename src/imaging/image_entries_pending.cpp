// Stand-ins of the image entries whose paths are not built yet. Each answers
// as the drawing paths may rely on until its real routine replaces it here:
// conversions write no ink, halftoning leaves bands and plates white, the
// caches take nothing (a strip comes back as white direct-render bands), the
// blit path declines.
#include <cstring>

#include "imaging/image_entries.h"
#include "render/plane_ops.h"

namespace {

bool KnownFormat(ULONG format) { return format >= BMF_1BPP && format <= BMF_32BPP; }

// Zeroes the part of out that a conversion of srcRect into outRect writes.
void ZeroConverted(BYTE* out, const PdevRect& srcRect, const PdevRect& outRect, LONG outStride) {
  if (!out || RectIsEmpty(srcRect) || RectIsEmpty(outRect)) return;
  std::int64_t width = std::min(RectWidth(srcRect), RectWidth(outRect));
  std::int64_t height = std::min(RectHeight(srcRect), RectHeight(outRect));
  for (std::int64_t y = 0; y < height; ++y)
    std::memset(out + (outRect.top + y) * static_cast<std::int64_t>(outStride) + outRect.left, 0,
                static_cast<std::size_t>(width));
}

void WhitenPlate(BYTE* plate, SIZEL size) {
  std::int64_t rowBytes = RowBytes1bpp(size.cx);
  if (plate && rowBytes > 0 && size.cy > 0) std::memset(plate, 0xFF, static_cast<std::size_t>(rowBytes * size.cy));
}

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

// ---- density and halftoning of sources ----

int ConvertToDensity(RenderPdev*, const BYTE*, const PdevRect& srcRect, LONG, BYTE* out, const PdevRect& outRect,
                     LONG outStride, const ULONG*, ULONG, ULONG format) {
  if (!KnownFormat(format)) return -1;
  ZeroConverted(out, srcRect, outRect, outStride);
  return 1;
}

int SeparateToTwoInks(RenderPdev*, const BYTE*, const PdevRect& srcRect, LONG, BYTE* outPlate1, BYTE* outPlate2,
                      const PdevRect& outRect, LONG outStride, const ULONG*, ULONG, ULONG format) {
  if (!KnownFormat(format)) return -1;
  ZeroConverted(outPlate1, srcRect, outRect, outStride);
  ZeroConverted(outPlate2, srcRect, outRect, outStride);
  return 1;
}

BOOL HalftoneSourceToPlanes(RenderPdev*, BYTE*, const PdevRect&, LONG, const BYTE*, const PdevRect&, LONG, LONG, LONG,
                            LONG, const ULONG*, ULONG, ULONG, POINTL) {
  return TRUE;
}

BOOL ScreenSourceToPlane(RenderPdev*, BYTE*, const PdevRect&, LONG, const BYTE*, const PdevRect&, LONG, LONG, LONG,
                         LONG, const ULONG*, ULONG, ULONG, POINTL) {
  return TRUE;
}

BOOL RealizeBrushOnePlate(RenderPdev*, BYTE* plate, const BYTE*, SIZEL size, LONG, const ULONG*, ULONG, ULONG) {
  WhitenPlate(plate, size);
  return TRUE;
}

BOOL RealizeBrushTwoPlates(RenderPdev*, BYTE* plate1, BYTE* plate2, const BYTE*, SIZEL size, LONG, const ULONG*, ULONG,
                           ULONG) {
  WhitenPlate(plate1, size);
  WhitenPlate(plate2, size);
  return TRUE;
}

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

void FreeImageBuffers(RenderPdev*) {}
void PrepareImageParameters(RenderPdev*) {}
void FreeKeptTransparentImage(RenderPdev*) {}

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
