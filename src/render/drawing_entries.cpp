// Declining drawing entries, replaced by the drawing paths.
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
BOOL DrvLineTo(SURFOBJ* pso, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) { return Decline(pso); }
BOOL DrvFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) { return Decline(pso); }
BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
  return Decline(pso);
}
BOOL DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*, POINTL*, MIX,
                          FLONG) {
  return Decline(pso);
}
BOOL DrvPaint(SURFOBJ* pso, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX) { return Decline(pso); }
BOOL DrvRealizeBrush(BRUSHOBJ*, SURFOBJ* psoTarget, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG) { return Decline(psoTarget); }
BOOL DrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return Decline(pso);
}
