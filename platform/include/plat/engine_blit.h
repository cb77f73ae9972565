// The engine's own bit-block copies and stretches between bitmap surfaces:
// what a printer graphics library falls back to when it leaves a copy or a
// stretch to the engine.
#pragma once

#include "plat/engine_draw.h"

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
// 24- or 32-bit destination averages the source area each pixel covers (a
// box filter weighted by the covered area); onto a one-bit destination it
// dithers the luminance with a 4 x 4 ordered matrix anchored to the surface;
// other modes threshold it. The mask and colour adjustment are not used.
PLATAPI BOOL EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                           ULONG iMode);

// Bit-block transfer with a ROP4: the low byte is the ROP3 where the mask is
// 1 (or everywhere without a mask), the high byte where it is 0. Each ROP3
// is applied bit by bit to the blue, green and red bytes of pattern (the
// brush, anchored at pptlBrush), source (translated) and destination. The
// target rectangle is cut to the source, the mask and the clip. FALSE with
// ERROR_INVALID_PARAMETER when an operand the ROP4 reads is missing.
PLATAPI BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                       ROP4 rop4);
// A stretch (as EngStretchBlt, iMode its mode) combined with the destination
// and brush by the ROP4 as EngBitBlt does.
PLATAPI BOOL EngStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                              COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                              POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo, DWORD rop4);
// Maps the source rectangle (all of the source without one) onto the
// parallelogram of pptfx (28.4): its top-left corner to the first point, the
// top-right to the second, the bottom-left to the third. Each destination
// pixel centre inside takes the nearest source sample.
PLATAPI BOOL EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl, POINTL* pptl,
                       ULONG iMode);
// Stretches (nearest) the source onto the destination, leaving out source
// pixels equal to iTransColor in the source's own format (an index on
// paletted sources, 0x00BBGGRR on deeper ones).
PLATAPI BOOL EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                               RECTL* prclSrc, ULONG iTransColor, ULONG Reserved);
}

// ---- blends and gradients ----
struct BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
};
struct BLENDOBJ {
  BLENDFUNCTION BlendFunction;
};
constexpr BYTE AC_SRC_OVER = 0x00;
constexpr BYTE AC_SRC_ALPHA = 0x01;

using COLOR16 = USHORT;
struct TRIVERTEX {
  LONG x;
  LONG y;
  COLOR16 Red;
  COLOR16 Green;
  COLOR16 Blue;
  COLOR16 Alpha;
};
struct GRADIENT_RECT {
  ULONG UpperLeft;
  ULONG LowerRight;
};
struct GRADIENT_TRIANGLE {
  ULONG Vertex1;
  ULONG Vertex2;
  ULONG Vertex3;
};
constexpr ULONG GRADIENT_FILL_RECT_H = 0;
constexpr ULONG GRADIENT_FILL_RECT_V = 1;
constexpr ULONG GRADIENT_FILL_TRIANGLE = 2;

extern "C" {
// Blends the source (stretched by nearest sample) over the destination:
// d = s * a + d * (1 - a) with a the constant alpha, times the source's
// premultiplied alpha byte for AC_SRC_ALPHA on a 32-bit source.
PLATAPI BOOL EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                           RECTL* prclSrc, BLENDOBJ* pBlendObj);
// Fills rectangles shaded across (GRADIENT_FILL_RECT_H) or down (_V) between
// their corners' colours, or triangles shaded between their vertices', at
// pixel centres, cut to prclExtents and the clip. Colours are 8.8 per channel.
PLATAPI BOOL EngGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex, ULONG nVertex,
                             PVOID pMesh, ULONG nMesh, RECTL* prclExtents, POINTL* pptlDitherOrg, ULONG ulMode);
}
