// Geometry of the ROP interpreter's work buffers: the destination's bytes
// only, (height + 5) rows, so a blit near the foot of the page needs no more
// than its own size.
#pragma once

#include <cstddef>

#include "render/row_kernels.h"

// Bytes of one work buffer for an inclusive, non-empty destination; 0 when
// it would not fit a LONG stride.
std::size_t WorkBufferBytes(const PdevRect& dest);
// The work buffer seen in page coordinates.
BitView WorkBufferView(BYTE* buffer, const PdevRect& dest);

// Frees the copy of both planes that the PATINVERT idiom keeps.
void FreeSavedPlanes(RenderPdev* pdev);

// What the raster path needs to know of a brush besides its pattern.
struct BrushColour {
  bool present;  // a brush was given
  bool solid;  // it has a solid colour
  ULONG rgb;  // 0x00BBGGRR when solid
};

// The raster path of DrvBitBlt with the brush's colour known; dest
// exclusive. BitBltToPlanes reads the colour and calls it.
BOOL BitBltWithBrush(ROP4 rop4, SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                     XLATEOBJ* xlate, BRUSHOBJ* brush, const BrushColour& colour);
