#include "imaging/image_copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/scratch.h"
#include "planes/plane_ops.h"
#include "planes/row_kernels.h"

namespace imaging {

namespace {

// The source index of target index j for a span of S source and T target
// elements: reduction keeps the last element of each group, enlargement
// repeats floor(j S / T).
std::int64_t ScaledIndex(std::int64_t j, std::int64_t S, std::int64_t T) {
  if (S >= T) return ((j + 1) * S + T - 1) / T - 1;
  return j * S / T;
}

// Appends rects to the picture's clip list, growing it by doubling. FALSE
// (list unchanged) when it cannot grow.
bool AppendClipEntries(RenderPdev* pdev, const std::vector<PdevRect>& rects, std::uint8_t nothingToBlank) {
  ClipRectList& list = pdev->shared.clipRects;
  const std::uint64_t needed = std::uint64_t{list.count} + rects.size();
  if (needed > 0x0FFFFFFF) return false;
  if (needed > list.capacity) {
    const auto capacity = static_cast<std::uint32_t>(std::max<std::uint64_t>(needed, 2 * std::uint64_t{list.capacity}));
    auto* grown = static_cast<ClipRectEntry*>(GlobalAlloc(GMEM_FIXED, capacity * sizeof(ClipRectEntry)));
    if (!grown) return false;
    if (list.entries) {
      std::memcpy(grown, list.entries, list.count * sizeof(ClipRectEntry));
      GlobalFree(list.entries);
    }
    list.entries = grown;
    list.capacity = capacity;
  }
  for (const PdevRect& r : rects) list.entries[list.count++] = ClipRectEntry{r, nothingToBlank};
  return true;
}

// Copies the part `part` of the target (page coordinates) from the source
// into dst at part's offset from origin.
void CopyPart(const PdevRect& target, const BYTE* src, const PdevRect& srcRect, LONG srcStride, LONG bpp,
              const PdevRect& part, POINTL origin, BYTE* dst, const PdevRect& dstRect, LONG dstStride) {
  const std::int64_t width = std::int64_t{part.right} - part.left + 1;
  for (std::int64_t y = part.top; y <= part.bottom; ++y) {
    const std::int64_t sy = srcRect.top + (y - target.top);
    const std::int64_t sx = srcRect.left + (part.left - target.left);
    const std::int64_t dy = dstRect.top + (y - origin.y);
    const std::int64_t dx = dstRect.left + (part.left - origin.x);
    if (sy < srcRect.top || sy > srcRect.bottom || dy < dstRect.top || dy > dstRect.bottom) continue;
    const std::int64_t n = std::min({width, std::int64_t{srcRect.right} - sx + 1, std::int64_t{dstRect.right} - dx + 1});
    if (n <= 0 || sx < srcRect.left || dx < dstRect.left) continue;
    std::memcpy(dst + dy * dstStride + dx * bpp, src + sy * srcStride + sx * bpp, static_cast<std::size_t>(n * bpp));
  }
}

}  // namespace

LONG BytesPerPixel(ULONG format) {
  switch (format) {
    case BMF_8BPP: return 1;
    case BMF_16BPP: return 2;
    case BMF_24BPP: return 3;
    case BMF_32BPP: return 4;
    default: return 0;
  }
}

BOOL ScaledCopy(const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG format, BYTE* dst,
                const PdevRect& dstRect, LONG dstStride) {
  const LONG bpp = BytesPerPixel(format);
  if (bpp == 0 || !src || !dst || RectIsEmpty(srcRect) || RectIsEmpty(dstRect)) return FALSE;
  const std::int64_t sw = RectWidth(srcRect), sh = RectHeight(srcRect);
  const std::int64_t tw = RectWidth(dstRect), th = RectHeight(dstRect);
  Scratch columns(CheckedBytes(static_cast<std::uint64_t>(tw), sizeof(std::int64_t)));
  if (!columns) return FALSE;
  auto* column = columns.as<std::int64_t>();
  for (std::int64_t x = 0; x < tw; ++x) column[x] = (srcRect.left + ScaledIndex(x, sw, tw)) * bpp;
  for (std::int64_t y = 0; y < th; ++y) {
    const BYTE* row = src + (srcRect.top + ScaledIndex(y, sh, th)) * std::int64_t{srcStride};
    BYTE* out = dst + (dstRect.top + y) * std::int64_t{dstStride} + std::int64_t{dstRect.left} * bpp;
    switch (bpp) {
      case 1:
        for (std::int64_t x = 0; x < tw; ++x) out[x] = row[column[x]];
        break;
      default:
        for (std::int64_t x = 0; x < tw; ++x) std::memcpy(out + x * bpp, row + column[x], static_cast<std::size_t>(bpp));
        break;
    }
  }
  return TRUE;
}

void RectCopy(const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG format, BYTE* dst,
              const PdevRect& dstRect, LONG dstStride) {
  const LONG bpp = BytesPerPixel(format);
  if (bpp == 0 || !src || !dst || RectIsEmpty(srcRect) || RectIsEmpty(dstRect)) return;
  const std::int64_t w = std::min(RectWidth(srcRect), RectWidth(dstRect));
  const std::int64_t h = std::min(RectHeight(srcRect), RectHeight(dstRect));
  for (std::int64_t y = 0; y < h; ++y)
    std::memcpy(dst + (dstRect.top + y) * std::int64_t{dstStride} + std::int64_t{dstRect.left} * bpp,
                src + (srcRect.top + y) * std::int64_t{srcStride} + std::int64_t{srcRect.left} * bpp,
                static_cast<std::size_t>(w * bpp));
}

BOOL CopyThroughClip(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect,
                     LONG srcStride, ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride) {
  const LONG bpp = BytesPerPixel(format);
  if (bpp == 0 || !src || !dst || RectIsEmpty(target)) return FALSE;
  const BYTE complexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  PdevRect bounds = target;
  if (clip && complexity != DC_TRIVIAL)
    RectIntersect(target, InclusiveRect(clip->rclBounds), bounds);
  const POINTL origin{bounds.left, bounds.top};
  if (complexity == DC_TRIVIAL || complexity == DC_RECT) {
    if (!RectIsEmpty(bounds)) CopyPart(target, src, srcRect, srcStride, bpp, bounds, origin, dst, dstRect, dstStride);
    return TRUE;
  }
  if (complexity != DC_COMPLEX || !pdev) return FALSE;
  // The visible rectangles, each cut to the target; those that miss it are
  // left out.
  std::vector<PdevRect> parts;
  ForEachEnumeratedClipRect(clip, [&](const RECTL& r) {
    PdevRect cut;
    RectIntersect(InclusiveRect(r), target, cut);
    if (!RectIsEmpty(cut)) parts.push_back(cut);
  });
  ClipRectList& list = pdev->shared.clipRects;
  const std::uint32_t before = list.count;
  const std::uint8_t nothingToBlank = Rop3Of(pdev->drawing.rop4) != kRop3SrcCopy ? 1 : 0;
  if (!AppendClipEntries(pdev, parts, nothingToBlank)) return FALSE;
  list.blitFirst = before;
  for (const PdevRect& part : parts) CopyPart(target, src, srcRect, srcStride, bpp, part, origin, dst, dstRect, dstStride);
  return TRUE;
}

void FillRect8Zero(BYTE* buffer, const PdevRect& rect, LONG stride) {
  if (!buffer) return;
  const std::int64_t left = std::max(rect.left, 0), top = std::max(rect.top, 0);
  if (rect.right < left || rect.bottom < top) return;
  for (std::int64_t y = top; y <= rect.bottom; ++y)
    std::memset(buffer + y * stride + left, 0, static_cast<std::size_t>(rect.right - left + 1));
}

}  // namespace imaging

BOOL ClippedCopy(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                 ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride) {
  if (!pdev || !src || RectIsEmpty(target) || imaging::BytesPerPixel(format) == 0) return FALSE;
  const std::int64_t tw = RectWidth(target), th = RectHeight(target);
  if (pdev->drawing.rop4 == kRop4StretchCopy && (RectWidth(srcRect) != tw || RectHeight(srcRect) != th)) {
    // A stretch: the source at the target's size first.
    const std::int64_t stride = AlignTo4(tw * imaging::BytesPerPixel(format));
    imaging::Scratch scaled(stride > 0 ? imaging::CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(th))
                              : std::nullopt);
    if (!scaled) return FALSE;
    const PdevRect scaledRect{0, 0, static_cast<std::int32_t>(tw - 1), static_cast<std::int32_t>(th - 1)};
    if (!imaging::ScaledCopy(src, srcRect, srcStride, format, scaled.data(), scaledRect, static_cast<LONG>(stride)))
      return FALSE;
    return imaging::CopyThroughClip(pdev, target, scaled.data(), scaledRect, static_cast<LONG>(stride), format, clip, dst,
                           dstRect, dstStride);
  }
  return imaging::CopyThroughClip(pdev, target, src, srcRect, srcStride, format, clip, dst, dstRect, dstStride);
}
