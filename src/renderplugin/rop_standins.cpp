// Stand-ins for the plug-in's raster-operation path until it is built: the
// render library's classic path draws.
#include "planes/stroke_planes.h"
#include "render/brush_patterns.h"
#include "render/rop_blits.h"
#include "renderplugin/plugin_rop.h"

BOOL OemBrushBlt(ROP4 rop4, SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate, BRUSHOBJ* brush) {
  return BitBltToPlanes(rop4, pso, target, src, srcOrigin, clip, xlate, brush);
}

BOOL OemCopyBitsToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                         XLATEOBJ* xlate, BOOL caching) {
  return CopyBitsToPlanes(pso, target, src, srcOrigin, clip, xlate, caching);
}

BYTE* OemRealizePattern(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* size, BOOL wide) {
  return RealizePattern(pdev, brush, size, wide);
}

BOOL OemPatCopyRealized(SURFOBJ* pso, const RECTL* target, CLIPOBJ* clip, BRUSHOBJ* brush) {
  return PatCopyRealized(pso, target, clip, brush);
}

BOOL OemPaletteSourceSplit(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                           ULONG srcFormat, XLATEOBJ* xlate) {
  return PaletteSourceSplit(pdev, src, srcRect, srcStride, srcFormat, xlate);
}

BOOL OemStrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* brushOrigin,
                         LINEATTRS* lineAttrs, MIX mix) {
  return StrokeOnInkPlane(pso, ppo, pco, pxo, pbo, brushOrigin, lineAttrs, mix);
}
