// Pixel access shared by the engine's bit-block, blend and drawing code.
#include "engine_pixels.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine_raster.h"

namespace plat::engine::pixels {

bool RedFirst(const SURFOBJ* so) {
  return so && (so->iBitmapFormat == BMF_24BPP || so->iBitmapFormat == BMF_32BPP) && plat::engine::RedFirst(so);
}

void SwapRedBlue(BYTE* row, LONG count) {
  for (LONG i = 0; i < count; ++i) std::swap(row[3 * i], row[3 * i + 2]);
}

ULONG ReadRaw(const SURFOBJ* so, LONG x, LONG y, bool redFirst) {
  const BYTE* row = RowOf(so, y);
  const int blue = redFirst ? 2 : 0, red = redFirst ? 0 : 2;
  switch (so->iBitmapFormat) {
    case BMF_1BPP: return (row[x / 8] >> (7 - x % 8)) & 1;
    case BMF_4BPP: return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    case BMF_8BPP: return row[x];
    case BMF_16BPP: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return ((v >> 7) & 0xF8) | (((v >> 2) & 0xF8) << 8) | (((v << 3) & 0xF8) << 16);
    }
    case BMF_24BPP: return row[3 * x + red] | (row[3 * x + 1] << 8) | (row[3 * x + blue] << 16);
    case BMF_32BPP: return row[4 * x + red] | (row[4 * x + 1] << 8) | (row[4 * x + blue] << 16);
  }
  return 0;
}

ULONG ReadRgb(const SURFOBJ* so, XLATEOBJ* xlate, LONG x, LONG y, bool redFirst) {
  const ULONG raw = ReadRaw(so, x, y, redFirst);
  if (so->iBitmapFormat > BMF_8BPP) return raw;
  if (xlate && (xlate->flXlate & XO_TABLE)) return XLATEOBJ_iXlate(xlate, raw) & 0xFFFFFF;
  if (so->iBitmapFormat == BMF_1BPP) return raw ? 0xFFFFFF : 0;
  const ULONG grey = so->iBitmapFormat == BMF_4BPP ? raw * 17 : raw;
  return grey | (grey << 8) | (grey << 16);
}

int Luminance(ULONG rgb) {
  return (2449 * (rgb & 0xFF) + 4805 * ((rgb >> 8) & 0xFF) + 938 * ((rgb >> 16) & 0xFF)) >> 13;
}

bool WriteRgb(SURFOBJ* so, LONG x, LONG y, ULONG rgb, int threshold, bool redFirst) {
  BYTE* row = RowOf(so, y);
  const int blue = redFirst ? 2 : 0, red = redFirst ? 0 : 2;
  switch (so->iBitmapFormat) {
    case BMF_1BPP: {
      const BYTE m = static_cast<BYTE>(0x80 >> (x % 8));
      row[x / 8] = static_cast<BYTE>(Luminance(rgb) >= threshold ? (row[x / 8] | m) : (row[x / 8] & ~m));
      return true;
    }
    case BMF_24BPP:
      row[3 * x + blue] = static_cast<BYTE>(rgb >> 16), row[3 * x + 1] = static_cast<BYTE>(rgb >> 8),
      row[3 * x + red] = static_cast<BYTE>(rgb);
      return true;
    case BMF_32BPP:
      row[4 * x + blue] = static_cast<BYTE>(rgb >> 16), row[4 * x + 1] = static_cast<BYTE>(rgb >> 8),
      row[4 * x + red] = static_cast<BYTE>(rgb), row[4 * x + 3] = 0;
      return true;
  }
  return false;
}

void ReadRow24(const SURFOBJ* so, XLATEOBJ* xlate, LONG x, LONG y, LONG count, BYTE* out) {
  const bool redFirst = RedFirst(so);
  if (so->iBitmapFormat == BMF_24BPP) {
    std::memcpy(out, RowOf(so, y) + 3 * static_cast<std::ptrdiff_t>(x), 3 * static_cast<std::size_t>(count));
    if (redFirst) SwapRedBlue(out, count);
    return;
  }
  for (LONG i = 0; i < count; ++i) {
    const ULONG rgb = ReadRgb(so, xlate, x + i, y, redFirst);
    out[3 * i] = static_cast<BYTE>(rgb >> 16), out[3 * i + 1] = static_cast<BYTE>(rgb >> 8),
    out[3 * i + 2] = static_cast<BYTE>(rgb);
  }
}

void WriteRow24(SURFOBJ* so, LONG x, LONG y, LONG count, const BYTE* in) {
  const bool redFirst = RedFirst(so);
  if (so->iBitmapFormat == BMF_24BPP) {
    BYTE* to = RowOf(so, y) + 3 * static_cast<std::ptrdiff_t>(x);
    std::memcpy(to, in, 3 * static_cast<std::size_t>(count));
    if (redFirst) SwapRedBlue(to, count);
    return;
  }
  for (LONG i = 0; i < count; ++i)
    WriteRgb(so, x + i, y, in[3 * i + 2] | (in[3 * i + 1] << 8) | (static_cast<ULONG>(in[3 * i]) << 16), 128,
             redFirst);
}

RECTL BoundsOf(const std::vector<RECTL>& rects) {
  if (rects.empty()) return RECTL{0, 0, 0, 0};
  RECTL b = rects.front();
  for (const RECTL& r : rects)
    b = RECTL{std::min(b.left, r.left), std::min(b.top, r.top), std::max(b.right, r.right),
              std::max(b.bottom, r.bottom)};
  return b;
}

std::vector<RECTL> ClipRects(CLIPOBJ* pco, const SURFOBJ* so) {
  return ClipRectsIn(pco, so, RECTL{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy});
}

std::vector<RECTL> ClipRectsIn(CLIPOBJ* pco, const SURFOBJ* so, const RECTL& bounds) {
  const RECTL all = Meet(RECTL{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy}, bounds);
  std::vector<RECTL> rects;
  if (IsEmpty(all)) return rects;
  auto add = [&](const RECTL& r) {
    const RECTL m = Meet(r, all);
    if (!IsEmpty(m)) rects.push_back(m);
  };
  if (!pco || pco->iDComplexity == DC_TRIVIAL) {
    rects.push_back(all);
  } else if (pco->iDComplexity == DC_RECT) {
    add(pco->rclBounds);
  } else {
    struct {
      ULONG c;
      RECTL rects[64];
    } batch;
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
    BOOL more;
    do {
      batch.c = 0;
      more = CLIPOBJ_bEnum(pco, sizeof(batch), reinterpret_cast<ULONG*>(&batch));
      for (ULONG i = 0; i < batch.c && i < 64; ++i) add(batch.rects[i]);
    } while (more && batch.c > 0);
  }
  return rects;
}

pixman_image_t* PixmanView(SURFOBJ* so) {
  if (!HasBits(so) || (so->iBitmapFormat != BMF_24BPP && so->iBitmapFormat != BMF_32BPP)) return nullptr;
  if (so->lDelta % 4 != 0 || reinterpret_cast<std::uintptr_t>(so->pvScan0) % 4 != 0) return nullptr;
  const bool redFirst = RedFirst(so);
  const pixman_format_code_t format = so->iBitmapFormat == BMF_24BPP ? (redFirst ? PIXMAN_b8g8r8 : PIXMAN_r8g8b8)
                                                                     : (redFirst ? PIXMAN_x8b8g8r8 : PIXMAN_x8r8g8b8);
  return pixman_image_create_bits(format,
                                  so->sizlBitmap.cx, so->sizlBitmap.cy, static_cast<uint32_t*>(so->pvScan0),
                                  so->lDelta);
}

void BrushRow::Fill(LONG x, LONG y, LONG count, const POINTL& origin, BYTE* out) const {
  if (solid || width <= 0 || height <= 0) {
    for (LONG i = 0; i < count; ++i) std::memcpy(out + 3 * i, color, 3);
    return;
  }
  const LONG py = (((y - origin.y) % height) + height) % height;
  const BYTE* prow = pattern.data() + static_cast<std::size_t>(py) * width * 3;
  LONG px = (((x - origin.x) % width) + width) % width;
  for (LONG i = 0; i < count; ++i) {
    std::memcpy(out + 3 * i, prow + 3 * px, 3);
    if (++px == width) px = 0;
  }
}

bool BrushRowOf(BRUSHOBJ* pbo, BrushRow& row) {
  if (!pbo) return false;
  const raster::Ink ink = raster::InkOf(pbo);
  auto put = [](ULONG rgb, BYTE* out) {
    out[0] = static_cast<BYTE>(rgb >> 16), out[1] = static_cast<BYTE>(rgb >> 8), out[2] = static_cast<BYTE>(rgb);
  };
  row.solid = ink.solid || ink.width <= 0 || ink.height <= 0;
  put(ink.rgb, row.color);
  if (!row.solid) {
    row.width = ink.width;
    row.height = ink.height;
    row.pattern.resize(ink.pixels.size() * 3);
    for (std::size_t i = 0; i < ink.pixels.size(); ++i) put(ink.pixels[i], row.pattern.data() + 3 * i);
  }
  return true;
}

bool HatchPixel(ULONG hatch, int x, int y) {
  switch (hatch) {
    case HS_HORIZONTAL: return y == 4;
    case HS_VERTICAL: return x == 4;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 4 || y == 4;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
  }
}

}  // namespace plat::engine::pixels
