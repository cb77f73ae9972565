#include "imaging/two_plate_render.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/density.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "imaging/tone.h"
#include "planes/plane_ops.h"

namespace imaging {

namespace {

// Brightness and contrast of the pre-map: slope by contrast level, offset by
// brightness level (level 0 adds nothing), foot straightened below 10.
void BrightnessContrastPreMap(BYTE map[256], int contrast, int brightness) {
  static constexpr int kSlope[7] = {50, 67, 80, 100, 125, 150, 200};
  static constexpr int kOffset[8] = {0, 90, 60, 30, 0, -30, -60, -90};
  const int slope = kSlope[std::clamp(contrast, 1, 7) - 1];
  const int offset = kOffset[std::clamp(brightness, 0, 7)];
  map[0] = 0;
  for (int i = 1; i < 256; ++i) map[i] = static_cast<BYTE>(std::clamp(128 + (i - 128) * slope / 100 + offset, 0, 255));
  for (int i = 1; i < 10; ++i) map[i] = static_cast<BYTE>(i * map[10] / 10);
}

int ImageModeOf(const RenderPdev* pdev) { return pdev->separationModes[2]; }

}  // namespace

SeparationGrid* SeparationGridOf(RenderPdev* pdev, int mode) {
  auto* grid = static_cast<SeparationGrid*>(pdev->image.separationGrid);
  if (!grid) {
    void* block = GlobalAlloc(GPTR, sizeof(SeparationGrid));
    if (!block) return nullptr;
    grid = new (block) SeparationGrid{};
    pdev->image.separationGrid = grid;
  }
  if (!grid->built) {
    BYTE identity[256], brightnessContrast[256];
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<BYTE>(i);
    BrightnessContrastPreMap(brightnessContrast, pdev->contrast, pdev->brightness);
    const BYTE* preMap = ChooseSeparationPreMap(mode, PresetOf(pdev), identity, ToneTableSet[2].data(),
                                                ToneTableSet[3].data(), brightnessContrast);
    EnsureSeparationGrid(*grid, mode, {ToneTableSet[0].data(), ToneTableSet[1].data()}, preMap);
  }
  return grid;
}

SeparationLine SeparationLineOf(const RenderPdev* pdev) {
  SeparationLine line;
  line.mode = ImageModeOf(pdev);
  line.maskMode = IsSeparationMaskMode(pdev->image.blitState, pdev->drawing.rop4, pdev->shared.blackWhiteSource);
  line.skipPreMap = pdev->image.diffusionCarryKind == 1 || pdev->shared.blackWhiteSource != 0;
  line.toneCurve = ToneTableSet[static_cast<std::size_t>(
                                    SeparationToneCurveIndex(pdev->photoMode, pdev->resolutionMode))]
                       .data();
  line.drum1Lightness = pdev->drum1Lab[0];
  line.drum2Lightness = pdev->drum2Lab[0];
  line.darkerDrumStrength = pdev->image.darkerDrumStrength;
  return line;
}

namespace {

// How a plate becomes bits.
enum class PlateHalftone { Screen, PlainScreen, Diffuse };

// One plate on its drum: where its bits go (null: the plate is not drawn),
// its screen and its error rows.
struct PlateOut {
  BYTE* plane = nullptr;
  JobScreen* screen = nullptr;
  DiffusionRows rows;
  ~PlateOut() { FreeDiffusionRows(rows); }
};

// Density rows of both plates for picture row `row` (width bytes each).
struct PlateRows {
  void (*separate)(void* context, LONG row, BYTE* plate1, BYTE* plate2) = nullptr;
  void* context = nullptr;
  LONG width = 0;
  LONG height = 0;
};

void WhitenRows(const TwoPlateTarget& target) {
  const std::int64_t first = std::max<std::int64_t>(target.rect.top, 0);
  const std::int64_t last = std::min<std::int64_t>(target.rect.bottom, std::int64_t{target.rows} - 1);
  if (last < first) return;
  const auto bytes = static_cast<std::size_t>((last - first + 1) * target.stride);
  for (BYTE* plane : {target.drum1, target.drum2}) std::memset(plane + first * target.stride, 0xFF, bytes);
}

// First target row (from the rectangle's top) whose source row is at least d.
std::int64_t FirstTargetRow(std::int64_t d, std::int64_t sourceRows, std::int64_t targetRows) {
  return (d * targetRows + sourceRows - 1) / sourceRows;
}

bool UsableTarget(const TwoPlateTarget& target) {
  return target.drum1 && target.drum2 && target.stride > 0 && target.rows > 0 && !RectIsEmpty(target.rect) &&
         target.rect.left >= 0 && target.rect.top >= 0 &&
         RowBytes1bpp(std::int64_t{target.rect.right} + 1) <= target.stride;
}

// The band walk: bandRows picture rows made into density at a time (with one
// row either side for the row pairs of the interlaced halftones) and
// halftoned into the target rows they cover. The first band writes from
// buffer row 0 on, as one call over the whole picture would; later bands
// start at their own first row. FALSE when a buffer cannot be had.
bool WalkPlates(RenderPdev* pdev, const PlateRows& rows, const TwoPlateTarget& target, PlateOut (&plates)[2],
                PlateHalftone kind, bool flipped, LONG bandRows) {
  const std::int64_t w = rows.width, h = rows.height;
  const std::int64_t targetHeight = RectHeight(target.rect);
  const std::int64_t blockRows = std::min<std::int64_t>(bandRows, h) + 2;
  const auto plateBytes = CheckedBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(blockRows));
  Scratch memory(plateBytes ? CheckedBytes(*plateBytes, 2) : std::nullopt);
  if (!memory) return false;
  BYTE* density[2] = {memory.data(), memory.data() + *plateBytes};
  const DitherContext dither = DitherContextOf(pdev);
  // Rows the block holds from the band before (first row, last row): the
  // rows either side of a band boundary are separated once.
  std::int64_t held0 = 0, held1 = -1;
  for (std::int64_t d0 = 0; d0 < h; d0 += bandRows) {
    const std::int64_t d1 = std::min<std::int64_t>(h - 1, d0 + bandRows - 1);
    const std::int64_t j0 = FirstTargetRow(d0, h, targetHeight);
    const std::int64_t j1 = FirstTargetRow(d1 + 1, h, targetHeight) - 1;
    if (j1 < j0) continue;  // a picture taller than its target skips rows
    const std::int64_t r0 = std::max<std::int64_t>(d0 - 1, 0), r1 = std::min<std::int64_t>(d1 + 1, h - 1);
    for (std::int64_t r = r0; r <= r1; ++r) {
      const std::size_t at = static_cast<std::size_t>((r - r0) * w);
      if (r >= held0 && r <= held1 && r0 > held0) {
        const std::size_t from = static_cast<std::size_t>((r - held0) * w);
        for (BYTE* plate : density) std::memmove(plate + at, plate + from, static_cast<std::size_t>(w));
      } else {
        rows.separate(rows.context, static_cast<LONG>(flipped ? h - 1 - r : r), density[0] + at, density[1] + at);
      }
    }
    held0 = r0;
    held1 = r1;
    const std::int64_t shift = j0 == 0 ? 0 : target.rect.top + j0;
    if (shift >= target.rows) break;
    const std::int64_t bandEnd = std::min<std::int64_t>(target.rect.top + j1 + 1, target.rows);
    PdevRect rect = target.rect;
    rect.top = static_cast<std::int32_t>(rect.top - shift);
    rect.bottom = static_cast<std::int32_t>(rect.bottom - shift);
    for (int p = 0; p < 2; ++p) {
      if (!plates[p].plane) continue;
      const DensityImage src{density[p], static_cast<LONG>(w), static_cast<LONG>(h), static_cast<LONG>(w),
                             static_cast<LONG>(r0)};
      const BandBuffer band{plates[p].plane + shift * target.stride, target.stride, static_cast<LONG>(bandEnd - shift),
                            {target.origin.x, static_cast<LONG>(target.origin.y + shift)}};
      bool done = true;
      if (kind == PlateHalftone::Diffuse)
        done = DiffuseForDevice(pdev, src, band, rect, &plates[p].rows);
      else if (kind == PlateHalftone::PlainScreen)
        DitherScreenPlain(src, band, rect, plates[p].screen->view());
      else
        done = DitherByScreen(dither, src, band, rect, plates[p].screen->view()) != FALSE;
      if (!done) return false;
    }
  }
  return true;
}

// The separation of RGB rows by the device's mode.
struct SeparatedRows {
  const RgbPicture* picture;
  SeparationGrid* grid;
  SeparationLine line;
  BYTE* bgr;
};

void SeparateRgbRow(void* context, LONG row, BYTE* plate1, BYTE* plate2) {
  auto& s = *static_cast<SeparatedRows*>(context);
  const auto width = static_cast<std::size_t>(s.picture->width);
  if (!s.picture->fetch(s.picture->context, row, s.bgr)) std::memset(s.bgr, 0xFF, 3 * width);
  SeparateLineTwoPlates(s.grid, s.line, s.bgr, width, plate1, plate2);
}

}  // namespace

BOOL HalftoneTwoPlates(RenderPdev* pdev, const RgbPicture& picture, const TwoPlateTarget& target,
                       const TwoPlateHalftone& how, LONG bandRows) {
  if (!pdev || !picture.fetch || picture.width <= 0 || picture.height <= 0 || !UsableTarget(target) || bandRows <= 0)
    return TRUE;
  const int mode = ImageModeOf(pdev);
  SeparationGrid* grid = nullptr;
  if (mode >= 2 && mode <= 7 && !(grid = SeparationGridOf(pdev, mode))) return FALSE;
  const bool exchanged = (mode < 20 && kSeparationModeFlags.exchangePlanes[static_cast<std::size_t>(mode)] != 0) !=
                         how.swapPlates;
  PlateOut plates[2];
  plates[0].plane = exchanged ? target.drum2 : target.drum1;
  plates[1].plane = exchanged ? target.drum1 : target.drum2;
  const std::int64_t targetWidth = RectWidth(target.rect);
  if (how.diffuse) {
    if (!AllocDiffusionRows(plates[0].rows, targetWidth) || !AllocDiffusionRows(plates[1].rows, targetWidth)) return FALSE;
  } else {
    plates[0].screen = SecondScreenOnFirstUse(pdev, how.resolution, how.amiLine, how.amiAngle);
    plates[1].screen = ScreenOnFirstUse(pdev, how.resolution, how.amiLine, how.amiAngle);
    if (!plates[0].screen || !plates[1].screen) return FALSE;
  }
  Scratch line(CheckedBytes(static_cast<std::uint64_t>(picture.width), 3));
  if (!line) return FALSE;
  SeparatedRows separated{&picture, grid, SeparationLineOf(pdev), line.data()};
  const PlateRows rows{SeparateRgbRow, &separated, picture.width, picture.height};
  if (WalkPlates(pdev, rows, target, plates, how.diffuse ? PlateHalftone::Diffuse : PlateHalftone::Screen, how.flipped,
                 bandRows))
    return TRUE;
  WhitenRows(target);
  return FALSE;
}

namespace {

// Rows of a 24-bit buffer.
struct BufferRows {
  const BYTE* bits;
  LONG stride;
  LONG width;
};

bool FetchBufferRow(void* context, LONG row, BYTE* bgr) {
  const auto& b = *static_cast<const BufferRows*>(context);
  std::memcpy(bgr, b.bits + static_cast<std::ptrdiff_t>(row) * b.stride, 3 * static_cast<std::size_t>(b.width));
  return true;
}

// A grey or two-colour picture's rows by the colour classes of the graphics
// mode, or as one density (plate 1's row) when one plane takes it all.
struct ClassRows {
  RenderPdev* pdev;
  const RgbBuffer* picture;
  bool onePlane;
};

void ClassRow(void* context, LONG row, BYTE* plate1, BYTE* plate2) {
  const auto& c = *static_cast<const ClassRows*>(context);
  const PdevRect one{0, row, c.picture->width - 1, row};
  const PdevRect out{0, 0, c.picture->width - 1, 0};
  std::memset(plate1, 0, static_cast<std::size_t>(c.picture->width));
  std::memset(plate2, 0, static_cast<std::size_t>(c.picture->width));
  if (c.onePlane)
    ConvertToDensity(c.pdev, c.picture->bits, one, c.picture->stride, plate1, out, c.picture->width, nullptr, 0,
                     BMF_24BPP);
  else
    SeparateToTwoInks(c.pdev, c.picture->bits, one, c.picture->stride, plate1, plate2, out, c.picture->width,
                      nullptr, 0, BMF_24BPP);
}

bool UsablePicture(const RgbBuffer& picture) {
  return picture.bits && picture.width > 0 && picture.height > 0 && picture.stride >= 3 * std::int64_t{picture.width};
}

}  // namespace

BOOL RenderRgbBandTwoPlates(RenderPdev* pdev, const RgbBuffer& picture, const TwoPlateTarget& target,
                            LONG bandRows) {
  if (!pdev || !UsablePicture(picture)) return TRUE;
  BufferRows rows{picture.bits, picture.stride, picture.width};
  const RgbPicture source{picture.width, picture.height, FetchBufferRow, &rows};
  TwoPlateHalftone how;
  how.diffuse = pdev->photoMode == 1;
  how.resolution = pdev->resolutionX;
  how.amiLine = pdev->amiLine;
  how.amiAngle = pdev->amiAngle;
  how.flipped = pdev->drawing.destinationFlipped == 2;
  return HalftoneTwoPlates(pdev, source, target, how, bandRows);
}

BOOL RenderGrayBandTwoPlates(RenderPdev* pdev, const RgbBuffer& picture, const TwoPlateTarget& target,
                             const PdevRect& pageRect, LONG bandRows) {
  if (!pdev || !UsablePicture(picture) || !UsableTarget(target) || bandRows <= 0) return TRUE;
  JobScreen* screen = ScreenOnFirstUse(pdev, pdev->resolutionX, pdev->amiLine, pdev->amiAngle);
  if (!screen) return FALSE;
  // A paint over a fresh mask that meets the last drawing goes to one plane.
  const RECTL& last = pdev->drawing.lastDrawnRect;
  const bool meetsLast = pageRect.left < last.right && last.left <= pageRect.right && pageRect.top < last.bottom &&
                         last.top <= pageRect.bottom;
  const bool onePlane = pdev->drawing.previousRop4 == kRop4SrcAnd && pdev->drawing.rop4 == kRop4PatSelect && meetsLast;
  PlateOut plates[2];
  plates[0].screen = plates[1].screen = screen;
  if (onePlane) {
    plates[0].plane = pdev->drawing.plateSelector == 1 ? target.drum1 : target.drum2;
  } else {
    plates[0].plane = target.drum1;
    plates[1].plane = target.drum2;
  }
  ClassRows classes{pdev, &picture, onePlane};
  const PlateRows rows{ClassRow, &classes, picture.width, picture.height};
  const BYTE operation = pdev->shared.operation;
  pdev->shared.operation = kOperationBrushOrMask;
  const bool done = WalkPlates(pdev, rows, target, plates, PlateHalftone::PlainScreen, false, bandRows);
  pdev->shared.operation = operation;
  if (done) return TRUE;
  WhitenRows(target);
  return FALSE;
}

BOOL ClassifyPendingRgb(RenderPdev* pdev, const RgbBuffer& picture, DWORD histogram[256]) {
  std::fill(histogram, histogram + 256, DWORD{0});
  if (!pdev || !UsablePicture(picture)) return FALSE;
  const BOOL twoColours =
      RgbDensityHistogram(picture.bits, {0, 0, picture.width - 1, picture.height - 1}, picture.stride, histogram);
  pdev->shared.operation = twoColours ? kOperationBrushOrMask : kOperationIdle;
  const auto levels = std::count_if(histogram, histogram + 255, [](DWORD n) { return n != 0; });
  if (!twoColours && levels > 1) return TRUE;
  pdev->shared.operation = kOperationBrushOrMask;
  pdev->shared.pictureFlag = 0;
  return FALSE;
}

}  // namespace imaging

using namespace imaging;

namespace {

// Source rows and columns that survive the reduction, converted to RGB.
struct ReducedSource {
  const BYTE* src;
  PdevRect srcRect;
  LONG srcStride;
  const ULONG* palette;
  ULONG paletteCount;
  ULONG format;
  const std::int32_t* keptColumns;
  const std::int32_t* keptRows;
  std::int64_t keptWidth;
  BYTE* wholeRow;  // null when every column is kept
};

bool FetchReducedRow(void* context, LONG row, BYTE* bgr) {
  const auto& s = *static_cast<const ReducedSource*>(context);
  if (s.format == BMF_24BPP && !s.wholeRow) {  // already blue, green, red
    const BYTE* bits = s.src + (std::int64_t{s.srcRect.top} + s.keptRows[row]) * std::int64_t{s.srcStride} +
                       3 * std::int64_t{s.srcRect.left};
    std::memcpy(bgr, bits, 3 * static_cast<std::size_t>(s.keptWidth));
    return true;
  }
  BYTE* out = s.wholeRow ? s.wholeRow : bgr;
  if (!ExpandRowTo24(s.src, s.srcRect, s.srcStride, s.keptRows[row], out, s.palette, s.paletteCount, s.format))
    return false;
  if (s.wholeRow) {
    for (std::int64_t x = 0; x < s.keptWidth; ++x) {
      const BYTE* from = s.wholeRow + 3 * static_cast<std::ptrdiff_t>(s.keptColumns[x]);
      std::memcpy(bgr + 3 * x, from, 3);
    }
  }
  return true;
}

}  // namespace

BOOL RenderImageTwoPlates(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, const PdevRect& targetRect,
                          LONG targetStride, POINTL bandOrigin, const BYTE* src, const PdevRect& srcRect,
                          LONG srcStride, const ULONG* palette, ULONG paletteCount, ULONG format, LONG amiLine,
                          LONG amiAngle, LONG resolution, BOOL swapPlates) {
  if (!pdev || !drum1Plane || !drum2Plane || RectIsEmpty(targetRect) || targetRect.left < 0 || targetRect.top < 0 ||
      targetStride <= 0 || RowBytes1bpp(std::int64_t{targetRect.right} + 1) > targetStride || !src ||
      RectIsEmpty(srcRect) || srcRect.left < 0 || format < BMF_1BPP || format > BMF_32BPP)
    return TRUE;
  const std::int64_t sw = RectWidth(srcRect), sh = RectHeight(srcRect);
  const std::int64_t w = std::min(sw, RectWidth(targetRect)), h = std::min(sh, RectHeight(targetRect));
  // Kept columns (room for all sw), kept rows, and one whole converted
  // source row when columns are dropped.
  const auto indexBytes = CheckedBytes(static_cast<std::uint64_t>(sw + h), 4);
  const auto rowBytes = w < sw ? CheckedBytes(static_cast<std::uint64_t>(sw), 3) : std::optional<std::size_t>(0);
  const auto all = indexBytes && rowBytes ? CheckedBytes(*indexBytes + *rowBytes, 1) : std::nullopt;
  Scratch memory(all);
  if (!memory) return FALSE;
  auto* keptColumns = memory.as<std::int32_t>();
  std::int32_t* keptRows = keptColumns + sw;
  if (!KeptIndices(sw, w, keptColumns) || !KeptIndices(sh, h, keptRows)) return FALSE;
  ReducedSource source{src,      srcRect,  srcStride, palette, paletteCount, format, keptColumns,
                       keptRows, w,        w < sw ? memory.data() + *indexBytes : nullptr};
  const RgbPicture picture{static_cast<LONG>(w), static_cast<LONG>(h), FetchReducedRow, &source};
  TwoPlateTarget target;
  target.drum1 = drum1Plane;
  target.drum2 = drum2Plane;
  target.stride = targetStride;
  target.rows = targetRect.bottom + 1;
  target.rect = targetRect;
  target.origin = {bandOrigin.x, bandOrigin.y};
  TwoPlateHalftone how;
  how.diffuse = pdev->photoMode == 1 && format != BMF_1BPP && Rop3Of(pdev->drawing.rop4) == kRop3SrcCopy;
  how.resolution = resolution;
  how.amiLine = amiLine;
  how.amiAngle = amiAngle;
  how.flipped = pdev->drawing.destinationFlipped == 2;
  how.swapPlates = swapPlates != FALSE;
  return HalftoneTwoPlates(pdev, picture, target, how);
}
