// The drawing entries of the driver table: lines, paths, paints, brushes,
// blits, stretches, copies and text, drawn into the ink planes.
#pragma once

#include "planes/pdev_record.h"

BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
               POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                   COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                   ULONG iMode);
BOOL DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
BOOL DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* prclBounds,
               MIX mix);
BOOL DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                 FLONG flOptions);
BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                   LINEATTRS* plineattrs, MIX mix);
BOOL DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                          LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                          FLONG flOptions);
BOOL DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix);
BOOL DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask, XLATEOBJ* pxlo,
                     ULONG iHatch);
BOOL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);

// ---- shared with the plug-in's entries ----
// Bodies after the caller's flush, on the render surface pso of a valid
// record; realize makes the pattern of a brush without a solid colour.

using PatternRealizer = BYTE* (*)(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* size, BOOL wide);
// DrvPaint's fill of the clip; FALSE when the brush cannot be realized.
BOOL PaintPlanes(RenderPdev* pdev, SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, MIX mix, PatternRealizer realize);
// DrvLineTo's line, cut to the bounds, the clip and the plane: TRUE when
// drawn or cut away, FALSE for a complex clip (the engine's to break down).
BOOL LineToPlanes(RenderPdev* pdev, SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                  const RECTL* prclBounds, MIX mix, PatternRealizer realize);
// Geometric, Bezier and mitred strokes are the engine's.
bool StrokeNeedsEngine(PATHOBJ* ppo, const LINEATTRS& la);
// Width-1 cosmetic lines from the path's clip lines, kept inside the plane
// and the clip's bounds. FALSE when the clip-line buffer cannot be had.
BOOL StrokeClipLines(RenderPdev* pdev, SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, LINEATTRS* pla,
                     MIX mix);
