// The test page: proportions of the surface, so that every paper and
// resolution gets the same picture.
#include "printjob/test_page.h"

namespace printjob {

namespace {
constexpr ULONG kInk = 0;
}

BOOL DrawTestPage(SURFOBJ* surface, int index) {
  if (!surface) return FALSE;
  const LONG w = surface->sizlBitmap.cx;
  const LONG h = surface->sizlBitmap.cy;
  const LONG unit = w / 64 > 0 ? w / 64 : 1;
  bool ok = true;
  auto fill = [&](LONG l, LONG t, LONG r, LONG b) {
    ok = plat::engine::FillRect(surface, RECTL{l, t, r, b}, kInk) && ok;
  };

  // Bars of growing length and weight along the top.
  for (int i = 0; i < 6; ++i) {
    LONG top = unit * (2 + 3 * i);
    fill(unit * 2, top, unit * 2 + (w - 4 * unit) * (i + 1) / 6, top + 1 + i * unit / 4);
  }
  // A checkerboard in the middle.
  const LONG cell = unit * 2;
  const LONG boardTop = h / 3;
  for (int row = 0; row < 12; ++row)
    for (int col = 0; col < 24; ++col)
      if ((row + col) % 2 == 0)
        fill(unit * 4 + col * cell, boardTop + row * cell, unit * 4 + (col + 1) * cell, boardTop + (row + 1) * cell);
  // Lines of word-like blocks in the lower part.
  const LONG lineHeight = unit;
  for (int line = 0; line < 16; ++line) {
    LONG y = h * 2 / 3 + line * lineHeight * 2;
    LONG x = unit * 4;
    for (int word = 0; x < w - unit * 8; ++word) {
      LONG len = unit * (1 + (word * 7 + line * 3) % 5);
      fill(x, y, x + len, y + lineHeight);
      x += len + unit;
    }
  }
  // Page number marks in the bottom corner.
  for (int i = 0; i <= index && i < 50; ++i)
    fill(w - unit * (3 + 2 * (i % 10)), h - unit * (3 + 2 * (i / 10)), w - unit * (2 + 2 * (i % 10)),
         h - unit * (2 + 2 * (i / 10)));
  return ok ? TRUE : FALSE;
}

}  // namespace printjob
