// The bodies of the blit and text entries, reached from the driver table's
// DrvBitBlt, DrvCopyBits and DrvTextOut.
#pragma once

#include "plat/engine_text.h"
#include "render/render_pdev.h"

BOOL BitBltBody(SURFOBJ* psoTrg, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                BRUSHOBJ* pbo, ROP4 rop4);
BOOL CopyBitsBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
BOOL TextOutBody(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                 BRUSHOBJ* pboOpaque, MIX mix);
