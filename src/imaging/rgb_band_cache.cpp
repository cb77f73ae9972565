// The entry of two-ink pictures. Strips are rendered as the cache renders a
// strip it does not keep: straight into two white bands, separated into both
// plates (one-ink modes 0 and 1 by the one-ink path on their plane).
#include <cstring>

#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "render/plane_ops.h"

using namespace imaging;

namespace {

// Two white one-bit bands of the target's size in one block, the drum-2
// band first, as the callers place them; null when they cannot be had.
BYTE* TwoWhiteBands(const PdevRect& target, std::int64_t& stride, std::size_t& bandBytes) {
  stride = AlignTo4(RowBytes1bpp(RectWidth(target)));
  const auto bytes = stride > 0 && stride <= 0x7FFFFFFF
                         ? CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(RectHeight(target)))
                         : std::nullopt;
  const auto both = bytes ? CheckedBytes(*bytes, 2) : std::nullopt;
  auto* bands = both ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *both)) : nullptr;
  if (!bands) return nullptr;
  std::memset(bands, 0xFF, *both);
  bandBytes = *bytes;
  return bands;
}

}  // namespace

BOOL CacheImageBand(RenderPdev* pdev, BYTE*, BYTE*, LONG, const PdevRect* target, const BYTE* src,
                    const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!pdev) return FALSE;
  if (!target) return TRUE;  // nothing is kept, so nothing is pending
  pdev->shared.pictureFlag = 0;
  pdev->drawing.targetPlane = nullptr;
  pdev->drawing.otherPlane = nullptr;
  if (!src || !srcRect || RectIsEmpty(*srcRect) || RectIsEmpty(*target)) return FALSE;
  std::int64_t stride = 0;
  std::size_t bandBytes = 0;
  BYTE* bands = TwoWhiteBands(*target, stride, bandBytes);
  if (!bands) return FALSE;
  const PdevRect bandRect{0, 0, static_cast<std::int32_t>(RectWidth(*target) - 1),
                          static_cast<std::int32_t>(RectHeight(*target) - 1)};
  const POINTL origin{target->left, target->top};
  if (pdev->separationModes[2] > 1) {
    pdev->image.diffusionCarryKind = 1;
    (void)RenderImageTwoPlates(pdev, bands + bandBytes, bands, bandRect, static_cast<LONG>(stride), origin, src,
                               *srcRect, srcStride, palette, paletteCount, format, pdev->amiLine, pdev->amiAngle,
                               pdev->resolutionX, FALSE);
    pdev->image.diffusionCarryKind = 0;
  } else {
    (void)HalftoneSourceToPlanes(pdev, bands, bandRect, static_cast<LONG>(stride), src, *srcRect, srcStride,
                                 pdev->amiLine, pdev->amiAngle, pdev->resolutionX, palette, paletteCount, format,
                                 origin);
  }
  pdev->drawing.targetPlane = bands;
  pdev->drawing.otherPlane = bands + bandBytes;
  return TRUE;
}
