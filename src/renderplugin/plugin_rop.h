// The plug-in's raster-operation, brush and stroke path: the twins of the
// render library's BitBltToPlanes, CopyBitsToPlanes, RealizePattern,
// PatCopyRealized, PaletteSourceSplit and StrokeOnInkPlane, with the
// plug-in's own rules. Targets exclusive unless named otherwise.
#pragma once

#include "imaging/image_entries.h"
#include "plat/engine.h"

// Draws a bit-block transfer into the ink planes (after the entry's flush).
BOOL OemBrushBlt(ROP4 rop4, SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate, BRUSHOBJ* brush);
// ROP4 PatSelect in both bytes: the brush pattern where the source is 0, the target kept
// where it is 1.
BOOL MaskedPatternBlt(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                      XLATEOBJ* xlate, BRUSHOBJ* brush);
BOOL OemCopyBitsToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                         XLATEOBJ* xlate, BOOL caching);
// A brush's pattern bits (the caller frees them) of *size (in/out), or null.
BYTE* OemRealizePattern(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* size, BOOL wide);
BOOL OemPatCopyRealized(SURFOBJ* pso, const RECTL* target, CLIPOBJ* clip, BRUSHOBJ* brush);
BOOL OemPaletteSourceSplit(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                           ULONG srcFormat, XLATEOBJ* xlate);
// Styled strokes of OemDrawStrokePath, and strokes of other colours.
BOOL OemStrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* brushOrigin,
                         LINEATTRS* lineAttrs, MIX mix);
BOOL StrokeColouredPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* brushOrigin,
                        LINEATTRS* lineAttrs, MIX mix);
// Coloured strokes take solid brushes. StrokeMaskToDensity: block holds the
// dithered band, then the mask band ((B's height + 1) rows of bandRowBytes
// each) with the stroke drawn black on white; the stroke's colour (pixel:
// its three bytes as the device's 24-bit page holds them, read red first) is
// classified and dithered under the mask into the first band, phased by the
// area's page position; band is (0, 0, width - 1, height - 1) of the area.
BOOL StrokeMaskToDensity(RenderPdev* pdev, const BYTE* pixel, const PdevRect& area, BYTE* block, const PdevRect& band,
                         LONG bandRowBytes);
