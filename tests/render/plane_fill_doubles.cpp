// Stand-ins of the plane fills that the drawing paths own, for the blit and
// glyph tests until those paths are linked in: one plane, the ROP2s the
// blits use, rows from top to bottom, no other-plane change.
#include <cstring>
#include <vector>

#include "render/plane_ops.h"
#include "render/rop_blits.h"
#include "render/row_kernels.h"

namespace {
template <typename Fn>
void EachBit(const PdevRect& r, Fn fn) {
  for (LONG y = r.top; y <= r.bottom; ++y)
    for (LONG x = r.left; x <= r.right; ++x) fn(x, y);
}
bool Bit(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void Set(BYTE* row, LONG x, bool v) {
  const BYTE m = static_cast<BYTE>(0x80 >> (x & 7));
  row[x >> 3] = static_cast<BYTE>(v ? (row[x >> 3] | m) : (row[x >> 3] & ~m));
}
}  // namespace

BOOL FillRectWhite(RenderPdev*, BYTE* plane, PdevRect& rect, LONG stride) {
  EachBit(rect, [&](LONG x, LONG y) { Set(plane + y * stride, x, true); });
  return TRUE;
}

BOOL InvertRect(RenderPdev*, BYTE* plane, PdevRect& rect, LONG stride) {
  EachBit(rect, [&](LONG x, LONG y) { Set(plane + y * stride, x, !Bit(plane + y * stride, x)); });
  return TRUE;
}

BOOL Rop2FillPlanes(RenderPdev*, const PdevRect& rect, BYTE* target, LONG stride, const BYTE* pattern,
                    SIZEL size, ULONG rop2) {
  const LONG bytes = (size.cx + 7) / 8;
  EachBit(rect, [&](LONG x, LONG y) {
    const bool p = Bit(pattern + (y % size.cy) * bytes, x % size.cx);
    const bool d = Bit(target + y * stride, x);
    bool v = d;
    switch (rop2 & 0xFF) {
      case 4: v = !p; break;
      case 7: v = d != p; break;
      case 9: v = d && p; break;
      case 13: v = p; break;
      case 15: v = d || p; break;
    }
    Set(target + y * stride, x, v);
  });
  return TRUE;
}

BOOL FillRectInk(RenderPdev*, BYTE* plane, PdevRect& rect, LONG stride) {
  EachBit(rect, [&](LONG x, LONG y) { Set(plane + y * stride, x, false); });
  return TRUE;
}

void GetInkPlanes(RenderPdev* pdev, LONG, BYTE** drum1Plane, BYTE** drum2Plane) {
  *drum1Plane = pdev->drum1Plane;
  *drum2Plane = pdev->drum2Plane;
}

BOOL ForEachClipRect(RenderPdev* pdev, BYTE* plane, const PdevRect& rect, LONG stride, CLIPOBJ* clip,
                     RectKernel kernel) {
  if (!clip || clip->iDComplexity == DC_TRIVIAL) {
    PdevRect r = rect;
    return kernel(pdev, plane, r, stride);
  }
  std::vector<RECTL> rects;
  if (clip->iDComplexity == DC_RECT) {
    rects.push_back(clip->rclBounds);
  } else {
    ForEachEnumeratedClipRect(clip, [&](const RECTL& r) { rects.push_back(r); });
  }
  for (const RECTL& c : rects) {
    PdevRect r;
    RectIntersect(rect, PdevRect{c.left, c.top, c.right - 1, c.bottom - 1}, r);
    if (!RectIsEmpty(r)) kernel(pdev, plane, r, stride);
  }
  return TRUE;
}

BOOL AddClipToClipRectList(RenderPdev*, CLIPOBJ*) { return TRUE; }

// The pattern every brush realizes to in these tests.
BYTE g_testPattern[8] = {0x00, 0xFF, 0x0F, 0xF0, 0x3C, 0xC3, 0x55, 0xAA};

BYTE* RealizePattern(RenderPdev*, BRUSHOBJ*, SIZEL* patternSize, BOOL) {
  auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 8));
  if (bits) std::memcpy(bits, g_testPattern, 8);
  *patternSize = SIZEL{8, 8};
  return bits;
}

// Solid brushes become an all-ink pattern.
BYTE* BrushToPatternWide(RenderPdev*, BRUSHOBJ*, LONG, LONG, ULONG, BOOL) {
  auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 128));
  if (bits) std::memset(bits, 0x00, 128);
  return bits;
}

// Brushes here are pattern brushes of the double above.
BOOL BitBltToPlanes(ROP4 rop4, SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                    XLATEOBJ* xlate, BRUSHOBJ* brush) {
  return BitBltWithBrush(rop4, pso, dest, src, srcOrigin, clip, xlate, brush, BrushColour{brush != nullptr, false, 0});
}
