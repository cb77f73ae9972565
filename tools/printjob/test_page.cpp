// The test page: proportions of the surface, so that every paper and
// resolution gets the same picture. Drawn through the engine's GDI front, so
// the driver's paint, line and path entries draw it into the ink planes.
#include "printjob/test_page.h"

#include <algorithm>
#include <vector>

#include "plat/gdi.h"

namespace printjob {

namespace {
constexpr ULONG kBlack = 0x000000;
constexpr ULONG kRed = 0x0000FF;  // 0x00BBGGRR
constexpr ULONG kBlue = 0xFF0000;

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(ULONG rgb) : bo(plat::engine::CreateSolidBrush(rgb)) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
};
}  // namespace

BOOL DrawTestPage(SURFOBJ* surface, int index, ULONG dpi, bool paintAsBlt) {
  if (!surface) return FALSE;
  const LONG w = surface->sizlBitmap.cx;
  const LONG h = surface->sizlBitmap.cy;
  const LONG unit = w / 64 > 0 ? w / 64 : 1;
  plat::gdi::Page page(surface);
  page.SetPaintAsBlt(paintAsBlt);
  Brush black(kBlack), red(kRed), blue(kBlue);
  bool ok = black.bo && red.bo && blue.bo;
  if (!ok) return FALSE;
  std::vector<RECTL> blackRects, redRects;

  // Bars of growing length and weight along the top, in the colour ink.
  for (int i = 0; i < 6; ++i) {
    LONG top = unit * (2 + 3 * i);
    redRects.push_back(RECTL{unit * 2, top, unit * 2 + (w - 4 * unit) * (i + 1) / 6, top + 1 + i * unit / 4});
  }
  // A checkerboard in the middle.
  const LONG cell = unit * 2;
  const LONG boardTop = h / 3;
  for (int row = 0; row < 12; ++row)
    for (int col = 0; col < 24; ++col)
      if ((row + col) % 2 == 0)
        blackRects.push_back(RECTL{unit * 4 + col * cell, boardTop + row * cell, unit * 4 + (col + 1) * cell,
                                   boardTop + (row + 1) * cell});
  // Lines of word-like blocks in the lower part.
  const LONG lineHeight = unit;
  for (int line = 0; line < 16; ++line) {
    LONG y = h * 2 / 3 + line * lineHeight * 2;
    LONG x = unit * 4;
    for (int word = 0; x < w - unit * 8; ++word) {
      LONG len = unit * (1 + (word * 7 + line * 3) % 5);
      blackRects.push_back(RECTL{x, y, x + len, y + lineHeight});
      x += len + unit;
    }
  }
  // Page number marks in the bottom corner.
  for (int i = 0; i <= index && i < 50; ++i)
    blackRects.push_back(RECTL{w - unit * (3 + 2 * (i % 10)), h - unit * (3 + 2 * (i / 10)),
                               w - unit * (2 + 2 * (i % 10)), h - unit * (2 + 2 * (i / 10))});
  ok = page.PaintRegion(redRects, red.bo, R2_COPYPEN) && ok;
  ok = page.PaintRegion(blackRects, black.bo, R2_COPYPEN) && ok;

  // A frame of lines and a curve of a wide pen in the colour ink.
  const LONG l = unit, t = unit, r = w - unit, b = h - unit;
  ok = page.LineTo(l, t, r, t, blue.bo, R2_COPYPEN) && ok;
  ok = page.LineTo(r, t, r, b, blue.bo, R2_COPYPEN) && ok;
  ok = page.LineTo(r, b, l, b, blue.bo, R2_COPYPEN) && ok;
  ok = page.LineTo(l, b, l, t, blue.bo, R2_COPYPEN) && ok;
  ok = page.LineTo(l, t, r, b, black.bo, R2_COPYPEN) && ok;
  LINEATTRS pen{};
  pen.fl = LA_GEOMETRIC;
  pen.iJoin = JOIN_ROUND;
  pen.iEndCap = ENDCAP_ROUND;
  pen.elWidth.e = static_cast<FLOATL>(unit) / 2;
  const LONG cy = h / 3 - unit * 4;
  plat::engine::SubPath curve;
  curve.beziers = true;
  curve.points = {POINTFIX{unit * 4 * 16, cy * 16}, POINTFIX{w / 3 * 16, (cy - unit * 6) * 16},
                  POINTFIX{w * 2 / 3 * 16, (cy + unit * 6) * 16}, POINTFIX{(w - unit * 4) * 16, cy * 16}};
  ok = page.StrokePath({curve}, pen, red.bo, R2_COPYPEN) && ok;

  // A title at 10 and 24 points, the right half of the checkerboard inverted
  // and a one-bit picture of stripes copied below it.
  const LONG em10 = std::max<LONG>(static_cast<LONG>(dpi * 10 / 72), 4);
  const LONG em24 = std::max<LONG>(static_cast<LONG>(dpi * 24 / 72), 8);
  const struct {
    LONG em;
    LONG x;
    LONG baseline;
    BRUSHOBJ* brush;
  } titles[] = {{em10, unit * 4, boardTop - unit, black.bo}, {em24, unit * 4, boardTop - unit * 4, red.bo}};
  for (const auto& title : titles) {
    FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), static_cast<ULONG>(title.em));
    if (!font) continue;  // no font file: the page goes out without its title
    ok = page.TextOut(font, u"Duplicator test page", title.x, title.baseline, title.brush) && ok;
    plat::engine::DeleteFont(font);
  }
  ok = page.PatBlt(RECTL{unit * 4 + 12 * cell, boardTop, unit * 4 + 24 * cell, boardTop + 6 * cell}, nullptr, 0x55) &&
       ok;
  const LONG side = 64;
  std::vector<BYTE> stripes(static_cast<std::size_t>(side) * side / 8);
  for (LONG y = 0; y < side; ++y)
    for (LONG x = 0; x < side; ++x)
      if (((x + y) / 8) % 2) stripes[static_cast<std::size_t>(y * side + x) / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  HBITMAP bitmap = EngCreateBitmap(SIZEL{side, side}, side / 8, BMF_1BPP, BMF_TOPDOWN, stripes.data());
  const LONG pictureTop = boardTop + 13 * cell;
  if (SURFOBJ* picture = bitmap ? EngLockSurface(reinterpret_cast<HSURF>(bitmap)) : nullptr) {
    ok = page.BitBlt(picture, {0x000000, 0xFFFFFF}, unit * 4, pictureTop, 0xCC, nullptr) && ok;
    // The stripes again by a ternary ROP with the blue brush: blue where the
    // stripes are black, the page kept where they are white.
    ok = page.BitBlt(picture, {0x000000, 0xFFFFFF}, unit * 5 + side, pictureTop, 0xB8, blue.bo) && ok;
    EngUnlockSurface(picture);
  }
  if (bitmap) EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));

  // PATINVERT of white (every bit set) over the lower left of the checkerboard.
  Brush white(0xFFFFFF);
  ok = white.bo &&
       page.PatBlt(RECTL{unit * 4, boardTop + 6 * cell, unit * 4 + 6 * cell, boardTop + 12 * cell}, white.bo, 0x5A) &&
       ok;
  // A hatched fill in the colour ink.
  BRUSHOBJ* hatch = plat::engine::CreateHatchBrush(HS_DIAGCROSS, kBlue, 0xFFFFFF);
  if (hatch) {
    ok = page.PaintRegion({RECTL{unit * 30, pictureTop, unit * 38, pictureTop + unit * 4}}, hatch, R2_COPYPEN) && ok;
    plat::engine::DeleteBrush(hatch);
  }
  // A 24-bpp picture of black, red and blue blocks, stretched twice its size
  // and mirrored.
  const LONG pw = 32, ph = 16, pstride = pw * 3;
  std::vector<BYTE> rgb(static_cast<std::size_t>(pstride) * ph, 0xFF);
  for (LONG y = 0; y < ph; ++y)
    for (LONG x = 0; x < pw; ++x) {
      BYTE* px = rgb.data() + y * pstride + x * 3;  // blue, green, red
      if (x < 12) px[0] = px[1] = px[2] = 0;
      else if (x >= 16 && y < 8) px[0] = px[1] = 0;   // red
      else if (x >= 16) px[1] = px[2] = 0;            // blue
    }
  HBITMAP photo = EngCreateBitmap(SIZEL{pw, ph}, pstride, BMF_24BPP, BMF_TOPDOWN, rgb.data());
  if (SURFOBJ* picture = photo ? EngLockSurface(reinterpret_cast<HSURF>(photo)) : nullptr) {
    const LONG px = unit * 40;
    ok = page.StretchBlt(picture, {}, RECTL{px + 2 * pw, pictureTop, px, pictureTop + 2 * ph}, RECTL{0, 0, pw, ph}) &&
         ok;
    EngUnlockSurface(picture);
  }
  if (photo) EngDeleteSurface(reinterpret_cast<HSURF>(photo));

  // Dashed strokes under the pictures: cosmetic and wide.
  const LONG dashY = pictureTop + side + unit;
  plat::engine::SubPath dashLine;
  dashLine.points = {POINTFIX{unit * 4 * 16, dashY * 16}, POINTFIX{unit * 30 * 16, dashY * 16}};
  FLOAT_LONG cosmeticStyle[2];
  cosmeticStyle[0].l = 6;
  cosmeticStyle[1].l = 2;
  LINEATTRS dashed{};
  dashed.fl = LA_STYLED;
  dashed.elWidth.l = 1;
  dashed.cstyle = 2;
  dashed.pstyle = cosmeticStyle;
  ok = page.StrokePath({dashLine}, dashed, black.bo, R2_COPYPEN) && ok;
  plat::engine::SubPath wideLine = dashLine;
  for (POINTFIX& p : wideLine.points) p.y += unit * 16;
  FLOAT_LONG wideStyle[2];
  wideStyle[0].e = static_cast<FLOATL>(unit);
  wideStyle[1].e = static_cast<FLOATL>(unit) / 2;
  LINEATTRS wide{};
  wide.fl = LA_GEOMETRIC | LA_STYLED;
  wide.iJoin = JOIN_ROUND;
  wide.iEndCap = ENDCAP_BUTT;
  wide.elWidth.e = static_cast<FLOATL>(unit) / 4;
  wide.eMiterLimit = 10;
  wide.cstyle = 2;
  wide.pstyle = wideStyle;
  ok = page.StrokePath({wideLine}, wide, blue.bo, R2_COPYPEN) && ok;
  return ok ? TRUE : FALSE;
}

}  // namespace printjob
