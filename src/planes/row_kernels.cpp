// Row kernels: source rows combined into a plane at any bit offset, the
// resolution-mode-2 row rules, and their walk through a clip object.
#include "planes/row_kernels.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "planes/plane_ops.h"

namespace {

std::int64_t FloorDiv8(std::int64_t v) { return v >= 0 ? v / 8 : -((-v + 7) / 8); }

template <RowOp op>
BYTE Apply(BYTE d, BYTE s) {
  if constexpr (op == RowOp::And) return static_cast<BYTE>(d & s);
  if constexpr (op == RowOp::Or) return static_cast<BYTE>(d | s);
  if constexpr (op == RowOp::Xor) return static_cast<BYTE>(d ^ s);
  if constexpr (op == RowOp::Copy) return s;
  return static_cast<BYTE>(~s);
}

std::uint64_t LoadBig64(const BYTE* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

void StoreBig64(BYTE* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

// A row operation on a byte and on eight bytes at once; copies are memcpy
// where source and destination bytes line up.
template <RowOp op>
struct RowFn {
  static constexpr bool kCopy = op == RowOp::Copy;
  static constexpr bool kReadsDest = op != RowOp::Copy && op != RowOp::CopyInverted;
  BYTE operator()(BYTE d, BYTE s) const { return Apply<op>(d, s); }
  std::uint64_t operator()(std::uint64_t d, std::uint64_t s) const {
    if constexpr (op == RowOp::And) return d & s;
    if constexpr (op == RowOp::Or) return d | s;
    if constexpr (op == RowOp::Xor) return d ^ s;
    if constexpr (op == RowOp::Copy) return s;
    return ~s;
  }
};

// The destination where the source is 1, the pattern byte where it is 0.
struct SelectByPatternFn {
  static constexpr bool kCopy = false;
  static constexpr bool kReadsDest = true;
  BYTE p;
  std::uint64_t p8;
  BYTE operator()(BYTE d, BYTE s) const { return static_cast<BYTE>(((d ^ p) & s) ^ p); }
  std::uint64_t operator()(std::uint64_t d, std::uint64_t s) const { return ((d ^ p8) & s) ^ p8; }
};

template <typename Fn>
void CombineRowsWith(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                     LONG srcStride, Fn fn) {
  const std::int64_t rows = std::min(RectHeight(dest), RectHeight(srcRect));
  const std::int64_t srcBytes = std::abs(static_cast<std::int64_t>(srcStride));
  const std::int64_t shift = static_cast<std::int64_t>(srcRect.left) - dest.left;
  const std::int64_t first = FloorDiv8(dest.left), last = FloorDiv8(dest.right);
  const std::int64_t viewByte = view.originX / 8;
  const BYTE firstMask = static_cast<BYTE>(0xFF >> (dest.left & 7));
  const BYTE lastMask = static_cast<BYTE>(0xFF << (7 - (dest.right & 7)));
  // Source byte q0 + (k - first) and the next one feed destination byte k,
  // shifted left by r bits.
  const std::int64_t q0 = FloorDiv8(8 * first + shift);
  const int r = static_cast<int>(8 * first + shift - 8 * q0);
  // Destination bytes whose source bytes all lie inside the row.
  const std::int64_t safeFrom = std::max(first + 1, first - q0);
  const std::int64_t safeTo = std::min(last - 1, first + (srcBytes - (r ? 2 : 1)) - q0);
  for (std::int64_t i = 0; i < rows; ++i) {
    const BYTE* s = src + (srcRect.top + i) * static_cast<std::int64_t>(srcStride);
    BYTE* d = view.bits + (dest.top + i - view.originY) * static_cast<std::int64_t>(view.stride) - viewByte;
    auto at = [&](std::int64_t j) -> unsigned { return (j >= 0 && j < srcBytes) ? s[j] : 0u; };
    auto one = [&](std::int64_t k, BYTE mask) {
      const std::int64_t q = q0 + (k - first);
      const BYTE v = static_cast<BYTE>(r == 0 ? at(q) : ((at(q) << r) | (at(q + 1) >> (8 - r))));
      BYTE& o = d[k];
      o = static_cast<BYTE>((o & ~mask) | (fn(o, v) & mask));
    };
    if (first == last) {
      one(first, static_cast<BYTE>(firstMask & lastMask));
      continue;
    }
    one(first, firstMask);
    std::int64_t k = first + 1;
    for (; k < safeFrom && k < last; ++k) one(k, 0xFF);
    if (k <= safeTo) {
      const BYTE* sq = s + (q0 + (k - first));
      BYTE* dk = d + k;
      const std::int64_t n = safeTo - k + 1;
      if (r == 0) {
        if constexpr (Fn::kCopy) {
          std::memcpy(dk, sq, static_cast<std::size_t>(n));
        } else {
          for (std::int64_t j = 0; j < n; ++j) dk[j] = fn(dk[j], sq[j]);
        }
      } else {
        // Eight bytes a step: the source as one big-endian word shifted
        // left, the byte after it filling the low bits.
        std::int64_t j = 0;
        for (; j + 8 <= n; j += 8) {
          const std::uint64_t v = (LoadBig64(sq + j) << r) | (sq[j + 8] >> (8 - r));
          StoreBig64(dk + j, fn(Fn::kReadsDest ? LoadBig64(dk + j) : 0, v));
        }
        for (; j < n; ++j) dk[j] = fn(dk[j], static_cast<BYTE>((sq[j] << r) | (sq[j + 1] >> (8 - r))));
      }
      k = safeTo + 1;
    }
    for (; k < last; ++k) one(k, 0xFF);
    one(last, lastMask);
  }
}

template <RowOp op>
void CombineRowsAs(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                   LONG srcStride) {
  CombineRowsWith(view, dest, src, srcRect, srcStride, RowFn<op>{});
}

// Cuts dest to the device's plane, moving the source rect's edges with it.
bool CutToPlane(const RenderPdev* pdev, PdevRect& dest, PdevRect& srcRect) {
  if (dest.left < 0) srcRect.left -= dest.left, dest.left = 0;
  if (dest.top < 0) srcRect.top -= dest.top, dest.top = 0;
  if (dest.right > pdev->planeWidth - 1) srcRect.right -= dest.right - (pdev->planeWidth - 1), dest.right = pdev->planeWidth - 1;
  if (dest.bottom > pdev->planeHeight - 1)
    srcRect.bottom -= dest.bottom - (pdev->planeHeight - 1), dest.bottom = pdev->planeHeight - 1;
  return !RectIsEmpty(dest) && !RectIsEmpty(srcRect);
}

BYTE* RowAt(BYTE* plane, LONG stride, std::int64_t y) { return plane + y * static_cast<std::int64_t>(stride); }

void CopySpan(BYTE* plane, LONG stride, const PdevRect& dest, std::int64_t fromRow, std::int64_t toRow) {
  const std::int64_t first = dest.left / 8, count = dest.right / 8 - first + 1;
  std::memcpy(RowAt(plane, stride, toRow) + first, RowAt(plane, stride, fromRow) + first,
              static_cast<std::size_t>(count));
}

// The mask-then-paint pair of a one-bit picture (SRCAND, then SRCPAINT over
// the same rectangle) whose dots are doubled in pairs at 300 x 600.
bool PaintOverMaskPair(const RenderPdev* pdev, const PdevRect& dest) {
  const RECTL& last = pdev->drawing.lastDrawnRect;
  return pdev->image.blitState == kBlitIdle && last.left == dest.left && last.top == dest.top &&
         last.right == static_cast<std::int64_t>(dest.right) + 1 &&
         last.bottom == static_cast<std::int64_t>(dest.bottom) + 1 && pdev->drawing.previousRop4 == kRop4SrcAnd &&
         pdev->drawing.rop4 == kRop4SrcPaint;
}

bool CopyRop(const RenderPdev* pdev) { return pdev->drawing.rop4 == kRop4SrcCopy || pdev->drawing.rop4 == kRop4StretchCopy; }

// Rows of a 600-dpi drawing for 300 x 600 output at orientation 90 come in
// pairs: the first row of a blit starting on the pair's second row also
// fills the first.
void PairFirstRow(const RenderPdev* pdev, BYTE* plane, LONG stride, const PdevRect& dest) {
  if (pdev->orientation != 90 || dest.top == 0) return;
  if (((static_cast<std::int64_t>(dest.top) + pdev->planeHeight) & 1) == 0) return;
  CopySpan(plane, stride, dest, dest.top, dest.top - 1);
}

void OrPairRules(const RenderPdev* pdev, BYTE* plane, LONG stride, const PdevRect& caller, const PdevRect& dest,
                 std::int64_t rows) {
  const bool pair = PaintOverMaskPair(pdev, caller);
  const std::int64_t first = dest.left / 8, last = dest.right / 8;
  if (pdev->orientation == 0) {
    if (!pair) return;
    for (std::int64_t i = 0; i < rows; ++i) {
      BYTE* row = RowAt(plane, stride, dest.top + i);
      for (std::int64_t k = first; k <= last; ++k)
        row[k] = static_cast<BYTE>(row[k] | ((row[k] & 0xAA) >> 1) | ((row[k] & 0x55) << 1));
    }
    return;
  }
  if (pdev->orientation != 90) return;
  const std::int64_t lastRow = dest.top + rows - 1;
  const bool inkPlane = plane == pdev->drum1Plane || plane == pdev->drum2Plane;
  // The plug-in keeps its last row to itself.
  if (!IsPluginPdev(pdev) && ((lastRow + pdev->planeHeight) & 1) == 0 && lastRow != pdev->planeHeight - 1 && inkPlane)
    CopySpan(plane, stride, dest, lastRow, lastRow + 1);
  if (!pair) return;
  for (std::int64_t y = dest.top + 1; y <= lastRow; ++y) {
    if ((y & 1) == 0) continue;
    BYTE* above = RowAt(plane, stride, y - 1);
    BYTE* row = RowAt(plane, stride, y);
    for (std::int64_t k = first; k <= last; ++k) above[k] = row[k] = static_cast<BYTE>(above[k] | row[k]);
  }
}

template <RowOp op>
BOOL PlaneKernel(RenderPdev* pdev, BYTE* plane, const PdevRect& caller, LONG stride, const BYTE* src,
                 const PdevRect& callerSrc, LONG srcStride) {
  if (!plane || !src) return TRUE;
  PdevRect dest = caller, srcRect = callerSrc;
  if (pdev && !CutToPlane(pdev, dest, srcRect)) return TRUE;
  if (RectIsEmpty(dest) || RectIsEmpty(srcRect)) return TRUE;
  CombineRowsAs<op>(BitView{plane, stride, 0, 0}, dest, src, srcRect, srcStride);
  if (!pdev || pdev->resolutionMode != 2) return TRUE;
  const std::int64_t rows = std::min(RectHeight(dest), RectHeight(srcRect));
  if constexpr (op == RowOp::Or) {
    OrPairRules(pdev, plane, stride, caller, dest, rows);
  } else if constexpr (op == RowOp::Xor) {
    if (!IsPluginPdev(pdev)) PairFirstRow(pdev, plane, stride, dest);
  } else if constexpr (op == RowOp::And) {
    if (!IsPluginPdev(pdev) && CopyRop(pdev)) PairFirstRow(pdev, plane, stride, dest);
  } else {
    if (CopyRop(pdev)) PairFirstRow(pdev, plane, stride, dest);
  }
  return TRUE;
}

}  // namespace

void CombineRows(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                 LONG srcStride, RowOp op) {
  if (!view.bits || !src || RectIsEmpty(dest) || RectIsEmpty(srcRect)) return;
  switch (op) {
    case RowOp::And: CombineRowsAs<RowOp::And>(view, dest, src, srcRect, srcStride); break;
    case RowOp::Or: CombineRowsAs<RowOp::Or>(view, dest, src, srcRect, srcStride); break;
    case RowOp::Xor: CombineRowsAs<RowOp::Xor>(view, dest, src, srcRect, srcStride); break;
    case RowOp::Copy: CombineRowsAs<RowOp::Copy>(view, dest, src, srcRect, srcStride); break;
    case RowOp::CopyInverted: CombineRowsAs<RowOp::CopyInverted>(view, dest, src, srcRect, srcStride); break;
  }
}

void SelectRowsByPattern(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                         LONG srcStride, BYTE pattern) {
  if (!view.bits || !src || RectIsEmpty(dest) || RectIsEmpty(srcRect)) return;
  CombineRowsWith(view, dest, src, srcRect, srcStride, SelectByPatternFn{pattern, pattern * 0x0101010101010101ull});
}

BOOL AndRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride) {
  return PlaneKernel<RowOp::And>(pdev, plane, dest, stride, src, srcRect, srcStride);
}
BOOL OrRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                     const PdevRect& srcRect, LONG srcStride) {
  return PlaneKernel<RowOp::Or>(pdev, plane, dest, stride, src, srcRect, srcStride);
}
BOOL XorRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride) {
  return PlaneKernel<RowOp::Xor>(pdev, plane, dest, stride, src, srcRect, srcStride);
}
BOOL CopyRowsShifted(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                     const PdevRect& srcRect, LONG srcStride) {
  return PlaneKernel<RowOp::Copy>(pdev, plane, dest, stride, src, srcRect, srcStride);
}
BOOL CopyRowsInverted(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride) {
  return PlaneKernel<RowOp::CopyInverted>(pdev, plane, dest, stride, src, srcRect, srcStride);
}

BOOL ForEachClipRectWithSource(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                               const PdevRect& srcRect, LONG srcStride, CLIPOBJ* clip, RowKernel kernel) {
  if (!kernel) return FALSE;
  // The source rect moves with each edge of the destination.
  auto cutTo = [&](const PdevRect& bounds) {
    PdevRect d;
    RectIntersect(dest, bounds, d);
    if (RectIsEmpty(d)) return;
    const PdevRect s{srcRect.left + (d.left - dest.left), srcRect.top + (d.top - dest.top),
                     srcRect.right + (d.right - dest.right), srcRect.bottom + (d.bottom - dest.bottom)};
    kernel(pdev, plane, d, stride, src, s, srcStride);
  };
  if (!clip || clip->iDComplexity == DC_TRIVIAL) return kernel(pdev, plane, dest, stride, src, srcRect, srcStride);
  const RECTL& b = clip->rclBounds;
  if (clip->iDComplexity == DC_RECT) {
    cutTo(InclusiveRect(b));
    return TRUE;
  }
  // Picture mode takes each rectangle one dot wider and taller.
  const LONG grow = (pdev && pdev->photoMode != 0) ? 0 : 1;
  ForEachEnumeratedClipRect(clip, [&](const RECTL& r) { cutTo(PdevRect{r.left, r.top, r.right - grow, r.bottom - grow}); });
  return TRUE;
}

BOOL WhiteThenAndKernel(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                        const PdevRect& srcRect, LONG srcStride) {
  PdevRect white = dest;
  FillRectWhite(pdev, plane, white, stride);
  return AndRowsIntoPlane(pdev, plane, dest, stride, src, srcRect, srcStride);
}
