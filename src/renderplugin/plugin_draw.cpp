// The plug-in's drawing entries: the render library's entries with the
// plug-in's own ROP4 history, drawing bounds and queue-aware flush, the
// shadow-page workers in picture modes, and the fallbacks of blends,
// transparent blits and stretched raster operations through temporaries of
// the target cut to the page.
#include "renderplugin/plugin_draw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/brush_dither.h"
#include "imaging/image_entries.h"
#include "planes/colour_classes.h"
#include "planes/plane_ops.h"
#include "planes/stroke_planes.h"
#include "planes/work_buffers.h"
#include "render/blit_entries.h"
#include "render/drawing_entries.h"
#include "renderplugin/plugin_pdev.h"
#include "renderplugin/plugin_rop.h"

namespace {

// The record behind the core's surface, its shadow page refreshed; null
// with ERROR_INVALID_PARAMETER when invalid or outside a document.
RenderPdev* Prologue(SURFOBJ* pso) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (!pp) return nullptr;
  RenderPdev* pdev = &pp->render;
  pdev->plugin.shadowObject = pp->shadow.object;
  if (!pdev->surfaceObject) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev;
}

// The render surface: its device pointer is the record and its stride the
// plane stride, whatever surface GDI passed.
SURFOBJ* Planes(RenderPdev* pdev) { return pdev->surfaceObject; }

bool Pending(const RenderPdev* pdev) { return (pdev->flags & kPdevImagePending) != 0; }

// Sharpening, backlight enhancement or error diffusion: some blits are
// queued for the shadow page instead of drawn.
bool PictureModes(const RenderPdev* pdev) { return pdev->edge != 0 || pdev->backlight != 0 || pdev->photoMode == 1; }

PdevRect PageRect(const RenderPdev* pdev) { return PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}; }

PdevRect CutToPage(const RenderPdev* pdev, const PdevRect& r) {
  PdevRect out{};
  RectIntersect(r, PageRect(pdev), out);
  return out;
}

// Edges in order (a mirrored stretch gives right < left).
RECTL Ordered(const RECTL& r) {
  return RECTL{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
               std::max(r.top, r.bottom)};
}

// Pending work: the queue's objects that the drawing bounds touch, else the
// band cache of the job's ink count. The flush functions keep the pending
// flag.
BOOL FlushPendingWork(RenderPdev* pdev) {
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  return OemFlushOrMergeImage(pdev, plane, pdev->planeStride, nullptr, nullptr, nullptr, 0, nullptr, 0, 0).ok;
}

BOOL FlushIfPending(RenderPdev* pdev) { return Pending(pdev) ? FlushPendingWork(pdev) : TRUE; }

// Before drawing over pending work: ROP4 0 in the history, then the flush
// of what bounds touch.
void FlushBeforeDrawing(RenderPdev* pdev, const PdevRect& bounds) {
  if (!Pending(pdev)) return;
  NextRop4(pdev, 0);
  pdev->plugin.drawBounds = bounds;
  (void)FlushPendingWork(pdev);
}

BOOL Drawn(RenderPdev* pdev, const RECTL& target) {
  pdev->drawing.lastDrawnRect = target;
  return TRUE;
}

// The ROP4 history, put back when a worker declines.
struct RopHistory {
  ULONG rop4;
  ULONG previous;
  explicit RopHistory(const RenderPdev* pdev) : rop4(pdev->drawing.rop4), previous(pdev->drawing.previousRop4) {}
  void Restore(RenderPdev* pdev) const {
    pdev->drawing.rop4 = rop4;
    pdev->drawing.previousRop4 = previous;
  }
};

// Whenever a shadow page exists, blends and transparent blits are offered
// to its worker with their mark in the ROP4 history; a declined call leaves
// the history as it was.
bool QueuedAsBlend(RenderPdev* pdev, const RECTL& target, ULONG format, CLIPOBJ* clip, ULONG mark) {
  if (!pdev->plugin.shadowObject) return false;
  const RopHistory kept(pdev);
  NextRop4(pdev, mark);
  if (ShadowBlendBlt(pdev, &target, format, clip)) return Drawn(pdev, target) != FALSE;
  kept.Restore(pdev);
  return false;
}

// The first XOR of a masking sequence, or the AND right after it.
bool MaskStep(ULONG rop4, ULONG previous) {
  return rop4 == kRop4SrcInvert || (rop4 == kRop4SrcAnd && previous == kRop4SrcInvert);
}

// StretchBlt's hook once its clip is known: the drawing bounds, then in
// picture modes the shadow-page workers.
BOOL QueueStretch(RenderPdev* pdev, const RECTL& dest, SURFOBJ* src, CLIPOBJ* clip) {
  pdev->plugin.drawBounds = InclusiveRect(clip->rclBounds);
  const std::uint8_t state = pdev->image.blitState;
  if (!PictureModes(pdev) || state == kBlitMaskImagePair || state == kBlitHolePair) return FALSE;
  if (pdev->plugin.kind == 1 && ShadowMaskBlt(pdev, &dest, src->iBitmapFormat, clip)) return TRUE;
  return ShadowCopyBlt(pdev, &dest, src->iBitmapFormat, clip);
}

// A locked bitmap the entry draws on, deleted with this object.
struct Temporary {
  HSURF surface = nullptr;
  SURFOBJ* object = nullptr;
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (object) EngUnlockSurface(object);
    if (surface) EngDeleteSurface(surface);
  }
  // width x height of format on the engine device (a bitmap of no device
  // when null: the byte order of such a source), erased to white. False
  // when it cannot be made, associated or locked.
  bool Make(LONG width, LONG height, ULONG format, FLONG flags, HDEV device) {
    surface = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{width, height}, 0, format, flags, nullptr));
    if (!surface || (device && !EngAssociateSurface(surface, device, 0))) return false;
    object = EngLockSurface(surface);
    if (!object) return false;
    RECTL all{0, 0, width, height};
    EngEraseSurface(object, &all, 0xFFFFFF);
    return true;
  }
};

// rect moved by (-dx, -dy): a target in the coordinates of a temporary.
RECTL Shifted(const RECTL& rect, LONG dx, LONG dy) {
  return RECTL{rect.left - dx, rect.top - dy, rect.right - dx, rect.bottom - dy};
}

// Transparent-blit buffers: density rows padded on the left and top to the
// 8-dot phase of the area's page position, so that the dither's own phase
// is the page's; the one-bit bands share the padding.
struct PhasedArea {
  PdevRect page;   // the area on the page, inclusive
  LONG padX, padY;
  LONG width, height;  // padded
  PdevRect Band() const {
    return PdevRect{padX, padY, padX + static_cast<LONG>(RectWidth(page)) - 1,
                    padY + static_cast<LONG>(RectHeight(page)) - 1};
  }
};

}  // namespace

ULONG MixToRop4(MIX mix) {
  const ULONG foreground = kRop3OfRop2[((mix & 0xFF) - 1) & 0x0F];
  const ULONG background = kRop3OfRop2[(((mix >> 8) & 0xFF) - 1) & 0x0F];
  return (background << 8) | foreground;
}

BOOL OemDrawBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                   POINTL* pptlSrc, POINTL*, BRUSHOBJ* pbo, POINTL*, ROP4 rop4) {
  if (Rop3Of(rop4) == kRop3Dest) return TRUE;  // the destination stays as it is
  RenderPdev* pdev = Prologue(psoTrg);
  if (!pdev) return FALSE;
  if (!prclTrg) return TRUE;
  SURFOBJ* planes = Planes(pdev);
  pdev->drawing.hatchMarker = 0;
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, planes, *prclTrg);
  // An engine stroke that called back here left its rows exchanged.
  RestoreStrokeRows(pdev);
  NextRop4(pdev, rop4);
  const ULONG previous = pdev->drawing.previousRop4;
  PdevPluginState& queue = pdev->plugin;
  const ULONG format = psoSrc ? psoSrc->iBitmapFormat : 0;
  if (PictureModes(pdev)) {
    // An inverting blit not followed by its mask is abandoned.
    if ((queue.kind == 1 || queue.kind == 8) && previous == kRop4SrcInvert && rop4 != kRop4SrcAnd && queue.cursor)
      UnlinkDrawObject(pdev);
    else
      queue.cursor = nullptr;
    if (MaskStep(rop4, previous) || (rop4 == kRop4SrcCopy && queue.kind == 1)) {
      if (ShadowMaskBlt(pdev, prclTrg, format, clip)) return Drawn(pdev, *prclTrg);
    } else if (rop4 == kRop4SrcCopy) {
      if (ShadowCopyBlt(pdev, prclTrg, format, clip)) return Drawn(pdev, *prclTrg);
    }
  }
  // Unlike the classic entry, DSna goes to the image path from any source.
  const bool imageRop =
      rop4 == kRop4SrcAnd || rop4 == kRop4SrcPaint || rop4 == kRop4Dsna || rop4 == kRop4MergePaint;
  if (imageRop && OemImageBlt(planes, prclTrg, psoSrc, pptlSrc, clip, pxlo))
    return Drawn(pdev, *prclTrg);
  const PdevRect target = InclusiveRect(*prclTrg);
  const bool keepPending =
      Rop3Of(rop4) == kRop3SrcCopy || (rop4 == kRop4SrcInvert && (queue.kind == 8 || queue.cursor)) ||
      (rop4 == kRop4PatSelect && previous == kRop4SrcAnd && RectsIntersect(target, pdev->image.operationRect));
  if (Pending(pdev) && !keepPending) {
    const RECTL& last = pdev->drawing.lastDrawnRect;
    if (pdev->image.blitState == kBlitMaskHole && RopIsSourceOnly(rop4) && RectContains(InclusiveRect(last), target))
      pdev->image.blitState = kBlitInsideHole;
    queue.drawBounds = InclusiveRect(clip->rclBounds);
    (void)FlushPendingWork(pdev);
  }
  const BOOL result = OemBrushBlt(rop4, planes, prclTrg, psoSrc, pptlSrc, clip, pxlo, pbo);
  pdev->drawing.lastDrawnRect = *prclTrg;
  return result;
}

BOOL OemDrawCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                     POINTL* pptlSrc) {
  RenderPdev* pdev = Prologue(psoDest);
  if (!pdev) return FALSE;
  if (!prclDest) return TRUE;
  SURFOBJ* planes = Planes(pdev);
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, planes, *prclDest);
  NextRop4(pdev, kRop4SrcCopy);
  // Without a source there is nothing to queue: the engine draws the call.
  if (!psoSrc) return EngCopyBits(planes, nullptr, clip, pxlo, prclDest, pptlSrc);
  if (PictureModes(pdev)) {
    const BOOL queued = pdev->plugin.kind == 1 ? ShadowMaskBlt(pdev, prclDest, psoSrc->iBitmapFormat, clip)
                                               : ShadowCopyBlt(pdev, prclDest, psoSrc->iBitmapFormat, clip);
    if (queued) return Drawn(pdev, *prclDest);
  }
  NoteCopySource(pdev, psoSrc);
  OemCopyBitsToPlanes(planes, prclDest, psoSrc, pptlSrc, clip, pxlo, FALSE);
  return TRUE;
}

BOOL OemDrawLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* prclBounds,
                   MIX mix) {
  RenderPdev* pdev = Prologue(pso);
  if (!pdev) return FALSE;
  FlushBeforeDrawing(pdev, PdevRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});
  return LineToPlanes(pdev, Planes(pdev), pco, pbo, x1, y1, x2, y2, prclBounds, mix, OemRealizePattern);
}

BOOL OemDrawPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix) {
  RenderPdev* pdev = Prologue(pso);
  if (!pdev) return FALSE;
  FlushBeforeDrawing(pdev, pco ? InclusiveRect(pco->rclBounds) : PdevRect{});
  return PaintPlanes(pdev, Planes(pdev), pco, pbo, mix, OemRealizePattern);
}

BOOL OemDrawFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) { return FALSE; }

BOOL OemDrawStrokeAndFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*, POINTL*, MIX,
                              FLONG) {
  return FALSE;
}

BOOL OemDrawStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                       LINEATTRS* plineattrs, MIX mix) {
  RenderPdev* pdev = Prologue(pso);
  if (!pdev) return FALSE;
  SURFOBJ* planes = Planes(pdev);
  LINEATTRS cosmetic{};
  cosmetic.elWidth.l = 1;
  const LINEATTRS& la = plineattrs ? *plineattrs : cosmetic;
  // Without a clip object, what the stroke can reach: its path's bounds on
  // the page.
  PdevRect bounds = PageRect(pdev);
  if (pco) {
    bounds = InclusiveRect(pco->rclBounds);
  } else if (ppo) {
    RECTFX fx{};
    PATHOBJ_vGetBounds(ppo, &fx);
    bounds = CutToPage(pdev, PdevRect{fx.xLeft >> 4, fx.yTop >> 4, (fx.xRight + 15) >> 4, (fx.yBottom + 15) >> 4});
  }
  const bool complexClip = pco && pco->iDComplexity == DC_COMPLEX;
  const bool curves = ppo && (ppo->fl & PO_BEZIERS);
  const bool round = (la.fl & LA_GEOMETRIC) && la.iJoin == JOIN_ROUND && la.iEndCap == ENDCAP_ROUND;
  // A solid outline around a pending copy is left to GDI.
  if (HasTwoPlanes(pdev) && Pending(pdev) && Rop3Of(pdev->drawing.rop4) == kRop3SrcCopy &&
      MixToRop4(mix) == kRop4PatCopy && (curves || round) && !complexClip &&
      RectContains(bounds, pdev->image.operationRect))
    return FALSE;
  if (Pending(pdev)) {
    // Queued objects keep the ROP4 history of their sequence.
    if (!pdev->plugin.head) NextRop4(pdev, 0);
    pdev->plugin.drawBounds = bounds;
    (void)FlushPendingWork(pdev);
  }
  if (complexClip) return FALSE;
  if ((la.fl & LA_STYLED) && la.pstyle)
    return OemStrokeOnInkPlane(planes, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  if (StrokeNeedsEngine(ppo, la)) {
    PdevDrawState& drawing = pdev->drawing;
    if (drawing.rop4 == kRop4SrcInvert &&
        (drawing.previousRop4 == kRop4SrcAnd || drawing.previousRop4 == kRop4PatAnd) &&
        RectContains(pdev->image.earlierRect, InclusiveRect(drawing.lastDrawnRect)))
      drawing.rop4 = 0;
    return FALSE;
  }
  if (la.elWidth.l != 1) return FALSE;
  return StrokeClipLines(pdev, planes, ppo, pco, pbo, plineattrs, mix);
}

BOOL OemDrawStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                       ULONG iMode) {
  RenderPdev* pdev = Prologue(psoDest);
  if (!pdev) return FALSE;
  return StretchBltToPlanes(pdev, Planes(pdev), psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc,
                            pptlMask, iMode, StretchRules{FlushIfPending, QueueStretch});
}

BOOL OemDrawTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL*, RECTL* prclOpaque,
                    BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL*, MIX mix) {
  RenderPdev* pdev = Prologue(pso);
  if (!pdev) return FALSE;
  // Without a clip object: the opaque rectangle, else the string's
  // background, on the page.
  PdevRect bounds = PageRect(pdev);
  if (pco)
    bounds = InclusiveRect(pco->rclBounds);
  else if (prclOpaque)
    bounds = CutToPage(pdev, InclusiveRect(*prclOpaque));
  else if (pstro)
    bounds = CutToPage(pdev, InclusiveRect(pstro->rclBkGround));
  // Text beside a queued region leaves it queued.
  if (Pending(pdev) && (pdev->plugin.kind == 0 || RectsIntersect(bounds, pdev->image.operationRect)))
    FlushBeforeDrawing(pdev, bounds);
  return TextToPlanes(pdev, Planes(pdev), pstro, pfo, pco, prclOpaque, pboFore, pboOpaque, mix);
}

BOOL OemDrawSendPage(SURFOBJ* pso) {
  PluginPdev* pp = PluginPdevOfSurface(pso);
  if (!pp) return FALSE;
  auto* devobj = reinterpret_cast<DEVOBJ*>(pso->dhpdev);
  pp->render.printer = devobj->hPrinter;
  pp->render.plugin.devobj = devobj;
  RenderPdev* pdev = Prologue(pso);
  if (!pdev) return FALSE;
  FreeSavedPlanes(pdev);
  if (Pending(pdev)) {
    // Every queued object goes down before the page ends.
    NextRop4(pdev, 0);
    pdev->plugin.drawBounds = PdevRect{};
    (void)FlushPendingWork(pdev);
    pdev->flags &= ~kPdevImagePending;
  }
  ++pdev->pageCounter;
  if (pdev->pageCounter % PagesPerSheet(pdev) == 0) return OemEmitPage(pdev) ? TRUE : FALSE;
  // Logical pages of one sheet draw onto the same planes.
  ClearClipRectList(pdev);
  pdev->image.operationRect = PdevRect{0, 0, -1, -1};
  pdev->drawnRect = PdevRect{0, 0, -1, -1};
  pdev->plugin.kind = 0;
  pdev->plugin.tag = 0;
  FreeDrawObjects(pdev);
  return TRUE;
}

BOOL OemDrawAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                       RECTL* prclSrc, BLENDOBJ* pBlendObj) {
  RenderPdev* pdev = Prologue(psoDest);
  if (!pdev) return FALSE;
  if (!psoSrc || !prclDest || !prclSrc) return FALSE;
  if (QueuedAsBlend(pdev, *prclDest, psoSrc->iBitmapFormat, pco, kRop4BlendMark)) return TRUE;
  // The blend is made against white on a temporary of the target's visible
  // part, not against what the planes hold.
  const RECTL ordered = Ordered(*prclDest);
  const PdevRect area = CutToPage(pdev, InclusiveRect(ordered));
  if (RectIsEmpty(area)) return TRUE;
  const LONG width = static_cast<LONG>(RectWidth(area)), height = static_cast<LONG>(RectHeight(area));
  Temporary page;
  if (!page.Make(width, height, BMF_24BPP, BMF_TOPDOWN, pdev->engineDevice)) return FALSE;
  RECTL onPage = Shifted(*prclDest, area.left, area.top);
  if (!EngAlphaBlend(page.object, psoSrc, nullptr, pxlo, &onPage, prclSrc, pBlendObj)) return FALSE;
  SURFOBJ* planes = Planes(pdev);
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, planes, ordered);
  pdev->plugin.rgbOrder = 1;
  NextRop4(pdev, kRop4SrcCopy);
  pdev->drawing.previousClipComplexity = pdev->drawing.clipComplexity;
  pdev->drawing.clipComplexity = clip->iDComplexity;
  const PdevRect whole{0, 0, width - 1, height - 1};
  StretchBands bands{nullptr, nullptr, 0, area};
  const BOOL direct = pdev->edge == 0 && pdev->backlight == 0 ? TRUE : FALSE;
  const PictureBands converted =
      SourceToPlaneFormat(pdev, static_cast<const BYTE*>(page.object->pvScan0), whole, page.object->lDelta,
                          BMF_24BPP, whole, &bands.stride, area, pxlo, direct, pdev->planeStride, clip);
  BOOL result = TRUE;
  if (converted.first) {
    if (Pending(pdev)) {
      pdev->plugin.drawBounds = InclusiveRect(clip->rclBounds);
      (void)FlushPendingWork(pdev);
    }
    bands.band = converted.first;
    bands.secondBand = converted.second;
    result = PlaceStretchBands(pdev, planes, bands, clip);
  }
  pdev->plugin.rgbOrder = 0;
  return result;
}

BOOL OemDrawStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                          ULONG iMode, BRUSHOBJ* pbo, DWORD rop4) {
  RenderPdev* pdev = Prologue(psoDest);
  if (!pdev) return FALSE;
  if (!psoSrc || !prclDest || !prclSrc) return FALSE;
  if (pdev->plugin.shadowObject && PictureModes(pdev)) {
    const RopHistory kept(pdev);
    NextRop4(pdev, rop4);
    const ULONG format = psoSrc->iBitmapFormat;
    const std::uint8_t kind = pdev->plugin.kind;
    BOOL queued = FALSE;
    if (MaskStep(rop4, kept.rop4) || (rop4 == kRop4SrcCopy && kind == 1))
      queued = ShadowMaskBlt(pdev, prclDest, format, pco);
    else if (rop4 == kRop4SrcCopy && kind != 5)
      queued = ShadowCopyBlt(pdev, prclDest, format, pco);
    else if (rop4 == kRop4SrcCopy || RopIsSourceOnly(rop4))
      queued = ShadowRopBlt(pdev, prclDest, format, pco);
    if (queued) return Drawn(pdev, *prclDest);
    kept.Restore(pdev);
  }
  // The source stretched over the target's visible part (the stretch still
  // maps the whole target), then blitted with the call's ROP4.
  const RECTL ordered = Ordered(*prclDest);
  const PdevRect visible = CutToPage(pdev, InclusiveRect(ordered));
  if (RectIsEmpty(visible)) return TRUE;
  RECTL cut = ExclusiveRect(visible);
  Temporary bitmap;
  if (!bitmap.Make(cut.right - cut.left, cut.bottom - cut.top, psoSrc->iBitmapFormat, 0, psoSrc->hdev)) return FALSE;
  RECTL onBitmap = Shifted(*prclDest, cut.left, cut.top);
  if (!EngStretchBlt(bitmap.object, psoSrc, nullptr, nullptr, nullptr, pca, nullptr, &onBitmap, prclSrc, nullptr,
                     iMode))
    return FALSE;
  POINTL origin{0, 0};
  return OemDrawBitBlt(psoDest, bitmap.object, psoMask, pco, pxlo, &cut, &origin, pptlMask, pbo, pptlHTOrg, rop4);
}

BOOL OemDrawTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                           RECTL* prclSrc, ULONG iTransColor, ULONG) {
  RenderPdev* pdev = Prologue(psoDst);
  if (!pdev) return FALSE;
  if (!psoSrc || !prclDst || !prclSrc) return FALSE;
  if (QueuedAsBlend(pdev, *prclDst, psoSrc->iBitmapFormat, pco, kRop4TransparentMark)) return TRUE;
  const RECTL ordered = Ordered(*prclDst);
  const PdevRect visible = CutToPage(pdev, InclusiveRect(ordered));
  if (RectIsEmpty(visible)) return TRUE;
  Temporary page;
  if (!page.Make(static_cast<LONG>(RectWidth(visible)), static_cast<LONG>(RectHeight(visible)), BMF_24BPP,
                 BMF_TOPDOWN, pdev->engineDevice))
    return FALSE;
  RECTL onPage = Shifted(*prclDst, visible.left, visible.top);
  if (!EngStretchBlt(page.object, psoSrc, nullptr, nullptr, pxlo, nullptr, nullptr, &onPage, prclSrc, nullptr,
                     COLORONCOLOR))
    return FALSE;
  SURFOBJ* planes = Planes(pdev);
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, planes, ordered);
  PdevRect area = visible;
  if (pco) RectIntersect(area, InclusiveRect(pco->rclBounds), area);
  if (RectIsEmpty(area)) return TRUE;

  PhasedArea phased{area, area.left & 7, area.top & 7, 0, 0};
  phased.width = static_cast<LONG>(RectWidth(area)) + phased.padX;
  phased.height = static_cast<LONG>(RectHeight(area)) + phased.padY;
  const std::size_t plateBytes = static_cast<std::size_t>(phased.width) * static_cast<std::size_t>(phased.height);
  auto* densities = static_cast<BYTE*>(GlobalAlloc(GPTR, 2 * plateBytes));
  if (!densities) return FALSE;
  const LONG bandStride = static_cast<LONG>(AlignTo4(RowBytes1bpp(phased.width)));
  const std::size_t bandBytes = static_cast<std::size_t>(bandStride) * static_cast<std::size_t>(phased.height);
  // The two plates' bands (1 white) and the mask of the pixels to whiten.
  auto* bands = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 3 * bandBytes));
  if (!bands) {
    GlobalFree(densities);
    return FALSE;
  }
  std::memset(bands, 0xFF, 2 * bandBytes);
  std::memset(bands + 2 * bandBytes, 0, bandBytes);
  BYTE* drawn = densities;             // to the drum-2 plane pointer
  BYTE* drumOne = densities + plateBytes;  // to the drum-1 plane on two inks
  BYTE* whiten = bands + 2 * bandBytes;
  const bool two = HasTwoPlanes(pdev);
  // The key colour as the temporary holds it.
  const ULONG key = pxlo ? XLATEOBJ_iXlate(pxlo, iTransColor) : iTransColor;
  const int code = ClassCodeOfMode(pdev->separationModes[1]);
  for (LONG y = area.top; y <= area.bottom; ++y) {
    const BYTE* row = static_cast<const BYTE*>(page.object->pvScan0) +
                      static_cast<std::ptrdiff_t>(y - visible.top) * page.object->lDelta;
    const auto bandRow = static_cast<std::size_t>(y - area.top + phased.padY);
    const std::size_t at = bandRow * static_cast<std::size_t>(phased.width);
    BYTE* maskRow = whiten + bandRow * static_cast<std::size_t>(bandStride);
    for (LONG x = area.left; x <= area.right; ++x) {
      const BYTE* p = row + static_cast<std::ptrdiff_t>(x - visible.left) * 3;
      if (p[0] == (key & 0xFF) && p[1] == ((key >> 8) & 0xFF) && p[2] == ((key >> 16) & 0xFF)) continue;
      const LONG bx = x - area.left + phased.padX;
      maskRow[bx >> 3] = static_cast<BYTE>(maskRow[bx >> 3] | (0x80 >> (bx & 7)));
      std::uint8_t plate = 2, density = 0;
      ClassifyColourForPlates(code, p[0], p[1], p[2], kObjectKindGraphics, &plate, &density);
      // One ink draws every density, whatever its plate.
      (two && plate == 1 ? drumOne : drawn)[at + static_cast<std::size_t>(bx)] = density;
    }
  }
  const PdevRect full{0, 0, phased.width - 1, phased.height - 1};
  imaging::DitherMatrix8x8(drawn, bands, full, phased.width, bandStride);
  if (two) imaging::DitherMatrix8x8(drumOne, bands + bandBytes, full, phased.width, bandStride);
  GlobalFree(densities);

  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pdev->planeStride, &drum1, &drum2);
  const PdevRect band = phased.Band();
  // The pixels the blit covers are knocked out of both plates first.
  ForEachClipRectWithSource(pdev, drum2, area, pdev->planeStride, whiten, band, bandStride, clip, OrRowsIntoPlane);
  if (two)
    ForEachClipRectWithSource(pdev, drum1, area, pdev->planeStride, whiten, band, bandStride, clip, OrRowsIntoPlane);
  BOOL result =
      ForEachClipRectWithSource(pdev, drum2, area, pdev->planeStride, bands, band, bandStride, clip, AndRowsIntoPlane);
  if (two)
    result = ForEachClipRectWithSource(pdev, drum1, area, pdev->planeStride, bands + bandBytes, band, bandStride, clip,
                                       AndRowsIntoPlane);
  GlobalFree(bands);
  return result;
}
