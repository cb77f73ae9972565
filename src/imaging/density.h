// Sources to ink density: the one-ink and two-ink converters per source
// format, the tone of converted pixels, and the histograms that tell
// pictures from line art.
#pragma once

#include <cstdint>

#include "imaging/tone.h"
#include "planes/pdev_record.h"

namespace imaging {

// The tone inputs of the device: operation byte, hatch marker, black-and-
// white source, ROP4, preset, contrast and brightness.
ToneInputs ToneInputsOf(const RenderPdev* pdev);
int PresetOf(const RenderPdev* pdev);

// A conversion: the source rect of src, written to out from outRect's
// top-left corner (from its bottom row upward when flipped). The common size
// of the two rects is converted; rows are stride bytes apart.
struct Conversion {
  const BYTE* src;
  PdevRect srcRect;
  LONG srcStride;
  PdevRect outRect;
  LONG outStride;
  bool flipped;
  const ULONG* palette;
  ULONG paletteCount;
};

// One format each. A palette with fewer entries than the format needs leaves
// the out image untouched.
void OneInkFrom1Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
void OneInkFrom4Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
void OneInkFrom8Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
void OneInkFrom16Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
void OneInkFrom24Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
void OneInkFrom32Bpp(const Conversion& c, const BYTE tone[256], BYTE* out);
// OneInkFrom24Bpp of pixels that hold red, green, blue when redFirst.
void OneInkFrom24BppOrdered(const Conversion& c, const BYTE tone[256], BYTE* out, bool redFirst);
// Each 24-bit pixel classified for the plates (object kind 0): its density
// to out, untoned. The plate of the last pixel comes back (plate itself when
// there are none).
std::uint8_t PlateDensityFrom24Bpp(const Conversion& c, int classCode, bool redFirst, BYTE* out, std::uint8_t plate);

// Two-ink converters: (plate, density) of every palette entry, or the
// classifier's code for direct colours.
struct PlateMap {
  const InkDensityPair* palette;  // palette formats
  int classCode;  // direct colours, object kind 0
};
void TwoInkFrom1Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);
void TwoInkFrom4Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);
void TwoInkFrom8Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);
void TwoInkFrom16Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);
void TwoInkFrom24Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);
void TwoInkFrom32Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2);

// Counts each density of the rect.
void DensityHistogram(const BYTE* image, const PdevRect& rect, LONG stride, DWORD counts[256]);
// Counts the luminance density of each 24-bit pixel of the rect; TRUE when
// the rect has at most two distinct colours.
BOOL RgbDensityHistogram(const BYTE* image, const PdevRect& rect, LONG stride, DWORD counts[256]);
int CountDensityLevels(const DWORD counts[256]);
// More than one non-zero count among densities 0..254.
bool HistogramHasSeveralLevels(const DWORD counts[256]);
BOOL HasManyLevels(LONG width, LONG height, LONG xResolution, LONG yResolution, const DWORD counts[256]);

}  // namespace imaging
