// The bodies of the blit and text entries, reached from the driver table's
// DrvBitBlt, DrvStretchBlt, DrvCopyBits and DrvTextOut.
#pragma once

#include "plat/engine_text.h"
#include "render/render_pdev.h"

BOOL BitBltBody(SURFOBJ* psoTrg, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                BRUSHOBJ* pbo, ROP4 rop4);
BOOL CopyBitsBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
BOOL TextOutBody(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                 BRUSHOBJ* pboOpaque, MIX mix);
// DrvStretchBlt: mirrored and flipped destinations read a private mirrored
// copy of the source rectangle; the caller's bits are never written.
BOOL StretchBltBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                    COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                    ULONG iMode);
