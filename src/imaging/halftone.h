// Halftoning for the device: the job's screen built on first use, the
// dither and diffusion contexts of the device record, and the halftone of a
// density image into one-bit planes.
#pragma once

#include <cstddef>
#include <optional>

#include "imaging/error_diffusion.h"
#include "imaging/screen_dither.h"
#include "imaging/screens.h"
#include "planes/pdev_record.h"

namespace imaging {

// The job's screen behind pdev->image.screenTile: the side, then side x side
// thresholds in the same heap block.
struct JobScreen {
  LONG side;
  std::size_t bytes;
  BYTE* tile() { return reinterpret_cast<BYTE*>(this + 1); }
  ScreenTile view() { return {tile(), side}; }
};

// The screen parameters of the device at a resolution, line count and angle.
ScreenSpec ScreenSpecOf(const RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle);
// The job's screen, built on the first call and kept; null when its memory
// cannot be had.
JobScreen* ScreenOnFirstUse(RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle);
// The plate-1 screen of two-ink pictures, at the second angle (AmiAngle + 45,
// or - 45 above 90), built on the first call and kept like the job's screen.
LONG SecondPlateAngle(LONG amiAngle);
JobScreen* SecondScreenOnFirstUse(RenderPdev* pdev, LONG resolution, LONG amiLine, LONG amiAngle);
// Frees both screens and the separation grid and forgets them (DrvDisableSurface).
void FreeJobScreens(RenderPdev* pdev);

DitherContext DitherContextOf(const RenderPdev* pdev);

// What a picture halftoner starts from: the density rect (first byte, width,
// rows; tone curves change it in place) and the band, its origin at the
// picture's page position. nullopt for a missing buffer or a bad rect.
struct HalftoneStart {
  BYTE* first;
  LONG width;
  LONG rows;
  LONG stride;
  BandBuffer band;
  DensityImage Source() const { return DensityImage{first, width, rows, stride}; }
};
std::optional<HalftoneStart> StartHalftone(const RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows,
                                           BYTE* density, LONG densityStride, const PdevRect& densityRect);
// DiffuseError with the device's resolution mode, orientation, blit state,
// page height and interlaced carry; rows for a picture diffused in bands.
bool DiffuseForDevice(RenderPdev* pdev, const DensityImage& src, const BandBuffer& band, const PdevRect& target,
                      DiffusionRows* rows = nullptr);
bool ThinnedSheetOf(const RenderPdev* pdev);

// The source indices (rows or columns, out[0..kept - 1]) that survive
// reducing total to kept as CopyRectReduce reduces; all of them when kept is
// not smaller. False when the working column cannot be allocated.
bool KeptIndices(std::int64_t total, std::int64_t kept, std::int32_t* out);

}  // namespace imaging

// Halftones a density image (densityRect of density) into the one-bit target
// (targetRows rows of targetStride bytes) at targetRect, its screen phase
// from the picture rectangle: tone, then diffusion or the screen by the photo
// mode, operation byte and blit state. The dither's result, TRUE after
// diffusion, FALSE when the screen or the error rows cannot be had.
BOOL HalftoneToPlanes(RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows, const PdevRect& targetRect,
                      BYTE* density, LONG densityStride, const PdevRect& densityRect, LONG amiLine, LONG amiAngle,
                      LONG resolution);
