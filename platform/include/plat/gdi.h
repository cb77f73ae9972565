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
// On a device surface (no bits the engine could draw on) what the engine
// would draw itself goes to the driver instead:
//   region, refused path fill -> DrvBitBlt with the brush
//   StretchBltROP -> DrvStretchBlt (SRCCOPY) or a stretched temporary to DrvBitBlt
//   PlgBlt, GradientFill, refused AlphaBlend and TransparentBlt -> the call
//     drawn on a white 24-bit temporary of its bounds, given to DrvCopyBits.
// SetPaintAsBlt makes regions DrvBitBlt on any surface.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plat/engine_blit.h"
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
  // Regions (and refused path fills) become DrvBitBlt with the brush, as on
  // a device surface, even where the driver hooks DrvPaint.
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

  // The driver's entry when it hooks the call, else the engine's: on a bitmap
  // the Eng* function, on a device surface the decomposition above.
  // StretchBltROP: rectangles as StretchBlt, the ROP4 with the brush;
  // PlgBlt: the source's top-left, top-right and bottom-left corners in
  // 28.4 (all of the source); GradientFill: mesh indices, two a rectangle,
  // three a triangle.
  bool StretchBltROP(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                     BRUSHOBJ* brush, ULONG rop4);
  bool PlgBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const POINTFIX (&corners)[3]);
  bool GradientFill(std::vector<TRIVERTEX> vertices, std::vector<ULONG> mesh, ULONG mode);
  bool AlphaBlend(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                  BLENDFUNCTION blend);
  bool TransparentBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                      ULONG transparent);

  // "DrvPaint 3 -> TRUE": entry, rectangles or points handed, result.
  const std::vector<std::string>& Log() const { return log_; }

 private:
  std::vector<RECTL> CutToPage(const std::vector<RECTL>& region) const;
  bool PaintRects(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix);
  bool FillFigures(PATHOBJ* flat, BRUSHOBJ* brush, MIX mix, bool winding);
  bool Stroke(PATHOBJ* flat, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix);
  void Note(const char* entry, std::size_t count, BOOL result);
  bool DeviceFront() const;
  PFN Hooked(ULONG index, FLONG hook) const;
  bool BltBrush(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix);
  // Draws onto a white 24-bit temporary of bounds (cut to the surface), then
  // hands it to DrvCopyBits; draw gets the temporary and the bounds.
  bool ThroughTemporary(const RECTL& bounds, const std::function<BOOL(SURFOBJ*, const RECTL&)>& draw);
  // draw(target, clip, destination) on the page's bitmap, or on a device
  // through a temporary.
  bool EngineOrTemporary(const char* entry, const RECTL& dest,
                         const std::function<BOOL(SURFOBJ*, CLIPOBJ*, RECTL*)>& draw);

  SURFOBJ* surface_;
  FLONG hooks_;
  bool paintAsBlt_ = false;
  std::vector<RECTL> clip_;
  std::vector<std::string> log_;
};

}  // namespace plat::gdi
