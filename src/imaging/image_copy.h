// Byte copies of sources the image caches and the blit path share: the
// bytes per pixel of a format, scaled and plain rectangle copies, the copy
// of a source through a clip, and zero fills of density rectangles.
#pragma once

#include "planes/pdev_record.h"

namespace imaging {

// 1..4 for BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP; 0 for any other format.
LONG BytesPerPixel(ULONG format);
// The source rect scaled to the destination rect's size: reduction keeps the
// last source element of each group, enlargement repeats element
// floor(k S / T). FALSE for a format without a byte size or an empty rect.
BOOL ScaledCopy(const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG format, BYTE* dst,
                const PdevRect& dstRect, LONG dstStride);
// The common size of the two rects, row by row.
void RectCopy(const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG format, BYTE* dst,
              const PdevRect& dstRect, LONG dstStride);
// The parts of the target (inclusive) inside the clip, copied from the source
// (srcRect's top-left at the target's top-left) into dst placed relative to
// the clip bounds' top-left (cut to the target). A complex clip's rectangles
// are added to the device's clip list as they are walked. FALSE for another
// clip complexity, a format without a byte size, or a list that cannot grow
// (the list is left as it was).
BOOL CopyThroughClip(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect,
                     LONG srcStride, ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride);
// Sets the rect (negative left and top raised to 0) to 0 in a byte image.
void FillRect8Zero(BYTE* buffer, const PdevRect& rect, LONG stride);

}  // namespace imaging

// Copies the parts of the source inside the clip into dst (placed relative to
// the clip bounds' top-left), first scaling the source to the target's size
// for a stretch. FALSE for a clip it cannot walk or a format without a byte
// size.
BOOL ClippedCopy(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                 ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride);
