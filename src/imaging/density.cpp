#include "imaging/density.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "planes/colour_classes.h"
#include "planes/plane_ops.h"

namespace imaging {

int PresetOf(const RenderPdev* pdev) { return TonePreset(pdev->photoKind, pdev->brightness, pdev->contrast); }

ToneInputs ToneInputsOf(const RenderPdev* pdev) {
  ToneInputs in;
  in.operation = pdev->shared.operation;
  in.hatchMarker = pdev->drawing.hatchMarker;
  in.blackWhiteSource = pdev->shared.blackWhiteSource;
  in.rop4 = pdev->drawing.rop4;
  in.preset = PresetOf(pdev);
  in.contrast = pdev->contrast;
  in.brightness = pdev->brightness;
  return in;
}

namespace {

constexpr int kChunk = 256;  // pixels per call of the luminance

// Walks the common size of the source and out rects row by row.
template <typename RowFn>
void ForEachRow(const Conversion& c, RowFn row) {
  if (!c.src || c.srcRect.left < 0 || c.srcRect.top < 0 || RectIsEmpty(c.srcRect) || RectIsEmpty(c.outRect)) return;
  const std::int64_t width = std::min(RectWidth(c.srcRect), RectWidth(c.outRect));
  const std::int64_t height = std::min(RectHeight(c.srcRect), RectHeight(c.outRect));
  for (std::int64_t i = 0; i < height; ++i) {
    const BYTE* in = c.src + (c.srcRect.top + i) * std::int64_t{c.srcStride};
    const std::int64_t outRow = c.flipped ? c.outRect.bottom - i : c.outRect.top + i;
    row(in, outRow * std::int64_t{c.outStride} + c.outRect.left, width);
  }
}

inline ULONG Rgb(BYTE red, BYTE green, BYTE blue) { return red | (ULONG{green} << 8) | (ULONG{blue} << 16); }

// The colour of direct pixel x of a row (16, 24 or 32 bits); 24- and 32-bit
// pixels hold blue, green, red unless redFirst.
inline ULONG DirectColour(const BYTE* row, std::int64_t x, int bytesPerPixel, bool redFirst = false) {
  const BYTE* p = row + x * bytesPerPixel;
  if (bytesPerPixel == 2) {
    const unsigned v = p[0] | (unsigned{p[1]} << 8);
    return Rgb(static_cast<BYTE>((v >> 7) & 0xF8), static_cast<BYTE>((v >> 2) & 0xF8), static_cast<BYTE>((v << 3) & 0xFF));
  }
  return redFirst ? Rgb(p[0], p[1], p[2]) : Rgb(p[2], p[1], p[0]);
}

// Palette index of pixel x of a row.
inline unsigned PaletteIndex(const BYTE* row, std::int64_t x, ULONG format) {
  switch (format) {
    case BMF_1BPP:
      return (row[x >> 3] & (0x80 >> (x & 7))) ? 1u : 0u;
    case BMF_4BPP:
      return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

ULONG PaletteNeed(ULONG format) { return format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : 256; }

// The format is a template argument, so that each row loop is one format's.
template <ULONG format>
void OneInkPalette(const Conversion& c, const BYTE tone[256], BYTE* out) {
  const ULONG need = PaletteNeed(format);
  if (!out || !c.palette || c.paletteCount < need) return;
  BYTE lut[256];
  RgbToDensity(c.palette, lut, need);
  for (ULONG i = 0; i < need; ++i) lut[i] = tone[lut[i]];
  ForEachRow(c, [&](const BYTE* row, std::int64_t at, std::int64_t width) {
    const std::int64_t x0 = c.srcRect.left;
    BYTE* o = out + at;
    if constexpr (format == BMF_8BPP) {
      const BYTE* in = row + x0;
      for (std::int64_t x = 0; x < width; ++x) o[x] = lut[in[x]];
    } else {
      for (std::int64_t x = 0; x < width; ++x) o[x] = lut[PaletteIndex(row, x0 + x, format)];
    }
  });
}

void OneInkDirect(const Conversion& c, const BYTE tone[256], BYTE* out, int bytesPerPixel, bool redFirst = false) {
  if (!out) return;
  ULONG colours[kChunk];
  BYTE density[kChunk];
  ForEachRow(c, [&](const BYTE* row, std::int64_t at, std::int64_t width) {
    const BYTE* first = row + std::int64_t{c.srcRect.left} * bytesPerPixel;
    for (std::int64_t x = 0; x < width; x += kChunk) {
      const int n = static_cast<int>(std::min<std::int64_t>(kChunk, width - x));
      for (int k = 0; k < n; ++k) colours[k] = DirectColour(first, x + k, bytesPerPixel, redFirst);
      RgbToDensity(colours, density, static_cast<ULONG>(n));
      BYTE* o = out + at + x;
      for (int k = 0; k < n; ++k) o[k] = tone[density[k]];
    }
  });
}

inline void PutPlates(BYTE plate, BYTE density, BYTE* plate1, BYTE* plate2, std::int64_t at) {
  plate1[at] = plate == 2 ? 0 : density;
  plate2[at] = plate == 2 ? density : 0;
}

void TwoInkPalette(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2,
                   ULONG format) {
  if (!plate1 || !plate2 || !m.palette || !c.palette || c.paletteCount < PaletteNeed(format)) return;
  ForEachRow(c, [&](const BYTE* row, std::int64_t at, std::int64_t width) {
    const std::int64_t x0 = c.srcRect.left;
    for (std::int64_t x = 0; x < width; ++x) {
      const InkDensityPair& pair = m.palette[PaletteIndex(row, x0 + x, format)];
      PutPlates(pair.plate, tone[pair.density], plate1, plate2, at + x);
    }
  });
}

void TwoInkDirect(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* plate1, BYTE* plate2,
                  int bytesPerPixel) {
  if (!plate1 || !plate2) return;
  ULONG lastColour = 0xFFFFFFFF;
  BYTE lastPlate = 1, lastDensity = 0;
  ForEachRow(c, [&](const BYTE* row, std::int64_t at, std::int64_t width) {
    const BYTE* first = row + std::int64_t{c.srcRect.left} * bytesPerPixel;
    for (std::int64_t x = 0; x < width; ++x) {
      const ULONG colour = DirectColour(first, x, bytesPerPixel);
      if (colour != lastColour) {  // runs of one colour are classified once
        ClassifyColourForPlates(m.classCode, static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                                static_cast<BYTE>(colour >> 16), 0, &lastPlate, &lastDensity);
        lastColour = colour;
      }
      PutPlates(lastPlate, tone[lastDensity], plate1, plate2, at + x);
    }
  });
}

}  // namespace

void OneInkFrom1Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkPalette<BMF_1BPP>(c, tone, out); }
void OneInkFrom4Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkPalette<BMF_4BPP>(c, tone, out); }
void OneInkFrom8Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkPalette<BMF_8BPP>(c, tone, out); }
void OneInkFrom16Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkDirect(c, tone, out, 2); }
void OneInkFrom24Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkDirect(c, tone, out, 3); }
void OneInkFrom24BppOrdered(const Conversion& c, const BYTE tone[256], BYTE* out, bool redFirst) {
  OneInkDirect(c, tone, out, 3, redFirst);
}

std::uint8_t PlateDensityFrom24Bpp(const Conversion& c, int classCode, bool redFirst, BYTE* out,
                                   std::uint8_t plate) {
  if (!out) return plate;
  // The two colours met last (a stroke and its background) are classified once.
  struct Known {
    ULONG colour = 0xFFFFFFFF;
    BYTE plate = 0, density = 0;
  } known[2];
  ForEachRow(c, [&](const BYTE* row, std::int64_t at, std::int64_t width) {
    const BYTE* first = row + std::int64_t{c.srcRect.left} * 3;
    for (std::int64_t x = 0; x < width; ++x) {
      const ULONG colour = DirectColour(first, x, 3, redFirst);
      if (colour != known[0].colour) {
        std::swap(known[0], known[1]);
        if (colour != known[0].colour) {
          known[0].colour = colour;
          ClassifyColourForPlates(classCode, static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                                  static_cast<BYTE>(colour >> 16), 0, &known[0].plate, &known[0].density);
        }
      }
      plate = known[0].plate;
      out[at + x] = known[0].density;
    }
  });
  return plate;
}
void OneInkFrom32Bpp(const Conversion& c, const BYTE tone[256], BYTE* out) { OneInkDirect(c, tone, out, 4); }

void TwoInkFrom1Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkPalette(c, m, tone, p1, p2, BMF_1BPP);
}
void TwoInkFrom4Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkPalette(c, m, tone, p1, p2, BMF_4BPP);
}
void TwoInkFrom8Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkPalette(c, m, tone, p1, p2, BMF_8BPP);
}
void TwoInkFrom16Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkDirect(c, m, tone, p1, p2, 2);
}
void TwoInkFrom24Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkDirect(c, m, tone, p1, p2, 3);
}
void TwoInkFrom32Bpp(const Conversion& c, const PlateMap& m, const BYTE tone[256], BYTE* p1, BYTE* p2) {
  TwoInkDirect(c, m, tone, p1, p2, 4);
}

void DensityHistogram(const BYTE* image, const PdevRect& rect, LONG stride, DWORD counts[256]) {
  if (!image || RectIsEmpty(rect) || rect.left < 0 || rect.top < 0) return;
  for (std::int64_t y = rect.top; y <= rect.bottom; ++y) {
    const BYTE* row = image + y * std::int64_t{stride};
    for (std::int64_t x = rect.left; x <= rect.right; ++x) ++counts[row[x]];
  }
}

BOOL RgbDensityHistogram(const BYTE* image, const PdevRect& rect, LONG stride, DWORD counts[256]) {
  if (!image || RectIsEmpty(rect) || rect.left < 0 || rect.top < 0) return TRUE;
  ULONG seen[2] = {0, 0};
  int distinct = 0;
  ULONG colours[kChunk];
  BYTE density[kChunk];
  for (std::int64_t y = rect.top; y <= rect.bottom; ++y) {
    const BYTE* row = image + y * std::int64_t{stride} + 3 * std::int64_t{rect.left};
    const std::int64_t width = RectWidth(rect);
    for (std::int64_t x = 0; x < width; x += kChunk) {
      const int n = static_cast<int>(std::min<std::int64_t>(kChunk, width - x));
      for (int k = 0; k < n; ++k) colours[k] = DirectColour(row, x + k, 3);
      // Colours are told apart only until a third one turns up.
      for (int k = 0; k < n && distinct < 3; ++k) {
        const ULONG colour = colours[k];
        if (!(distinct > 0 && colour == seen[0]) && !(distinct > 1 && colour == seen[1])) {
          if (distinct < 2) seen[distinct] = colour;
          ++distinct;
        }
      }
      RgbToDensity(colours, density, static_cast<ULONG>(n));
      for (int k = 0; k < n; ++k) ++counts[density[k]];
    }
  }
  return distinct <= 2 ? TRUE : FALSE;
}

int CountDensityLevels(const DWORD counts[256]) {
  return static_cast<int>(std::count_if(counts, counts + 256, [](DWORD n) { return n != 0; }));
}

BOOL HasManyLevels(LONG, LONG, LONG, LONG, const DWORD counts[256]) { return CountDensityLevels(counts) > 2 ? TRUE : FALSE; }

bool HistogramHasSeveralLevels(const DWORD counts[256]) {
  int levels = 0;
  for (int i = 0; i < 255; ++i)
    if (counts[i] != 0 && ++levels > 1) return true;
  return false;
}

}  // namespace imaging
