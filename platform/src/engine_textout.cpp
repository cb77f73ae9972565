// The engine's own text: the opaque rectangle, then each glyph's one-bit
// image in the foreground brush, through the clip.
#include "engine_pixels.h"
#include "engine_raster.h"
#include "plat/engine_text.h"

using namespace plat::engine::raster;

extern "C" {

PLATAPI BOOL EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL*, MIX mix) {
  Target t;
  if (!pstro || !pboFore || (prclOpaque && !pboOpaque) || !MakeTarget(pso, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t.clip = plat::engine::pixels::ClipRects(pco, pso);
  auto fill = [&](const RECTL& r, const Ink& ink, int rop2) {
    for (LONG y = r.top; y < r.bottom; ++y) Span(t, y, r.left, r.right, ink, rop2);
  };
  if (prclOpaque) fill(*prclOpaque, InkOf(pboOpaque), R2_COPYPEN);
  const Ink fore = InkOf(pboFore);
  const int rop2 = static_cast<int>(mix & 0xFF);
  STROBJ_vEnumStart(pstro);
  for (;;) {
    ULONG count = 0;
    GLYPHPOS* glyphs = nullptr;
    const BOOL more = STROBJ_bEnum(pstro, &count, &glyphs);
    if (more == static_cast<BOOL>(DDI_ERROR)) {
      ++pso->iUniq;
      return FALSE;
    }
    for (ULONG i = 0; i < count && glyphs; ++i) {
      const GLYPHBITS* bits = glyphs[i].pgdf ? glyphs[i].pgdf->pgb : nullptr;
      if (!bits) {
        HGLYPH hg = glyphs[i].hg;
        GLYPHDATA* data = nullptr;
        if (FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &hg, reinterpret_cast<PVOID*>(&data)) != 1 || !data) continue;
        bits = data->gdf.pgb;
      }
      if (!bits) continue;
      const LONG left = glyphs[i].ptl.x + bits->ptlOrigin.x, top = glyphs[i].ptl.y + bits->ptlOrigin.y;
      const LONG rowBytes = (bits->sizlBitmap.cx + 7) / 8;
      for (LONG y = 0; y < bits->sizlBitmap.cy; ++y) {
        const BYTE* row = bits->aj + static_cast<std::ptrdiff_t>(y) * rowBytes;
        // Runs of set bits become spans.
        for (LONG x = 0; x < bits->sizlBitmap.cx;) {
          if (!((row[x / 8] >> (7 - x % 8)) & 1)) {
            ++x;
            continue;
          }
          LONG end = x + 1;
          while (end < bits->sizlBitmap.cx && ((row[end / 8] >> (7 - end % 8)) & 1)) ++end;
          Span(t, top + y, left + x, left + end, fore, rop2);
          x = end;
        }
      }
    }
    if (!more) break;
  }
  // Underlines and strike-outs: rectangles up to an empty one.
  for (RECTL* r = prclExtra; r && (r->left | r->top | r->right | r->bottom); ++r) fill(*r, fore, rop2);
  ++pso->iUniq;
  return TRUE;
}

}  // extern "C"
