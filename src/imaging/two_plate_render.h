// Two-ink pictures to ink: the device's separation grid and line settings,
// and the band walk that separates an RGB picture row by row into two plate
// densities and halftones each plate with its own screen, or by diffusion.
#pragma once

#include <cstdint>

#include "imaging/separation.h"
#include "planes/pdev_record.h"

namespace imaging {

// The device's grid and pre-map, built with the first picture's mode (2..7)
// and the document's tone settings, kept until FreeJobScreens. Null when the
// heap refuses the grid; the picture then fails.
SeparationGrid* SeparationGridOf(RenderPdev* pdev, int mode);
// The line settings of the device's image separation mode as drawn now:
// mask mode, pre-map, tone curve q, drum lightness and darker-drum strength.
SeparationLine SeparationLineOf(const RenderPdev* pdev);

// Rows of an RGB picture: fetch writes row `row` (0..height - 1) as width
// blue, green, red pixels; false leaves it white.
struct RgbPicture {
  LONG width = 0;
  LONG height = 0;
  bool (*fetch)(void* context, LONG row, BYTE* bgr) = nullptr;
  void* context = nullptr;
};

// Where the plates go: the drum-1 and drum-2 one-bit buffers (rows of stride
// bytes, rows of them), the target rectangle in them (left and top at least
// 0) and the page position of buffer pixel (0, 0), the screens' phase.
struct TwoPlateTarget {
  BYTE* drum1 = nullptr;
  BYTE* drum2 = nullptr;
  LONG stride = 0;
  LONG rows = 0;
  PdevRect rect = {0, 0, -1, -1};
  POINTL origin = {0, 0};
};

// How the plates are halftoned.
struct TwoPlateHalftone {
  bool diffuse = false;  // error diffusion, else each plate's screen
  LONG resolution = 600;
  LONG amiLine = 0;
  LONG amiAngle = 0;
  bool flipped = false;  // picture rows land from the bottom up
  bool swapPlates = false;  // plate 1 to drum 2 (besides the exchange of modes 5..7)
};

// Density rows separated per band of picture rows.
inline constexpr LONG kTwoPlateBandRows = 64;

// Separates the picture with the device's image separation mode and
// halftones it into the target, bandRows picture rows at a time; the bits do
// not depend on bandRows (the diffusion's error rows run on from band to
// band). Plate 1 goes to drum 1 with the second-angle screen and plate 2 to
// drum 2 with the job's screen, the drums exchanged for modes 5..7. FALSE,
// with the target rows whitened, when the grid, a screen or a buffer cannot
// be had.
BOOL HalftoneTwoPlates(RenderPdev* pdev, const RgbPicture& picture, const TwoPlateTarget& target,
                       const TwoPlateHalftone& how, LONG bandRows = kTwoPlateBandRows);

// A 24-bit picture in memory: width x height pixels, rows stride bytes apart.
struct RgbBuffer {
  const BYTE* bits = nullptr;
  LONG width = 0;
  LONG height = 0;
  LONG stride = 0;
};

// The cached picture of a two-ink flush (at the cache resolution, drawn to the
// whole target rect) separated and halftoned into both plates: diffusion
// with photo mode 1, else each plate's screen at the device's lines and
// angles; rows bottom-up when the flipped-target byte is 2. FALSE, rows
// whitened, when the grid, a screen or a buffer cannot be had.
BOOL RenderRgbBandTwoPlates(RenderPdev* pdev, const RgbBuffer& picture, const TwoPlateTarget& target,
                            LONG bandRows = kTwoPlateBandRows);
// A single-level or two-colour picture: each pixel to its class plate, both
// plates by the plain dither of the job's screen. A paint over a fresh mask
// (previous ROP4 SRCAND, current PSDPxax) whose page rect meets the last
// drawn rect goes to one density on the plate the drum choice (plate
// selector 1: drum 1, else drum 2) names. FALSE when the screen or a buffer
// cannot be had.
BOOL RenderGrayBandTwoPlates(RenderPdev* pdev, const RgbBuffer& picture, const TwoPlateTarget& target,
                             const PdevRect& pageRect, LONG bandRows = kTwoPlateBandRows);
// The histogram of the picture's luminance densities; TRUE for a picture
// (three or more colours and several levels among 0..254). Otherwise the
// operation byte becomes 1 and the picture flag 0; the operation byte is 1
// for two colours or fewer either way.
BOOL ClassifyPendingRgb(RenderPdev* pdev, const RgbBuffer& picture, DWORD histogram[256]);

}  // namespace imaging
