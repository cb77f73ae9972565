// The engine's own bit-block copies and stretches between bitmap surfaces:
// what a printer graphics library falls back to when it leaves a copy or a
// stretch to the engine.
#pragma once

#include "plat/engine.h"

constexpr ULONG BLACKONWHITE = 1;
constexpr ULONG WHITEONBLACK = 2;
constexpr ULONG COLORONCOLOR = 3;
constexpr ULONG HALFTONE = 4;

extern "C" {
// Copies the source from srcPoint into the destination rectangle (exclusive)
// through the clip; colours of indexed sources through the translation (or
// the source's index as grey without one). One-bit destinations take 1 for a
// light colour (luminance 128 or more). FALSE with ERROR_INVALID_PARAMETER for
// missing surfaces or rectangle, or a format without bits.
PLATAPI BOOL EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                         POINTL* pptlSrc);
// Stretches the source rectangle onto the destination rectangle by nearest
// sample; right < left or bottom < top in either mirrors. HALFTONE onto a
// one-bit destination dithers the luminance with a 4 x 4 ordered matrix
// anchored to the surface; other modes threshold it. The mask and colour
// adjustment are not used.
PLATAPI BOOL EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                           ULONG iMode);
}
