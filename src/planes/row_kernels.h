// The combining core of the row kernels, for buffers that do not start at
// the page's origin (the ROP interpreter's work buffers) as well as planes.
#pragma once

#include <algorithm>

#include "planes/pdev_record.h"

enum class RowOp { And, Or, Xor, Copy, CopyInverted };

// A one-bit buffer seen in page coordinates: page pixel (x, y) lives at bit
// x - originX of row y - originY. originX is a multiple of 8.
struct BitView {
  BYTE* bits;
  LONG stride;
  LONG originX;
  LONG originY;
};

// Combines source rows srcRect.top.. into the view's rows from dest.top,
// source bits aligned to dest.left, only dest.left..dest.right changed; source
// bytes at or beyond |srcStride| read as 0. dest must lie inside the view.
void CombineRows(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                 LONG srcStride, RowOp op);

// As CombineRows, each changed bit the destination's where the source is 1
// and the pattern byte's where it is 0: ((D ^ P) & S) ^ P.
void SelectRowsByPattern(const BitView& view, const PdevRect& dest, const BYTE* src, const PdevRect& srcRect,
                         LONG srcStride, BYTE pattern);

// The enumeration of a clip object's rectangles (exclusive), every batch
// including the last; stops at an empty batch.
template <typename Fn>
void ForEachEnumeratedClipRect(CLIPOBJ* clip, Fn fn);

#include "plat/engine_clip_xlate.h"

template <typename Fn>
void ForEachEnumeratedClipRect(CLIPOBJ* clip, Fn fn) {
  struct Batch {
    ULONG c;
    RECTL rects[256];
  } batch;
  static_assert(sizeof(Batch) == 4100);
  CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 0);
  for (;;) {
    batch.c = 0;
    const BOOL more = CLIPOBJ_bEnum(clip, sizeof(batch), reinterpret_cast<ULONG*>(&batch));
    if (batch.c == 0) return;
    for (ULONG i = 0; i < batch.c && i < 256; ++i) fn(batch.rects[i]);
    if (!more) return;
  }
}

// Runs fn on each non-empty part of the inclusive dest inside the clip (dest
// itself without one).
template <typename Fn>
void ForEachDestPart(CLIPOBJ* clip, const PdevRect& dest, Fn fn) {
  auto cut = [&](const RECTL& r) {
    PdevRect part;
    RectIntersect(dest, InclusiveRect(r), part);
    if (part.left <= part.right && part.top <= part.bottom) fn(part);
  };
  if (!clip || clip->iDComplexity == DC_TRIVIAL) return fn(dest);
  if (clip->iDComplexity == DC_RECT) return cut(clip->rclBounds);
  ForEachEnumeratedClipRect(clip, cut);
}
