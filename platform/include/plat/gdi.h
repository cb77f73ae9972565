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

  // Each returns whether the call was drawn (by the driver or the engine).
  bool PaintRegion(const std::vector<RECTL>& region, BRUSHOBJ* brush, MIX mix);
  bool FillPath(const std::vector<plat::engine::SubPath>& path, BRUSHOBJ* brush, MIX mix, bool winding);
  bool LineTo(LONG x1, LONG y1, LONG x2, LONG y2, BRUSHOBJ* brush, MIX mix);
  bool StrokePath(const std::vector<plat::engine::SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix);
  bool StrokeAndFillPath(const std::vector<plat::engine::SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* stroke,
                         BRUSHOBJ* fill, MIX mix, bool winding);

  // "DrvPaint 3 -> TRUE": entry, rectangles or points handed, result.
  const std::vector<std::string>& Log() const { return log_; }

 private:
  std::vector<RECTL> CutToPage(const std::vector<RECTL>& region) const;
  bool PaintRects(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix);
  bool FillFigures(PATHOBJ* flat, BRUSHOBJ* brush, MIX mix, bool winding);
  bool Stroke(PATHOBJ* flat, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix);
  void Note(const char* entry, std::size_t count, BOOL result);

  SURFOBJ* surface_;
  FLONG hooks_;
  std::vector<RECTL> clip_;
  std::vector<std::string> log_;
};

}  // namespace plat::gdi
