// Drawing entries that still decline: blits, stretches and text.
#include "render/drawing_entries.h"

namespace {
BOOL Decline(SURFOBJ* pso) {
  SetLastError(IsValidPdev(PdevFromSurface(pso)) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
  return FALSE;
}
}  // namespace

BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*, POINTL*,
               ROP4) {
  return Decline(psoTrg);
}
BOOL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*,
                   POINTL*, ULONG) {
  return Decline(psoDest);
}
BOOL DrvCopyBits(SURFOBJ* psoDest, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) { return Decline(psoDest); }
BOOL DrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return Decline(pso);
}
