// The raster path of DrvBitBlt, above the ROP interpreter and its work buffers.
#pragma once

#include "planes/work_buffers.h"

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
// DrvBitBlt's raster path; dest exclusive.
BOOL BitBltToPlanes(ROP4 rop4, SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                    XLATEOBJ* xlate, BRUSHOBJ* brush);
