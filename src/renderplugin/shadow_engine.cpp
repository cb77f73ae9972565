#include "renderplugin/shadow_engine.h"

#include "planes/rop_names.h"

namespace renderplugin {

// Until the engine draws every ROP4 on 24-bpp bitmaps, a plain copy is the
// one bit-block transfer it can repeat.
BOOL ShadowBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                  POINTL* pptlSrc, POINTL*, BRUSHOBJ*, POINTL*, ROP4 rop4) {
  if (rop4 != kRop4SrcCopy || !psoSrc || psoMask) return FALSE;
  return EngCopyBits(psoTrg, psoSrc, pco, pxlo, prclTrg, pptlSrc);
}

BOOL ShadowTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return FALSE;
}

BOOL ShadowLineTo(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) { return FALSE; }

BOOL ShadowStretchBltROP(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*,
                         POINTL*, ULONG, BRUSHOBJ*, ROP4) {
  return FALSE;
}

BOOL ShadowPlgBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*,
                  POINTL*, ULONG) {
  return FALSE;
}

BOOL ShadowTransparentBlt(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG) { return FALSE; }

BOOL ShadowAlphaBlend(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*) { return FALSE; }

BOOL ShadowGradientFill(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG) {
  return FALSE;
}

}  // namespace renderplugin
