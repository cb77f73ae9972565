// The image entries of density conversion, sources halftoned straight into
// bands, and brush plates.
#include <algorithm>
#include <cstring>

#include "imaging/brush_dither.h"
#include "imaging/density.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "imaging/tone.h"
#include "planes/colour_classes.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

bool KnownFormat(ULONG format) { return format >= BMF_1BPP && format <= BMF_32BPP; }
bool PaletteFormat(ULONG format) { return format >= BMF_1BPP && format <= BMF_8BPP; }
ULONG PaletteNeed(ULONG format) { return format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : 256; }

Conversion ConversionOf(const RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                        const PdevRect& outRect, LONG outStride, const ULONG* palette, ULONG paletteCount) {
  return {src, srcRect, srcStride, outRect, outStride, pdev->drawing.destinationFlipped == 2, palette, paletteCount};
}

}  // namespace

namespace {

// The converters' tone table, then the halftone curve when one is given:
// white stays white through every curve, so a curve applied here is the
// curve applied to the converted image after.
void ToneTable(const RenderPdev* pdev, const BYTE* curve, BYTE tone[256]) {
  ToneClampTable(ToneInputsOf(pdev), tone);
  if (curve)
    for (int i = 0; i < 256; ++i) tone[i] = curve[tone[i]];
}

int ConvertDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                   const PdevRect& outRect, LONG outStride, const ULONG* palette, ULONG paletteCount, ULONG format,
                   const BYTE* curve) {
  using Converter = void (*)(const Conversion&, const BYTE[256], BYTE*);
  static constexpr Converter kConverters[] = {OneInkFrom1Bpp,  OneInkFrom4Bpp,  OneInkFrom8Bpp,
                                              OneInkFrom16Bpp, OneInkFrom24Bpp, OneInkFrom32Bpp};
  if (!KnownFormat(format)) return -1;
  if (IsPluginPdev(pdev) && format == BMF_24BPP) {
    // The plug-in's converter, on the common size of the two rects.
    if (!src || !out || srcRect.left < 0 || srcRect.top < 0 || RectIsEmpty(srcRect) || RectIsEmpty(outRect)) return 1;
    const LONG width = static_cast<LONG>(std::min(RectWidth(srcRect), RectWidth(outRect)));
    const LONG height = static_cast<LONG>(std::min(RectHeight(srcRect), RectHeight(outRect)));
    const bool flipped = pdev->drawing.destinationFlipped == 2;
    BYTE* first = out + std::int64_t{flipped ? outRect.bottom : outRect.top} * outStride + outRect.left;
    const LONG step = flipped ? -outStride : outStride;
    const int result = OemRgbToDensity(
        pdev, src, PdevRect{srcRect.left, srcRect.top, srcRect.left + width - 1, srcRect.top + height - 1}, srcStride,
        first, step);
    // Its tone table is its own: the picture's curve goes over what it wrote.
    if (curve)
      for (LONG y = 0; y < height; ++y)
        for (BYTE *p = first + std::int64_t{y} * step, *end = p + width; p != end; ++p) *p = curve[*p];
    return result;
  }
  BYTE tone[256];
  ToneTable(pdev, curve, tone);
  kConverters[format - BMF_1BPP](ConversionOf(pdev, src, srcRect, srcStride, outRect, outStride, palette, paletteCount),
                                 tone, out);
  return 1;
}

int SeparateDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* outPlate1,
                    BYTE* outPlate2, const PdevRect& outRect, LONG outStride, const ULONG* palette, ULONG paletteCount,
                    ULONG format, const BYTE* curve) {
  using Converter = void (*)(const Conversion&, const PlateMap&, const BYTE[256], BYTE*, BYTE*);
  static constexpr Converter kConverters[] = {TwoInkFrom1Bpp,  TwoInkFrom4Bpp,  TwoInkFrom8Bpp,
                                              TwoInkFrom16Bpp, TwoInkFrom24Bpp, TwoInkFrom32Bpp};
  if (!KnownFormat(format)) return -1;
  if (PaletteFormat(format) && palette && paletteCount >= PaletteNeed(format))
    PaletteToInkDensity(pdev, palette, pdev->shared.paletteInk, PaletteNeed(format));
  const PlateMap map{pdev->shared.paletteInk, ClassCodeOfMode(pdev->separationModes[1])};
  BYTE tone[256];
  ToneTable(pdev, curve, tone);
  kConverters[format - BMF_1BPP](ConversionOf(pdev, src, srcRect, srcStride, outRect, outStride, palette, paletteCount),
                                 map, tone, outPlate1, outPlate2);
  return 1;
}

}  // namespace

int ConvertToDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                     const PdevRect& outRect, LONG outStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  return ConvertDensity(pdev, src, srcRect, srcStride, out, outRect, outStride, palette, paletteCount, format, nullptr);
}

int SeparateToTwoInks(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* outPlate1,
                      BYTE* outPlate2, const PdevRect& outRect, LONG outStride, const ULONG* palette,
                      ULONG paletteCount, ULONG format) {
  return SeparateDensity(pdev, src, srcRect, srcStride, outPlate1, outPlate2, outRect, outStride, palette, paletteCount,
                         format, nullptr);
}

namespace {

// Density of a source in one or two blocks of the reduced size: only the
// rows and columns that the reduction keeps are converted. The blocks hold
// `rows` of the `height` reduced rows at a time, all of them unless the
// picture is converted band by band.
struct DensityBlocks {
  LONG width = 0;
  LONG height = 0;
  LONG rows = 0;
  BYTE* first = nullptr;  // plate 2 (or the only one)
  BYTE* second = nullptr;  // plate 1 on a separated source
  std::int32_t* keptColumns = nullptr;
  std::int32_t* keptRows = nullptr;
  BYTE* line[2] = {};  // a converted source row per plate
  Scratch memory{std::nullopt};
};

// The kept columns and rows (aligned first), then the blocks of rowsAtOnce
// rows (0: all), then a converted source row per plane.
bool ReserveReduced(const PdevRect& srcRect, const PdevRect& bandRect, bool separate, std::int64_t rowsAtOnce,
                    DensityBlocks& blocks) {
  const std::int64_t sw = RectWidth(srcRect), sh = RectHeight(srcRect);
  const std::int64_t w = std::min(sw, RectWidth(bandRect)), h = std::min(sh, RectHeight(bandRect));
  const std::int64_t held = rowsAtOnce > 0 ? std::min(rowsAtOnce, h) : h;
  const int planes = separate ? 2 : 1;
  const auto blockBytes = CheckedBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(held));
  const auto rowBytes = CheckedBytes(static_cast<std::uint64_t>(sw), 1);
  const auto indexBytes = CheckedBytes(static_cast<std::uint64_t>(w + h), 4);
  if (!blockBytes || !rowBytes || !indexBytes) return false;
  const auto all = CheckedBytes(*blockBytes + *rowBytes + *indexBytes, static_cast<std::uint64_t>(planes) + 1);
  if (!blocks.memory.Allocate(all)) return false;
  blocks.keptColumns = blocks.memory.as<std::int32_t>();
  blocks.keptRows = blocks.keptColumns + w;
  BYTE* at = blocks.memory.data() + *indexBytes;
  blocks.first = at;
  blocks.second = separate ? at + *blockBytes : nullptr;
  blocks.line[0] = at + *blockBytes * planes;
  blocks.line[1] = blocks.line[0] + *rowBytes;
  if (!KeptIndices(sw, w, blocks.keptColumns) || !KeptIndices(sh, h, blocks.keptRows)) return false;
  blocks.width = static_cast<LONG>(w);
  blocks.height = static_cast<LONG>(h);
  blocks.rows = static_cast<LONG>(held);
  return true;
}

// Reduced rows from..to - 1 into the blocks' first rows (reversed over the
// whole height on a flipped destination, which is converted whole), through
// the halftone curve.
void ConvertReducedRows(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                        const ULONG* palette, ULONG paletteCount, ULONG format, bool separate, std::int64_t from,
                        std::int64_t to, DensityBlocks& blocks) {
  const std::int64_t sw = RectWidth(srcRect), w = blocks.width, h = blocks.height;
  const int planes = separate ? 2 : 1;
  const bool flipped = pdev->drawing.destinationFlipped == 2;
  const BYTE* curve =
      ToneTableSet[ToneCurveIndex(pdev->photoMode, PresetOf(pdev), pdev->resolutionMode, ThinnedSheetOf(pdev))].data();
  if (w == sw && h == RectHeight(srcRect) && !flipped) {
    // Nothing left out: the rows convert straight into the blocks, in one
    // call, with the palette and the tone table made once.
    const PdevRect rows{srcRect.left, static_cast<std::int32_t>(srcRect.top + from), srcRect.right,
                        static_cast<std::int32_t>(srcRect.top + to - 1)};
    const PdevRect into{0, 0, static_cast<std::int32_t>(w - 1), static_cast<std::int32_t>(to - from - 1)};
    for (int p = 0; p < planes; ++p)  // what a converter leaves stays white
      std::memset(p == 0 ? blocks.first : blocks.second, 0, static_cast<std::size_t>(w * (to - from)));
    if (separate)
      SeparateDensity(pdev, src, rows, srcStride, blocks.second, blocks.first, into, static_cast<LONG>(w), palette,
                      paletteCount, format, curve);
    else
      ConvertDensity(pdev, src, rows, srcStride, blocks.first, into, static_cast<LONG>(w), palette, paletteCount, format,
                     curve);
    return;
  }
  const PdevRect rowRect{0, 0, static_cast<std::int32_t>(sw - 1), 0};
  BYTE* const* rows = blocks.line;
  for (std::int64_t i = from; i < to; ++i) {
    const std::int32_t y = srcRect.top + blocks.keptRows[i];
    const PdevRect one{srcRect.left, y, srcRect.right, y};
    // A palette too short for its format converts nothing: the row stays white.
    std::memset(rows[0], 0, static_cast<std::size_t>(sw) * planes);
    if (separate)  // plate 2 first, plate 1 second
      SeparateDensity(pdev, src, one, srcStride, rows[1], rows[0], rowRect, static_cast<LONG>(sw), palette,
                      paletteCount, format, curve);
    else
      ConvertDensity(pdev, src, one, srcStride, rows[0], rowRect, static_cast<LONG>(sw), palette, paletteCount, format,
                     curve);
    const std::int64_t outRow = flipped ? h - 1 - i : i - from;
    for (int p = 0; p < planes; ++p) {
      BYTE* out = (p == 0 ? blocks.first : blocks.second) + outRow * w;
      for (std::int64_t x = 0; x < w; ++x) out[x] = rows[p][blocks.keptColumns[x]];
    }
  }
}

bool UsableBand(const BYTE* band, const PdevRect& bandRect, LONG bandStride) {
  return band && bandRect.left >= 0 && bandRect.top >= 0 && !RectIsEmpty(bandRect) && bandStride > 0 &&
         RowBytes1bpp(std::int64_t{bandRect.right} + 1) <= bandStride;
}

std::size_t BandBytes(const PdevRect& bandRect, LONG bandStride) {
  return static_cast<std::size_t>(bandStride) * (static_cast<std::size_t>(bandRect.bottom) + 1);
}

// Diffusion or the screen of one density block, its curve applied, into a band.
bool HalftoneBlock(RenderPdev* pdev, BYTE* block, LONG width, LONG height, BYTE* band, const PdevRect& bandRect,
                   LONG bandStride, POINTL origin, ULONG format, JobScreen& screen, bool diffuse) {
  const DensityImage src{block, width, height, width};
  const BandBuffer out{band, bandStride, bandRect.bottom + 1, origin};
  if (diffuse) return DiffuseForDevice(pdev, src, out, bandRect);
  if (format == BMF_1BPP)
    DitherScreenPlain(src, out, bandRect, screen.view());
  else
    DitherByScreen(DitherContextOf(pdev), src, out, bandRect, screen.view());
  return true;
}

enum class Start { Nothing, Failed, Ready };

// What both source entries do first: check the arguments, have the screen
// and reserve the density blocks, rowsAtOnce rows of them (0: all the
// source, converted here).
Start StartSource(RenderPdev* pdev, const BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* src,
                  const PdevRect& srcRect, LONG srcStride, LONG amiLine, LONG amiAngle, LONG resolution,
                  const ULONG* palette, ULONG paletteCount, ULONG format, bool separate, std::int64_t rowsAtOnce,
                  JobScreen*& screen, DensityBlocks& blocks) {
  if (!pdev || !UsableBand(band, bandRect, bandStride) || !src || RectIsEmpty(srcRect) || !KnownFormat(format))
    return Start::Nothing;
  screen = ScreenOnFirstUse(pdev, resolution, amiLine, amiAngle);
  if (!screen || !ReserveReduced(srcRect, bandRect, separate, rowsAtOnce, blocks)) return Start::Failed;
  if (rowsAtOnce == 0)
    ConvertReducedRows(pdev, src, srcRect, srcStride, palette, paletteCount, format, separate, 0, blocks.height,
                       blocks);
  return Start::Ready;
}

// Rows of density held at once when a picture is screened band by band.
std::int64_t BandRowsFor(const PdevRect& bandRect) {
  constexpr std::int64_t kBandBytes = std::int64_t{1} << 20;
  return std::max<std::int64_t>(16, kBandBytes / std::max<std::int64_t>(1, RectWidth(bandRect)));
}

}  // namespace

BOOL HalftoneSourceToPlanes(RenderPdev* pdev, BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* src,
                            const PdevRect& srcRect, LONG srcStride, LONG amiLine, LONG amiAngle, LONG resolution,
                            const ULONG* palette, ULONG paletteCount, ULONG format, POINTL bandOrigin) {
  if (!pdev) return TRUE;
  const bool twoInks = HasTwoPlanes(pdev);
  const std::uint32_t rop4 = pdev->drawing.rop4;
  const bool srcCopy = rop4 == kRop4SrcCopy;
  const bool separate = twoInks && !RopUsesPattern(rop4) &&
                        (!RopIsSourceOnly(rop4) || pdev->separationModes[2] > 1 || pdev->shared.operation != 0 ||
                         (srcCopy && format == BMF_1BPP));
  const bool diffuse = pdev->photoMode == 1 && format != BMF_1BPP && Rop3Of(rop4) == kRop3SrcCopy;
  // The plain screen takes each row alone, so an unflipped picture that is
  // not enlarged in height is converted and screened a band of rows at a time.
  const bool banded = !diffuse && pdev->drawing.destinationFlipped != 2 &&
                      RectHeight(srcRect) >= RectHeight(bandRect) &&
                      (format == BMF_1BPP || DitherContextOf(pdev).resolutionMode != 2);
  JobScreen* screen = nullptr;
  DensityBlocks blocks;
  const Start start = StartSource(pdev, band, bandRect, bandStride, src, srcRect, srcStride, amiLine, amiAngle,
                                  resolution, palette, paletteCount, format, separate,
                                  banded ? BandRowsFor(bandRect) : 0, screen, blocks);
  if (start != Start::Ready) return start == Start::Nothing ? TRUE : FALSE;
  BYTE* band2 = band + BandBytes(bandRect, bandStride);
  BYTE* only = twoInks && srcCopy && pdev->separationModes[2] == 0 ? band2 : band;
  auto halftone = [&](BYTE* block, LONG rows, BYTE* out, const PdevRect& rect) {
    return HalftoneBlock(pdev, block, blocks.width, rows, out, rect, bandStride, bandOrigin, format, *screen, diffuse);
  };
  bool done = true;
  for (LONG from = 0; done && from < blocks.height; from += blocks.rows) {
    const LONG to = std::min(blocks.height, from + blocks.rows);
    PdevRect rect = bandRect;
    if (banded) {
      ConvertReducedRows(pdev, src, srcRect, srcStride, palette, paletteCount, format, separate, from, to, blocks);
      rect.top = bandRect.top + from;
      rect.bottom = bandRect.top + to - 1;
    }
    done = separate ? halftone(blocks.first, to - from, band, rect) && halftone(blocks.second, to - from, band2, rect)
                    : halftone(blocks.first, to - from, only, rect);
  }
  if (done) return TRUE;
  // Nothing half drawn: the bands go back to white.
  std::memset(band, 0xFF, BandBytes(bandRect, bandStride) * (twoInks ? 2 : 1));
  return FALSE;
}

BOOL ScreenSourceToPlane(RenderPdev* pdev, BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* src,
                         const PdevRect& srcRect, LONG srcStride, LONG amiLine, LONG amiAngle, LONG resolution,
                         const ULONG* palette, ULONG paletteCount, ULONG format, POINTL bandOrigin) {
  JobScreen* screen = nullptr;
  DensityBlocks blocks;
  const Start start = StartSource(pdev, band, bandRect, bandStride, src, srcRect, srcStride, amiLine, amiAngle,
                                  resolution, palette, paletteCount, format, false, 0, screen, blocks);
  if (start != Start::Ready) return start == Start::Nothing ? TRUE : FALSE;
  HalftoneBlock(pdev, blocks.first, blocks.width, blocks.height, band, bandRect, bandStride, bandOrigin, format,
                *screen, false);
  if (HasTwoPlanes(pdev)) {
    // The image belongs to the plane of the image separation mode; 0 leaves
    // the other plane as it is under OR.
    const std::size_t bytes = BandBytes(bandRect, bandStride);
    BYTE* band2 = band + bytes;
    if (pdev->separationModes[2] == 0) {
      std::memcpy(band2, band, bytes);
      std::memset(band, 0, bytes);
    } else {
      std::memset(band2, 0, bytes);
    }
  }
  return TRUE;
}

namespace {

constexpr ULONG kWhite = 0xFFFFFF;

// The hatch style of the brush being realized; 6 for a pattern brush.
ULONG HatchStyleOf(const RenderPdev* pdev) {
  const std::uint8_t marker = pdev->drawing.hatchMarker;
  return marker >= 1 && marker <= 6 ? marker - 1u : 6u;
}

// The one-colour form of a brush's own pattern at a density, as a plate.
void OneColourPlate(const RenderPdev* pdev, BYTE density, SIZEL size, const BYTE* pattern, BYTE* plate) {
  if (!BuildBrushPatternBits(density, HatchStyleOf(pdev), size, pattern, plate)) return;
  const std::size_t bytes = static_cast<std::size_t>(RowBytes1bpp(size.cx) * size.cy);
  for (std::size_t i = 0; i < bytes; ++i) plate[i] = static_cast<BYTE>(~plate[i]);
}

bool UsableBrush(const BYTE* pattern, SIZEL size, LONG patternStride, ULONG format) {
  return pattern && size.cx > 0 && size.cy > 0 && KnownFormat(format) && patternStride > 0 &&
         RowBytesForFormat(size.cx, format) > 0;
}

// Density planes of a brush pattern with the operation byte at 1.
bool BrushDensity(RenderPdev* pdev, const BYTE* pattern, SIZEL size, LONG patternStride, const ULONG* palette,
                  ULONG paletteCount, ULONG format, bool separate, Scratch& memory, BYTE** plane1, BYTE** plane2) {
  const auto bytes = CheckedBytes(static_cast<std::uint64_t>(size.cx), static_cast<std::uint64_t>(size.cy), 2);
  if (!memory.Allocate(bytes)) return false;
  *plane1 = memory.data();
  *plane2 = memory.data() + *bytes / 2;
  const PdevRect rect{0, 0, size.cx - 1, size.cy - 1};
  pdev->shared.operation = kOperationBrushOrMask;
  if (separate)
    SeparateToTwoInks(pdev, pattern, rect, patternStride, *plane1, *plane2, rect, size.cx, palette, paletteCount, format);
  else
    ConvertToDensity(pdev, pattern, rect, patternStride, *plane1, rect, size.cx, palette, paletteCount, format);
  pdev->shared.operation = kOperationIdle;
  return true;
}

bool OneColourCandidate(const ULONG* palette, ULONG paletteCount, ULONG format) {
  return format == BMF_1BPP && palette && paletteCount >= 2 &&
         !((palette[0] & kWhite) == kWhite && (palette[1] & kWhite) == kWhite);
}

}  // namespace

BOOL RealizeBrushOnePlate(RenderPdev* pdev, BYTE* plate, const BYTE* pattern, SIZEL size, LONG patternStride,
                          const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!pdev || !plate || !UsableBrush(pattern, size, patternStride, format)) return TRUE;
  const bool twoPlanes = HasTwoPlanes(pdev) && PaletteFormat(format);
  Scratch memory(std::nullopt);
  BYTE *density = nullptr, *other = nullptr;
  if (!BrushDensity(pdev, pattern, size, patternStride, palette, paletteCount, format, twoPlanes, memory, &density,
                    &other))
    return FALSE;
  const std::size_t pixels = static_cast<std::size_t>(size.cx) * size.cy;
  if (twoPlanes)  // one plane of both plates' densities
    for (std::size_t i = 0; i < pixels; ++i) density[i] = std::max(density[i], other[i]);
  const LONG plateStride = static_cast<LONG>(RowBytes1bpp(size.cx));
  DitherMatrix8x8(density, plate, {0, 0, size.cx - 1, size.cy - 1}, size.cx, plateStride);
  if (OneColourCandidate(palette, paletteCount, format) && PlateIsWhite(plate, size.cx, size.cy, plateStride)) {
    const ULONG first = palette[0] & kWhite, second = palette[1] & kWhite;
    if (first != 0 && first != kWhite && second == kWhite) {
      BYTE d = 0;
      if (twoPlanes)
        d = pdev->shared.paletteInk[0].density;
      else
        RgbToDensity(&palette[0], &d, 1);
      OneColourPlate(pdev, d, size, pattern, plate);
    }
  }
  return TRUE;
}

BOOL RealizeBrushTwoPlates(RenderPdev* pdev, BYTE* plate1, BYTE* plate2, const BYTE* pattern, SIZEL size,
                           LONG patternStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!pdev || !plate1 || !plate2 || !UsableBrush(pattern, size, patternStride, format)) return TRUE;
  Scratch memory(std::nullopt);
  BYTE *density1 = nullptr, *density2 = nullptr;
  if (!BrushDensity(pdev, pattern, size, patternStride, palette, paletteCount, format, true, memory, &density1,
                    &density2))
    return FALSE;
  const LONG plateStride = static_cast<LONG>(RowBytes1bpp(size.cx));
  const PdevRect rect{0, 0, size.cx - 1, size.cy - 1};
  DitherMatrix8x8(density1, plate1, rect, size.cx, plateStride);
  DitherMatrix8x8(density2, plate2, rect, size.cx, plateStride);
  if (!OneColourCandidate(palette, paletteCount, format)) return TRUE;
  const InkDensityPair* pairs = pdev->shared.paletteInk;
  for (BYTE plateNumber : {BYTE{2}, BYTE{1}}) {
    BYTE* plate = plateNumber == 2 ? plate2 : plate1;
    if (!PlateIsWhite(plate, size.cx, size.cy, plateStride)) continue;
    for (int k = 0; k < 2; ++k)
      if (pairs[k].plate == plateNumber && pairs[k].density != 0) {
        OneColourPlate(pdev, pairs[k].density, size, pattern, plate);
        return TRUE;
      }
  }
  return TRUE;
}
