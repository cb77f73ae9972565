// The hooks: each finds the plug-in device through the core's DEVOBJ, runs
// the plug-in's entry on the planes and repeats an accepted drawing on the
// shadow page; document and page calls end with the core's own entry.
#include "renderplugin/hook_table.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "plat/engine_text.h"
#include "render/document_entries.h"
#include "renderplugin/plugin_draw.h"

namespace renderplugin {
namespace {

// Slots of OemHookTable.
enum Slot : int {
  kRealizeBrush,
  kDitherColor,
  kCopyBits,
  kBitBlt,
  kStretchBlt,
  kTextOut,
  kStrokePath,
  kFillPath,
  kStrokeAndFillPath,
  kPaint,
  kLineTo,
  kStartPage,
  kSendPage,
  kEscape,
  kStartDoc,
  kEndDoc,
  kNextBand,
  kStartBanding,
  kQueryFont,
  kQueryFontTree,
  kQueryFontData,
  kQueryAdvanceWidths,
  kFontManagement,
  kGetGlyphMode,
  kStretchBltROP,
  kPlgBlt,
  kTransparentBlt,
  kAlphaBlend,
  kGradientFill,
  kSlotCount
};
static_assert(kSlotCount == static_cast<int>(kOemHookCount));

// The core's saved entry of a slot with the hook's own signature.
template <typename F>
F Core(const PluginPdev* pp, Slot slot) {
  return pp ? reinterpret_cast<F>(pp->coreEntries[slot]) : nullptr;
}

SURFOBJ* Planes(PluginPdev* pp) { return pp->render.surfaceObject; }

// The shadow page to repeat a drawing on, its rows marked; null when none.
SURFOBJ* ShadowFor(PluginPdev* pp, const RECTL* bounds) {
  if (!pp->shadow.object) return nullptr;
  TouchShadowRows(pp->shadow, bounds);
  return pp->shadow.object;
}

// What a repeated call can draw on: its own bounds (null: anywhere on the
// page) within a clip that is not trivial, so that StartPage whitens no row
// the call could not reach. The result lives in `out`.
const RECTL* Reach(const CLIPOBJ* pco, const RECTL* own, RECTL& out) {
  const bool clipped = pco && pco->iDComplexity != DC_TRIVIAL;
  if (!clipped) return own;
  out = pco->rclBounds;
  if (own) {
    out.left = std::max(out.left, std::min(own->left, own->right));
    out.right = std::min(out.right, std::max(own->left, own->right));
    out.top = std::max(out.top, std::min(own->top, own->bottom));
    out.bottom = std::min(out.bottom, std::max(own->top, own->bottom));
    if (out.top > out.bottom) out.bottom = out.top;
  }
  return &out;
}

BOOL OemRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ*, XLATEOBJ* pxlo,
                     ULONG iHatch) {
  PluginPdev* pp = PluginPdevOfSurface(psoTarget);
  return pp ? OemRenderRealizeBrush(pp, pbo, psoPattern, pxlo, iHatch) : FALSE;
}

ULONG OemDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul) {
  auto core = Core<decltype(&OemDitherColor)>(PluginPdevOfDevice(dhpdev), kDitherColor);
  return core ? core(dhpdev, iMode, rgb, pul) : 0;
}

// The plug-in's entry drew the call: the shadow page gets the same drawing.
// Null when there is no shadow page (or, after a no-op blit, no device).
SURFOBJ* ShadowAfter(SURFOBJ* pso, const CLIPOBJ* pco, const RECTL* bounds) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  RECTL reach;
  return pp ? ShadowFor(pp, Reach(pco, bounds, reach)) : nullptr;
}

BOOL OemCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc) {
  if (!OemDrawCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoDest, pco, prclDest))
    (void)EngCopyBits(shadow, psoSrc, pco, pxlo, prclDest, pptlSrc);
  return TRUE;
}

BOOL OemBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
               POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
  if (!OemDrawBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4))
    return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoTrg, pco, prclTrg))
    (void)EngBitBlt(shadow, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
  return TRUE;
}

BOOL OemStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                   COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                   ULONG iMode) {
  if (!OemDrawStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode))
    return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoDest, pco, prclDest))
    (void)EngStretchBlt(shadow, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
  return TRUE;
}

BOOL OemTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
  if (!OemDrawTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(pso, pco, nullptr))
    (void)EngTextOut(shadow, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
  return TRUE;
}

BOOL OemStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                   LINEATTRS* plineattrs, MIX mix) {
  if (!OemDrawStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(pso, pco, nullptr))
    (void)EngStrokePath(shadow, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  return TRUE;
}

// Path fills are left to GDI, which breaks them down.
BOOL OemFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix, FLONG fl) {
  return OemDrawFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, fl);
}
BOOL OemStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                          LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill, FLONG fl) {
  return OemDrawStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, fl);
}

BOOL OemPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
  if (!OemDrawPaint(pso, pco, pbo, pptlBrushOrg, mix)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(pso, pco, nullptr)) (void)EngPaint(shadow, pco, pbo, pptlBrushOrg, mix);
  return TRUE;
}

// A line that the plug-in drew is stroked on the shadow page as well; a
// complex clip goes back to GDI, which offers it to StrokePath.
BOOL OemLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* prclBounds,
               MIX mix) {
  if (!OemDrawLineTo(pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix)) return FALSE;
  // A cosmetic line: its end rows, and one more either side for the
  // rasterizer's rounding.
  const auto widen = [](LONG v, LONG by) {
    return static_cast<LONG>(std::clamp<std::int64_t>(std::int64_t{v} + by, INT32_MIN, INT32_MAX));
  };
  const RECTL ends{widen(std::min(x1, x2), -1), widen(std::min(y1, y2), -1), widen(std::max(x1, x2), 2),
                   widen(std::max(y1, y2), 2)};
  if (SURFOBJ* shadow = ShadowAfter(pso, pco, &ends))
    (void)EngLineTo(shadow, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
  return TRUE;
}

BOOL OemStartPage(SURFOBJ* pso) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (pp) {
    DEVOBJ* devobj = pp->render.plugin.devobj;
    (void)BeginShadowPage(pp->shadow, devobj ? static_cast<HDEV>(devobj->hEngine) : nullptr, pp->pageWidth,
                          pp->pageHeight);
    pp->render.plugin.shadowObject = pp->shadow.object;
    if (Planes(pp)) (void)DrvStartPage(Planes(pp));
  }
  auto core = Core<decltype(&OemStartPage)>(pp, kStartPage);
  return core ? core(pso) : FALSE;
}

BOOL OemSendPage(SURFOBJ* pso) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (pp) {
    (void)OemDrawSendPage(pso);
    EndShadowPage(pp->shadow);
    pp->render.plugin.shadowObject = nullptr;
  }
  auto core = Core<decltype(&OemSendPage)>(pp, kSendPage);
  return core ? core(pso) : FALSE;
}

ULONG OemEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  auto core = Core<decltype(&OemEscape)>(PluginPdevOfSurface(pso), kEscape);
  return core ? core(pso, iEsc, cjIn, pvIn, cjOut, pvOut) : 0;
}

BOOL OemStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (pp) (void)OemRenderStartDoc(pp, reinterpret_cast<DEVOBJ*>(pso->dhpdev), pwszDocName, dwJobId);
  auto core = Core<decltype(&OemStartDoc)>(pp, kStartDoc);
  return core ? core(pso, pwszDocName, dwJobId) : FALSE;
}

BOOL OemEndDoc(SURFOBJ* pso, FLONG fl) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (pp) (void)OemRenderEndDoc(pp, reinterpret_cast<DEVOBJ*>(pso->dhpdev), fl);
  auto core = Core<decltype(&OemEndDoc)>(pp, kEndDoc);
  return core ? core(pso, fl) : FALSE;
}

BOOL OemNextBand(SURFOBJ* pso, POINTL* pptl) {
  auto core = Core<decltype(&OemNextBand)>(PluginPdevOfSurface(pso), kNextBand);
  return core ? core(pso, pptl) : FALSE;
}

BOOL OemStartBanding(SURFOBJ* pso, POINTL* pptl) {
  auto core = Core<decltype(&OemStartBanding)>(PluginPdevOfSurface(pso), kStartBanding);
  return core ? core(pso, pptl) : FALSE;
}

PVOID OemQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid) {
  auto core = Core<decltype(&OemQueryFont)>(PluginPdevOfDevice(dhpdev), kQueryFont);
  return core ? core(dhpdev, iFile, iFace, pid) : nullptr;
}

PVOID OemQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR* pid) {
  auto core = Core<decltype(&OemQueryFontTree)>(PluginPdevOfDevice(dhpdev), kQueryFontTree);
  return core ? core(dhpdev, iFile, iFace, iMode, pid) : nullptr;
}

LONG OemQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, PVOID pgd, PVOID pv, ULONG cjSize) {
  auto core = Core<decltype(&OemQueryFontData)>(PluginPdevOfDevice(dhpdev), kQueryFontData);
  return core ? core(dhpdev, pfo, iMode, hg, pgd, pv, cjSize) : -1;
}

BOOL OemQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths, ULONG cGlyphs) {
  auto core = Core<decltype(&OemQueryAdvanceWidths)>(PluginPdevOfDevice(dhpdev), kQueryAdvanceWidths);
  return core ? core(dhpdev, pfo, iMode, phg, pvWidths, cGlyphs) : FALSE;
}

ULONG OemFontManagement(SURFOBJ* pso, FONTOBJ* pfo, ULONG iMode, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  auto core = Core<decltype(&OemFontManagement)>(PluginPdevOfSurface(pso), kFontManagement);
  return core ? core(pso, pfo, iMode, cjIn, pvIn, cjOut, pvOut) : 0;
}

ULONG OemGetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo) {
  auto core = Core<decltype(&OemGetGlyphMode)>(PluginPdevOfDevice(dhpdev), kGetGlyphMode);
  return core ? core(dhpdev, pfo) : 0;
}

BOOL OemStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                      COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                      ULONG iMode, BRUSHOBJ* pbo, DWORD rop4) {
  if (!OemDrawStretchBltROP(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode,
                            pbo, rop4))
    return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoDest, pco, prclDest))
    (void)EngStretchBltROP(shadow, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode, pbo,
                           rop4);
  return TRUE;
}

BOOL OemPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
               POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl, POINTL* pptl, ULONG iMode) {
  PluginPdev* pp = PluginPdevOfSurface(psoTrg);
  RECTL reach;
  if (pp)
    if (SURFOBJ* shadow = ShadowFor(pp, Reach(pco, nullptr, reach)))
      (void)EngPlgBlt(shadow, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode);
  auto core = Core<decltype(&OemPlgBlt)>(pp, kPlgBlt);
  return core ? core(psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode) : FALSE;
}

BOOL OemTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst, RECTL* prclSrc,
                       ULONG iTransColor, ULONG reserved) {
  if (!OemDrawTransparentBlt(psoDst, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, reserved)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoDst, pco, prclDst))
    (void)EngTransparentBlt(shadow, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, reserved);
  return TRUE;
}

BOOL OemAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, RECTL* prclSrc,
                   BLENDOBJ* pBlendObj) {
  if (!OemDrawAlphaBlend(psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj)) return FALSE;
  if (SURFOBJ* shadow = ShadowAfter(psoDest, pco, prclDest))
    (void)EngAlphaBlend(shadow, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj);
  return TRUE;
}

BOOL OemGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex, ULONG nVertex, PVOID pMesh,
                     ULONG nMesh, RECTL* prclExtents, POINTL* pptlDitherOrg, ULONG ulMode) {
  PluginPdev* pp = PluginPdevOfSurface(psoDest);
  RECTL reach;
  if (pp)
    if (SURFOBJ* shadow = ShadowFor(pp, Reach(pco, prclExtents, reach)))
      (void)EngGradientFill(shadow, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents, pptlDitherOrg, ulMode);
  auto core = Core<decltype(&OemGradientFill)>(pp, kGradientFill);
  return core ? core(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents, pptlDitherOrg, ulMode) : FALSE;
}

template <typename F>
PFN Entry(F f) {
  return reinterpret_cast<PFN>(f);
}

const std::array<DRVFN, kOemHookCount> kTable = {{
    {INDEX_DrvRealizeBrush, Entry(OemRealizeBrush)},
    {INDEX_DrvDitherColor, Entry(OemDitherColor)},
    {INDEX_DrvCopyBits, Entry(OemCopyBits)},
    {INDEX_DrvBitBlt, Entry(OemBitBlt)},
    {INDEX_DrvStretchBlt, Entry(OemStretchBlt)},
    {INDEX_DrvTextOut, Entry(OemTextOut)},
    {INDEX_DrvStrokePath, Entry(OemStrokePath)},
    {INDEX_DrvFillPath, Entry(OemFillPath)},
    {INDEX_DrvStrokeAndFillPath, Entry(OemStrokeAndFillPath)},
    {INDEX_DrvPaint, Entry(OemPaint)},
    {INDEX_DrvLineTo, Entry(OemLineTo)},
    {INDEX_DrvStartPage, Entry(OemStartPage)},
    {INDEX_DrvSendPage, Entry(OemSendPage)},
    {INDEX_DrvEscape, Entry(OemEscape)},
    {INDEX_DrvStartDoc, Entry(OemStartDoc)},
    {INDEX_DrvEndDoc, Entry(OemEndDoc)},
    {INDEX_DrvNextBand, Entry(OemNextBand)},
    {INDEX_DrvStartBanding, Entry(OemStartBanding)},
    {INDEX_DrvQueryFont, Entry(OemQueryFont)},
    {INDEX_DrvQueryFontTree, Entry(OemQueryFontTree)},
    {INDEX_DrvQueryFontData, Entry(OemQueryFontData)},
    {INDEX_DrvQueryAdvanceWidths, Entry(OemQueryAdvanceWidths)},
    {INDEX_DrvFontManagement, Entry(OemFontManagement)},
    {INDEX_DrvGetGlyphMode, Entry(OemGetGlyphMode)},
    {INDEX_DrvStretchBltROP, Entry(OemStretchBltROP)},
    {INDEX_DrvPlgBlt, Entry(OemPlgBlt)},
    {INDEX_DrvTransparentBlt, Entry(OemTransparentBlt)},
    {INDEX_DrvAlphaBlend, Entry(OemAlphaBlend)},
    {INDEX_DrvGradientFill, Entry(OemGradientFill)},
}};

}  // namespace

std::span<const DRVFN, kOemHookCount> OemHookTable() { return kTable; }

int HookSlot(ULONG index) {
  for (int i = 0; i < kSlotCount; ++i)
    if (kTable[static_cast<std::size_t>(i)].iFunc == index) return i;
  return -1;
}

}  // namespace renderplugin
