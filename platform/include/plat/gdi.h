// The GDI front of a print-host page: what an application's drawing calls
// become in the engine. Regions, paths and lines are cut to the surface and
// the page's clip and handed to the driver's hooked entries in the engine's
// order, falling back to the engine's own drawing when an entry declines:
//   region -> DrvPaint -> EngPaint
//   path fill -> DrvFillPath -> (its region) DrvPaint -> EngFillPath
//   line -> DrvLineTo -> DrvStrokePath -> EngStrokePath
//   stroke -> DrvStrokePath -> cosmetic: EngStrokePath;
//             geometric: widened, filled as a path fill (winding)
//   stroke and fill -> DrvStrokeAndFillPath -> the fill, then the stroke.
// The device has no GCAPS_BEZIERS: paths reach the driver flattened.
#pragma once

#include <string>
#include <vector>

#include "plat/engine_draw.h"
#include "plat/engine_text.h"

namespace plat::gdi {

class PLATAPI Page {
 public:
  // The page surface as the print host locked it; its device's driver table
  // and hooks are the engine's (plat::engine::SetDeviceDriver).
  explicit Page(SURFOBJ* surface);
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // The page's clip (exclusive rectangles); empty: none.
  void SetClip(std::vector<RECTL> rects);
  // Regions (paints and refused path fills) go to DrvBitBlt with the brush,
  // the mix's two ROP2s as the ROP4, as the engine does on a device surface
  // (STYPE_DEVICE) that does not hook DrvPaint; on: on any surface.
  void SetPaintAsBlt(bool on) { paintAsBlt_ = on; }

  // Each returns whether the call was drawn (by the driver or the engine).
  bool PaintRegion(const std::vector<RECTL>& region, BRUSHOBJ* brush, MIX mix);
  bool FillPath(const std::vector<plat::engine::SubPath>& path, BRUSHOBJ* brush, MIX mix, bool winding);
  bool LineTo(LONG x1, LONG y1, LONG x2, LONG y2, BRUSHOBJ* brush, MIX mix);
  bool StrokePath(const std::vector<plat::engine::SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix);
  bool StrokeAndFillPath(const std::vector<plat::engine::SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* stroke,
                         BRUSHOBJ* fill, MIX mix, bool winding);

  // Blits, stretches and text (exclusive rectangles); FALSE from the driver
  // fails the call. A pattern blit goes to DrvBitBlt with the ROP3 in both
  // bytes of the ROP4; a source blit (palette: the source's colours) to
  // DrvCopyBits for SRCCOPY without a brush, else DrvBitBlt; a stretch keeps
  // the caller's rectangles (right < left or bottom < top mirror); text is
  // laid out from FreeType advances in whole dots with its baseline at
  // baselineY, offered with or without its glyph array and glyph defs.
  bool PatBlt(const RECTL& rect, BRUSHOBJ* brush, ULONG rop3);
  bool BitBlt(SURFOBJ* src, const std::vector<ULONG>& palette, LONG x, LONG y, ULONG rop3, BRUSHOBJ* brush);
  bool StretchBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source);
  bool TextOut(FONTOBJ* font, const std::u16string& text, LONG x, LONG baselineY, BRUSHOBJ* fore,
               const RECTL* opaque = nullptr, BRUSHOBJ* opaqueBrush = nullptr, bool glyphArray = true);

  // "DrvPaint 3 -> TRUE": entry, rectangles or points handed, result.
  const std::vector<std::string>& Log() const { return log_; }

 private:
  std::vector<RECTL> CutToPage(const std::vector<RECTL>& region) const;
  bool PaintRects(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix);
  bool PaintAsBlt(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix);
  bool FillFigures(PATHOBJ* flat, BRUSHOBJ* brush, MIX mix, bool winding);
  bool Stroke(PATHOBJ* flat, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix);
  void Note(const char* entry, std::size_t count, BOOL result);

  SURFOBJ* surface_;
  FLONG hooks_;
  std::vector<RECTL> clip_;
  bool paintAsBlt_ = false;
  std::vector<std::string> log_;
};

}  // namespace plat::gdi
