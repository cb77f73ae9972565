// The rendering plug-in's drawing entries: each takes the arguments of the
// DDI call of its name on the core's page surface, draws into the ink planes
// of the plug-in device behind it, and returns whether the call was taken
// (the hook then repeats it on the shadow page). FALSE hands the call back
// to GDI; an invalid device gives FALSE with ERROR_INVALID_PARAMETER.
#pragma once

#include "plat/engine.h"
#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "plat/engine_text.h"

BOOL OemDrawBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                   POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL OemDrawCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                     POINTL* pptlSrc);
// TRUE when drawn or cut away; FALSE for a complex clip.
BOOL OemDrawLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* prclBounds,
                   MIX mix);
BOOL OemDrawPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix);
// Always FALSE: GDI breaks path fills down into the other calls.
BOOL OemDrawFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                     FLONG flOptions);
BOOL OemDrawStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                              LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                              FLONG flOptions);
BOOL OemDrawStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                       LINEATTRS* plineattrs, MIX mix);
BOOL OemDrawStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                       ULONG iMode);
BOOL OemDrawTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                    BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
// Flushes the page's queued drawing and emits the sheet when the page count
// completes one (its result then); else TRUE.
BOOL OemDrawSendPage(SURFOBJ* pso);
BOOL OemDrawAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                       RECTL* prclSrc, BLENDOBJ* pBlendObj);
BOOL OemDrawStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                          ULONG iMode, BRUSHOBJ* pbo, DWORD rop4);
BOOL OemDrawTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                           RECTL* prclSrc, ULONG iTransColor, ULONG ulReserved);

// The ROP4 of a MIX: each ROP2 code (low and high byte) as its ROP3.
ULONG MixToRop4(MIX mix);
