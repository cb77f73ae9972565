// The blit, stretch and text entries of the driver table; their bodies live
// with the blit and glyph paths.
#include "render/drawing_entries.h"

#include "render/blit_entries.h"

BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
               POINTL* pptlSrc, POINTL*, BRUSHOBJ* pbo, POINTL*, ROP4 rop4) {
  return BitBltBody(psoTrg, psoSrc, pco, pxlo, prclTrg, pptlSrc, pbo, rop4);
}
BOOL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                   COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                   ULONG iMode) {
  return StretchBltBody(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
}
BOOL DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc) {
  return CopyBitsBody(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}
// The extra rectangles are not drawn; the origin is the string's own.
BOOL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL*, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                BRUSHOBJ* pboOpaque, POINTL*, MIX mix) {
  if (!TextOutBody(pso, pstro, pfo, pco, prclOpaque, pboFore, pboOpaque, mix)) return FALSE;
  return TRUE;
}
