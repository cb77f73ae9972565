#include "imaging/halftone.h"

#include <new>

#include "imaging/density.h"
#include "imaging/scratch.h"
#include "imaging/tone.h"
#include "planes/plane_ops.h"

namespace imaging {

ScreenSpec ScreenSpecOf(const RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle) {
  ScreenSpec params;
  params.dpi = static_cast<int>(resolution);
  params.lines = static_cast<int>(amiLine);
  params.angle = static_cast<int>(amiAngle);
  params.resolutionMode = pdev->resolutionMode;
  params.orientation = pdev->orientation;
  params.smooth = pdev->gradationSmoothing != 0;
  const int imageMode = pdev->separationModes[2];
  params.fixedMatrix = (pdev->flags & kPdevTwoPlanes) && imageMode >= 8 && imageMode <= 17;
  return params;
}

namespace {

JobScreen* ScreenInSlot(void*& slot, const RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle) {
  if (slot) return static_cast<JobScreen*>(slot);
  const ScreenSpec params = ScreenSpecOf(pdev, resolution, amiLine, amiAngle);
  const auto tileBytes = ScreenTileBytes(params);
  const auto blockBytes = tileBytes ? CheckedBytes(*tileBytes + sizeof(JobScreen), 1) : std::nullopt;
  if (!blockBytes) return nullptr;
  void* block = GlobalAlloc(GPTR, *blockBytes);
  if (!block) return nullptr;
  auto* screen = new (block) JobScreen{0, *tileBytes};
  if (!BuildScreen(params, screen->tile(), screen->bytes, &screen->side)) {
    GlobalFree(block);
    return nullptr;
  }
  slot = screen;
  return screen;
}

void FreeSlot(void*& slot) {
  if (slot) GlobalFree(slot);
  slot = nullptr;
}

}  // namespace

JobScreen* ScreenOnFirstUse(RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle) {
  return ScreenInSlot(pdev->image.screenTile, pdev, resolution, amiLine, amiAngle);
}

LONG SecondPlateAngle(LONG amiAngle) { return amiAngle + 45 > 90 ? amiAngle - 45 : amiAngle + 45; }

JobScreen* SecondScreenOnFirstUse(RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle) {
  return ScreenInSlot(pdev->image.secondScreenTile, pdev, resolution, amiLine, SecondPlateAngle(amiAngle));
}

void FreeJobScreens(RenderPdev* pdev) {
  FreeSlot(pdev->image.screenTile);
  FreeSlot(pdev->image.secondScreenTile);
  FreeSlot(pdev->image.separationGrid);
}

DitherContext DitherContextOf(const RenderPdev* pdev) {
  DitherContext c;
  c.resolutionMode = pdev->resolutionMode;
  c.orientation = pdev->orientation;
  c.ontoMask = PaintsOntoMask(pdev->image.blitState);
  c.pageHeight = pdev->planeHeight;
  c.carryKind = pdev->image.diffusionCarryKind;
  return c;
}

bool DiffuseForDevice(RenderPdev* pdev, const DensityImage& src, const BandBuffer& band, const PdevRect& target,
                      DiffusionRows* rows) {
  DiffusionCarry carry;
  carry.row = pdev->image.diffusionCarryRow;
  carry.size = pdev->image.diffusionCarrySize;
  carry.kind = pdev->image.diffusionCarryKind;
  carry.saved = pdev->image.diffusionCarryRect;
  const DiffusionContext context{pdev->resolutionMode, pdev->orientation, PaintsOntoMask(pdev->image.blitState),
                                 pdev->planeHeight,
                                 &carry, rows};
  const bool done = DiffuseError(context, src, band, target);
  pdev->image.diffusionCarryRow = carry.row;
  pdev->image.diffusionCarrySize = carry.size;
  pdev->image.diffusionCarryRect = carry.saved;
  return done;
}

std::optional<HalftoneStart> StartHalftone(const RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows,
                                           BYTE* density, LONG densityStride, const PdevRect& densityRect) {
  if (!pdev || !target || !density || RectIsEmpty(densityRect) || densityRect.left < 0 || densityRect.top < 0)
    return std::nullopt;
  const POINTL origin{pdev->shared.pictureRect.left, pdev->shared.pictureRect.top};
  return HalftoneStart{density + std::int64_t{densityRect.top} * densityStride + densityRect.left,
                       static_cast<LONG>(RectWidth(densityRect)), static_cast<LONG>(RectHeight(densityRect)),
                       densityStride, BandBuffer{target, targetStride, targetRows, origin}};
}

bool ThinnedSheetOf(const RenderPdev* pdev) {
  return ThinnedSheet(pdev->duplex, pdev->sheetCounter, pdev->drum2LightPrint != 0);
}

// Found by reducing a column of 32-bit indices.
bool KeptIndices(std::int64_t total, std::int64_t kept, std::int32_t* out) {
  if (kept >= total) {
    for (std::int64_t i = 0; i < total; ++i) out[i] = static_cast<std::int32_t>(i);
    return true;
  }
  Scratch all(CheckedBytes(static_cast<std::uint64_t>(total), 4));
  if (!all) return false;
  auto* indices = all.as<std::int32_t>();
  for (std::int64_t i = 0; i < total; ++i) indices[i] = static_cast<std::int32_t>(i);
  return CopyRectReduce(all.data(), {0, 0, 3, static_cast<std::int32_t>(total - 1)}, 4, reinterpret_cast<BYTE*>(out),
                        {0, 0, 3, static_cast<std::int32_t>(kept - 1)}, 4) == 1;
}

}  // namespace imaging

using namespace imaging;

namespace {

bool ScreensAlone(std::uint8_t blitState) { return blitState == kBlitMaskFirst || blitState == kBlitMaskHole || blitState == kBlitOneBitInPicture; }

// Tone is left alone for the mask blits of transparent images.
bool SkipsTone(const RenderPdev* pdev) {
  const std::uint32_t previous = pdev->drawing.previousRop4;
  if (previous == kRop4SrcCopy || previous == kRop4StretchCopy) return false;
  const std::uint8_t state = pdev->image.blitState;
  return ScreensAlone(state) || (state == kBlitPaintOverMask && previous == kRop4SrcAnd) ||
         ((state == kBlitPaintOnMaskNew || state == kBlitPaintOnMaskMore) && previous == kRop4SrcPaint);
}

}  // namespace

BOOL HalftoneToPlanes(RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows, const PdevRect& targetRect,
                      BYTE* density, LONG densityStride, const PdevRect& densityRect, LONG amiLine, LONG amiAngle,
                      LONG resolution) {
  const auto start = StartHalftone(pdev, target, targetStride, targetRows, density, densityStride, densityRect);
  if (!start) return FALSE;
  if (!SkipsTone(pdev)) {
    const int preset = PresetOf(pdev);
    ToneAdjust(preset, pdev->contrast, pdev->brightness, start->first, start->width, start->rows, densityStride);
    ApplyToneCurve(pdev->photoMode, preset, start->first, start->width, start->rows, densityStride,
                   pdev->resolutionMode, ThinnedSheetOf(pdev));
  }
  const DensityImage src = start->Source();
  const BandBuffer& band = start->band;
  const bool screenOnly = pdev->shared.operation == kOperationBrushOrMask || ScreensAlone(pdev->image.blitState);
  if (pdev->photoMode != 0 && !(pdev->photoMode == 1 && screenOnly))
    return DiffuseForDevice(pdev, src, band, targetRect) ? TRUE : FALSE;
  JobScreen* screen = ScreenOnFirstUse(pdev, resolution, amiLine, amiAngle);
  if (!screen) return FALSE;
  if (screenOnly) return DitherScreenPlain(src, band, targetRect, screen->view());
  return DitherByScreen(DitherContextOf(pdev), src, band, targetRect, screen->view());
}
