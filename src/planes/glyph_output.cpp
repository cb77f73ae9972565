// Glyph output: each glyph row thickened or thinned in the glyph's own
// pixels, aligned to the plane, cut to the clip and the plane, and combined
// with the text pattern anchored to the glyph.
#include "planes/glyph_output.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "planes/plane_ops.h"

namespace {

std::int64_t FloorDiv8(std::int64_t v) { return v >= 0 ? v / 8 : -((-v + 7) / 8); }

bool PatternAllWhite(const BYTE* pattern, LONG width, LONG height) {
  if (!pattern) return false;
  const std::int64_t bytes = RowBytes1bpp(width) * height;
  for (std::int64_t i = 0; i < bytes; ++i)
    if (pattern[i] != 0xFF) return false;
  return true;
}

// Each pixel's left neighbour: the row shifted right by one, carryIn entering
// at the first pixel.
void ShiftRightOne(const BYTE* row, BYTE* out, std::size_t bytes, bool carryIn) {
  unsigned carry = carryIn ? 0x80 : 0;
  for (std::size_t k = 0; k < bytes; ++k) {
    out[k] = static_cast<BYTE>((row[k] >> 1) | carry);
    carry = (row[k] & 1) ? 0x80 : 0;
  }
}

}  // namespace

BYTE* GlyphScratchBuffer(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcRowBytes,
                         const PdevRect& outRect, LONG outRowBytes) {
  if (!pdev || !src || outRowBytes <= 0 || RectIsEmpty(outRect) || RectIsEmpty(srcRect)) return nullptr;
  const std::int64_t needed = RectHeight(outRect) * outRowBytes;
  if (needed > 0x7FFFFFFF) return nullptr;
  PdevDrawState& d = pdev->drawing;
  if (d.glyphScratchSize < needed) {
    const std::int64_t grown = std::max<std::int64_t>(needed, std::min<std::int64_t>(2 * std::int64_t{d.glyphScratchSize}, 0x7FFFFFFF));
    BYTE* bigger = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(grown)));
    if (!bigger) return nullptr;
    if (d.glyphScratch) GlobalFree(d.glyphScratch);
    d.glyphScratch = bigger;
    d.glyphScratchSize = static_cast<std::uint32_t>(grown);
  } else {
    std::memset(d.glyphScratch, 0, static_cast<std::size_t>(needed));
  }
  const std::int64_t copyBytes = std::min<std::int64_t>(srcRowBytes, outRowBytes);
  const std::int64_t width = RectWidth(srcRect);
  const std::int64_t lastByte = std::min<std::int64_t>(copyBytes, (width + 7) / 8) - 1;
  const BYTE edge = static_cast<BYTE>(0xFF << ((8 - width % 8) % 8));
  const std::int64_t rows = std::min(RectHeight(srcRect), RectHeight(outRect));
  for (std::int64_t y = 0; y < rows; ++y) {
    BYTE* out = d.glyphScratch + y * outRowBytes;
    std::memcpy(out, src + (srcRect.top + y) * std::int64_t{srcRowBytes}, static_cast<std::size_t>(copyBytes));
    if (lastByte >= 0 && lastByte == (width - 1) / 8) out[lastByte] &= edge;
  }
  return d.glyphScratch;
}

void FreeGlyphScratch(RenderPdev* pdev) {
  if (pdev->drawing.glyphScratch) GlobalFree(pdev->drawing.glyphScratch);
  pdev->drawing.glyphScratch = nullptr;
  pdev->drawing.glyphScratchSize = 0;
}

const BYTE* FetchGlyphBits(RenderPdev* pdev, const BYTE* rows, const PdevRect& glyphRect, LONG rowBytes,
                           PdevRect* outRect, LONG* outRowBytes) {
  *outRect = glyphRect;
  *outRowBytes = rowBytes;
  if (!pdev->drawing.thickenCopy) return rows;
  const PdevRect wider{0, 0, glyphRect.right + 1, glyphRect.bottom};
  const LONG widerBytes = static_cast<LONG>(AlignTo4(RowBytes1bpp(RectWidth(wider))));
  BYTE* copy = GlyphScratchBuffer(pdev, rows, glyphRect, rowBytes, wider, widerBytes);
  if (!copy) return rows;  // drawn as it is, unthickened
  *outRect = wider;
  *outRowBytes = widerBytes;
  return copy;
}

BOOL DrawGlyphBits(RenderPdev* pdev, BYTE* target, LONG stride, const GLYPHPOS* glyph, const PdevRect* clip,
                   const BYTE* pattern, LONG patternWidth, LONG patternHeight) {
  if (!glyph || !glyph->pgdf || !glyph->pgdf->pgb || !target) return TRUE;
  const GLYPHBITS* gb = glyph->pgdf->pgb;
  if (gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) return TRUE;
  const PdevRect glyphRect{0, 0, gb->sizlBitmap.cx - 1, gb->sizlBitmap.cy - 1};
  PdevRect rowsRect;
  LONG rowBytes;
  const BYTE* rows = FetchGlyphBits(pdev, gb->aj, glyphRect, static_cast<LONG>(RowBytes1bpp(gb->sizlBitmap.cx)),
                                    &rowsRect, &rowBytes);
  const bool widened = RectWidth(rowsRect) > RectWidth(glyphRect);
  // Without the extra column (no copy flag, or no scratch) the glyph keeps its shape.
  const bool thicken = pdev->textVolumeA != 0 && (widened || !pdev->drawing.thickenCopy);
  const bool thin = !thicken && pdev->textVolumeB != 0 && !(pdev->textVolumeA != 0);
  const std::int64_t width = RectWidth(rowsRect), height = RectHeight(rowsRect);
  const std::int64_t left = std::int64_t{glyph->ptl.x} + gb->ptlOrigin.x;
  const std::int64_t top = std::int64_t{glyph->ptl.y} + gb->ptlOrigin.y;

  // Visible part: the glyph cut to the clip and to the plane.
  std::int64_t visLeft = std::max<std::int64_t>(left, 0), visTop = std::max<std::int64_t>(top, 0);
  std::int64_t visRight = std::min<std::int64_t>(left + width - 1, pdev->planeWidth - 1);
  std::int64_t visBottom = std::min<std::int64_t>(top + height - 1, pdev->planeHeight - 1);
  std::int64_t extraLimit = pdev->planeHeight - 1;
  if (clip) {
    visLeft = std::max<std::int64_t>(visLeft, clip->left);
    visTop = std::max<std::int64_t>(visTop, clip->top);
    visRight = std::min<std::int64_t>(visRight, clip->right);
    visBottom = std::min<std::int64_t>(visBottom, clip->bottom);
    extraLimit = std::min<std::int64_t>(extraLimit, clip->bottom);
  }
  if (visLeft > visRight || visTop > visBottom) return TRUE;

  const bool screened = pdev->textProcessing == 0 || pdev->textProcessing == 2;
  const bool white = PatternAllWhite(pattern, patternWidth, patternHeight);
  const bool hasPattern = pattern && patternWidth > 0 && patternHeight > 0;
  if (screened && !hasPattern) return TRUE;
  BYTE* other = ((pdev->flags & kPdevTwoPlanes) && pdev->drawing.otherPlane && pdev->drawing.otherPlane != target)
                    ? pdev->drawing.otherPlane
                    : nullptr;
  const std::int64_t patternBytes = hasPattern ? RowBytes1bpp(patternWidth) : 0;
  const std::int64_t glyphBytes = (width + 7) / 8;
  const std::int64_t firstByte = FloorDiv8(visLeft), lastByte = FloorDiv8(visRight);
  const std::int64_t anchorByte = FloorDiv8(left);
  const BYTE firstMask = static_cast<BYTE>(0xFF >> (visLeft & 7));
  const BYTE lastMask = static_cast<BYTE>(0xFF << (7 - (visRight & 7)));
  const BYTE widthMask = static_cast<BYTE>(0xFF << ((8 - width % 8) % 8));
  const std::int64_t shift = left - 8 * anchorByte;  // glyph pixel 0 sits at bit `shift` of the anchor byte

  std::vector<BYTE> work(static_cast<std::size_t>(4 * glyphBytes + 2), 0);
  BYTE* delivered = work.data();  // R of this row
  BYTE* above = delivered + glyphBytes;  // R of the previous row
  BYTE* shaped = above + glyphBytes;  // G
  BYTE* left1 = shaped + glyphBytes;
  if (thin) std::memset(above, 0xFF, static_cast<std::size_t>(glyphBytes));

  auto glyphByteAt = [&](const BYTE* g, std::int64_t j) -> unsigned {
    return (j >= 0 && j < glyphBytes) ? g[j] : 0u;
  };
  // Combines glyph-space bits g, glyph row i, into plane row y.
  auto combine = [&](const BYTE* g, std::int64_t i, std::int64_t y) {
    BYTE* d = target + y * std::int64_t{stride};
    BYTE* o = other ? other + y * std::int64_t{stride} : nullptr;
    const BYTE* p = hasPattern ? pattern + (i % patternHeight) * patternBytes : nullptr;
    for (std::int64_t k = firstByte; k <= lastByte; ++k) {
      const std::int64_t j = k - anchorByte;  // glyph byte whose bits start at this plane byte, before the shift
      const BYTE aligned = static_cast<BYTE>(shift == 0 ? glyphByteAt(g, j)
                                                        : ((glyphByteAt(g, j) >> shift) |
                                                           (glyphByteAt(g, j - 1) << (8 - shift))));
      BYTE mask = aligned;
      if (k == firstByte) mask &= firstMask;
      if (k == lastByte) mask &= lastMask;
      if (!mask) continue;
      if (screened)
        d[k] = static_cast<BYTE>((d[k] & ~mask) | (p[j % patternBytes] & mask));
      else
        d[k] = static_cast<BYTE>(white ? (d[k] | mask) : (d[k] & ~mask));
      if (o) o[k] |= mask;
    }
  };

  const std::int64_t lastRow = visBottom - top;
  for (std::int64_t i = 0; i <= lastRow; ++i) {
    std::memcpy(delivered, rows + (rowsRect.top + i) * std::int64_t{rowBytes}, static_cast<std::size_t>(glyphBytes));
    delivered[glyphBytes - 1] &= widthMask;
    if (thicken) {
      ShiftRightOne(delivered, left1, static_cast<std::size_t>(glyphBytes), false);
      for (std::int64_t k = 0; k < glyphBytes; ++k)
        shaped[k] = static_cast<BYTE>(delivered[k] | left1[k] | (pdev->textProcessing != 1 ? above[k] : 0));
    } else if (thin) {
      ShiftRightOne(delivered, left1, static_cast<std::size_t>(glyphBytes), true);
      for (std::int64_t k = 0; k < glyphBytes; ++k) shaped[k] = static_cast<BYTE>(delivered[k] & left1[k] & above[k]);
    } else {
      std::memcpy(shaped, delivered, static_cast<std::size_t>(glyphBytes));
    }
    shaped[glyphBytes - 1] &= widthMask;
    if (top + i >= visTop) combine(shaped, i, top + i);
    std::swap(delivered, above);
  }
  // Thickening grows the glyph one row down, inside the clip and the plane.
  if (thicken && visBottom + 1 <= extraLimit) combine(above, lastRow + 1, visBottom + 1);
  return TRUE;
}

BOOL DrawGlyphs(RenderPdev* pdev, STROBJ* pstro, FONTOBJ* pfo, const PdevRect* clip, BYTE* target, LONG stride,
                const BYTE* pattern, LONG patternWidth, LONG patternHeight) {
  if (!pstro) return FALSE;
  auto drawAll = [&](GLYPHPOS* positions, ULONG count) {
    for (ULONG i = 0; i < count; ++i) {
      GLYPHPOS& gp = positions[i];
      if (!gp.pgdf) {
        GLYPHDATA* data = nullptr;
        if (FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &gp.hg, reinterpret_cast<PVOID*>(&data)) == 0 || !data)
          return false;
        gp.pgdf = &data->gdf;
      }
      DrawGlyphBits(pdev, target, stride, &gp, clip, pattern, patternWidth, patternHeight);
    }
    return true;
  };
  if (pstro->pgp) return drawAll(pstro->pgp, pstro->cGlyphs) ? TRUE : FALSE;
  STROBJ_vEnumStart(pstro);
  for (;;) {
    ULONG count = 0;
    GLYPHPOS* positions = nullptr;
    const BOOL more = STROBJ_bEnum(pstro, &count, &positions);
    if (more == static_cast<BOOL>(DDI_ERROR)) return FALSE;
    if (count && positions && !drawAll(positions, count)) return FALSE;
    if (!more) return TRUE;
  }
}
