// Pixel access shared by the engine's bit-block, blend and drawing code:
// rows, colours as 0x00BBGGRR (24 and 32 bpp store them blue, green, red, or
// red, green, blue on a PAL_RGB device's surfaces), clip rectangles and
// pixman views of surfaces. Internal to the platform.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <vector>

#include "plat/engine_draw.h"

namespace plat::engine::pixels {

inline bool HasBits(const SURFOBJ* so) {
  return so && so->pvScan0 && so->lDelta != 0 && so->iBitmapFormat >= BMF_1BPP && so->iBitmapFormat <= BMF_32BPP &&
         so->sizlBitmap.cx > 0 && so->sizlBitmap.cy > 0;
}

inline const BYTE* RowOf(const SURFOBJ* so, LONG y) {
  return static_cast<const BYTE*>(so->pvScan0) + static_cast<std::int64_t>(y) * so->lDelta;
}
inline BYTE* RowOf(SURFOBJ* so, LONG y) {
  return static_cast<BYTE*>(so->pvScan0) + static_cast<std::int64_t>(y) * so->lDelta;
}

// Whether a 24- or 32-bit surface holds red, green, blue. Asked once a call:
// the pixel functions take the answer.
bool RedFirst(const SURFOBJ* so);
// Exchanges the first and third byte of count 3-byte pixels.
void SwapRedBlue(BYTE* row, LONG count);

// The pixel as its format holds it: an index on 1- to 8-bit surfaces, else
// 0x00BBGGRR.
ULONG ReadRaw(const SURFOBJ* so, LONG x, LONG y, bool redFirst);
// The pixel as 0x00BBGGRR; indices through the translation, or as grey
// without a table.
ULONG ReadRgb(const SURFOBJ* so, XLATEOBJ* xlate, LONG x, LONG y, bool redFirst);
// Writes 0x00BBGGRR; one-bit surfaces take 1 for a luminance at or above
// threshold. FALSE for 4, 8 and 16 bpp.
bool WriteRgb(SURFOBJ* so, LONG x, LONG y, ULONG rgb, int threshold, bool redFirst);
int Luminance(ULONG rgb);

// One row of count pixels from (x, y) as blue, green, red bytes, whatever
// the surface's order.
void ReadRow24(const SURFOBJ* so, XLATEOBJ* xlate, LONG x, LONG y, LONG count, BYTE* out);
// Writes one row of blue, green, red bytes from (x, y) in the surface's order.
void WriteRow24(SURFOBJ* so, LONG x, LONG y, LONG count, const BYTE* in);

inline RECTL Meet(const RECTL& a, const RECTL& b) {
  return RECTL{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
               a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}
inline bool IsEmpty(const RECTL& r) { return r.right <= r.left || r.bottom <= r.top; }
// A rectangle with right >= left and bottom >= top.
inline RECTL Ordered(const RECTL& r) {
  return RECTL{r.left < r.right ? r.left : r.right, r.top < r.bottom ? r.top : r.bottom,
               r.left < r.right ? r.right : r.left, r.top < r.bottom ? r.bottom : r.top};
}

// The smallest rectangle holding all of them (an empty one for none).
RECTL BoundsOf(const std::vector<RECTL>& rects);

// The source pixel of destination index 0..count-1 along one axis: the
// nearest sample at the pixel's centre; a flipped axis runs from the far end.
inline LONG NearestOf(std::int64_t index, std::int64_t count, LONG srcLow, LONG srcHigh, bool flip) {
  const std::int64_t i = flip ? count - 1 - index : index;
  return static_cast<LONG>(srcLow + (2 * i + 1) * (srcHigh - srcLow) / (2 * count));
}

// The clip's rectangles cut to the surface (the whole surface without one).
std::vector<RECTL> ClipRects(CLIPOBJ* pco, const SURFOBJ* so);
// The same cut to bounds as well, empty ones dropped.
std::vector<RECTL> ClipRectsIn(CLIPOBJ* pco, const SURFOBJ* so, const RECTL& bounds);

// A pixman image over a 24- or 32-bit surface's bits in its byte order, or
// null when its rows cannot be one (a stride or address off a 4-byte
// boundary). Unref when done.
pixman_image_t* PixmanView(SURFOBJ* so);

// A blue, green, red colour row of a brush from (x, y): its solid colour or
// its pattern anchored at origin.
struct BrushRow {
  bool solid = true;
  BYTE color[3] = {0, 0, 0};
  int width = 0, height = 0;
  std::vector<BYTE> pattern;  // width x height blue, green, red
  void Fill(LONG x, LONG y, LONG count, const POINTL& origin, BYTE* out) const;
};
// FALSE without a brush.
bool BrushRowOf(BRUSHOBJ* pbo, BrushRow& row);

// The engine's own hatch lines, 8 x 8: pixel (x, y) carries the hatch colour.
bool HatchPixel(ULONG hatch, int x, int y);

}  // namespace plat::engine::pixels
