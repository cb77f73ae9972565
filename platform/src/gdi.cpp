// The GDI front of a print-host page.
#include "plat/gdi.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_raster.h"

namespace plat::gdi {

namespace {

using plat::engine::SubPath;
using plat::engine::raster::Figure;

using PFN_DrvPaint = BOOL (*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX);
using PFN_DrvFillPath = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
using PFN_DrvStrokePath = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
using PFN_DrvStrokeAndFillPath = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*,
                                          POINTL*, MIX, FLONG);
using PFN_DrvLineTo = BOOL (*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
using PFN_DrvBitBlt = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                               POINTL*, ROP4);
using PFN_DrvCopyBits = BOOL (*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
using PFN_DrvStretchBlt = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                                   RECTL*, RECTL*, POINTL*, ULONG);
using PFN_DrvTextOut = BOOL (*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*,
                                MIX);
constexpr ULONG kHalftone = 4;

struct XlateHolder {
  XLATEOBJ* xo;
  explicit XlateHolder(const std::vector<ULONG>& palette)
      : xo(plat::engine::CreateXlate(palette.empty() ? nullptr : palette.data(), static_cast<ULONG>(palette.size()))) {}
  ~XlateHolder() {
    if (xo) plat::engine::DeleteXlate(xo);
  }
};

// Owned engine objects of one call.
struct PathHolder {
  PATHOBJ* po;
  explicit PathHolder(const std::vector<SubPath>& sp) : po(plat::engine::CreatePath(sp)) {}
  ~PathHolder() { plat::engine::DeletePath(po); }
};
struct ClipHolder {
  CLIPOBJ* co = nullptr;
  explicit ClipHolder(const std::vector<RECTL>& rects)
      : co(rects.empty() ? nullptr : plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size()))) {}
  explicit ClipHolder(const RECTL& bounds) : co(plat::engine::CreateTrivialClip(bounds)) {}
  ~ClipHolder() {
    if (co) plat::engine::DeleteClip(co);
  }
};

RECTL Meet(const RECTL& a, const RECTL& b) {
  return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
}
bool IsEmpty(const RECTL& r) { return r.right <= r.left || r.bottom <= r.top; }

POINTFIX ToFix(const plat::engine::raster::Point& p) {
  auto f = [](double v) { return static_cast<FIX>(std::lround(std::clamp(v, -1.0e8, 1.0e8) * 16)); };
  return POINTFIX{f(p.x), f(p.y)};
}

// A path as line segments only.
std::vector<SubPath> Flattened(const std::vector<Figure>& figures) {
  std::vector<SubPath> out;
  for (const Figure& f : figures) {
    SubPath sp;
    sp.closed = f.closed;
    for (const auto& p : f.points) sp.points.push_back(ToFix(p));
    if (!sp.points.empty()) out.push_back(std::move(sp));
  }
  return out;
}

ULONG FillMode(bool winding) { return winding ? FP_WINDINGMODE : FP_ALTERNATEMODE; }

}  // namespace

Page::Page(SURFOBJ* surface)
    : surface_(surface), hooks_(surface ? plat::engine::DeviceHooks(surface->hsurf) : 0) {}

void Page::SetClip(std::vector<RECTL> rects) { clip_ = std::move(rects); }

void Page::Note(const char* entry, std::size_t count, BOOL result) {
  log_.push_back(std::string(entry) + " " + std::to_string(count) + (result ? " -> TRUE" : " -> FALSE"));
}

std::vector<RECTL> Page::CutToPage(const std::vector<RECTL>& region) const {
  const RECTL all{0, 0, surface_->sizlBitmap.cx, surface_->sizlBitmap.cy};
  std::vector<RECTL> out;
  for (const RECTL& r : region) {
    const RECTL s = Meet(r, all);
    if (IsEmpty(s)) continue;
    if (clip_.empty()) {
      out.push_back(s);
      continue;
    }
    for (const RECTL& c : clip_) {
      const RECTL m = Meet(s, c);
      if (!IsEmpty(m)) out.push_back(m);
    }
  }
  return out;
}

namespace {

// The ROP3 of a ROP2 (1..16), pattern and destination only; 0 when none.
ULONG Rop3OfRop2(ULONG rop2) {
  static constexpr BYTE kRop3[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                     0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
  return (rop2 >= 1 && rop2 <= 16) ? kRop3[rop2 - 1] : 0;
}

}  // namespace

bool Page::PaintAsBlt(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix) {
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvBitBlt));
  if (!(hooks_ & HOOK_BITBLT) || !blt) return false;
  ClipHolder clip(rects);
  if (!clip.co) return false;
  RECTL bounds = rects.front();
  for (const RECTL& r : rects) {
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  // A mix without a background ROP2 uses its foreground one for both.
  const ULONG fore = Rop3OfRop2(mix & 0xFF);
  const ULONG back = (mix >> 8) & 0xFF ? Rop3OfRop2((mix >> 8) & 0xFF) : fore;
  if (fore == 0 && (mix & 0xFF) != 1) return false;
  const ULONG rop4 = fore | back << 8;
  const BOOL ok = blt(surface_, nullptr, nullptr, clip.co, nullptr, &bounds, nullptr, nullptr, brush, nullptr, rop4);
  Note("DrvBitBlt", rects.size(), ok);
  return ok != FALSE;
}

bool Page::PaintRects(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix) {
  if (rects.empty()) return true;
  ClipHolder clip(rects);
  if (!clip.co) return false;
  plat::engine::UseBrushOn(brush, surface_);
  if (paintAsBlt_ || (surface_->iType == STYPE_DEVICE && !(hooks_ & HOOK_PAINT))) return PaintAsBlt(rects, brush, mix);
  if (hooks_ & HOOK_PAINT) {
    auto paint = reinterpret_cast<PFN_DrvPaint>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvPaint));
    if (paint) {
      const BOOL ok = paint(surface_, clip.co, brush, nullptr, mix);
      Note("DrvPaint", rects.size(), ok);
      if (ok) return true;
    }
  }
  const BOOL ok = EngPaint(surface_, clip.co, brush, nullptr, mix);
  Note("EngPaint", rects.size(), ok);
  return ok != FALSE;
}

bool Page::PaintRegion(const std::vector<RECTL>& region, BRUSHOBJ* brush, MIX mix) {
  if (!surface_ || !brush) return false;
  return PaintRects(CutToPage(region), brush, mix);
}

bool Page::FillFigures(PATHOBJ* flat, BRUSHOBJ* brush, MIX mix, bool winding) {
  const std::vector<Figure> figures = plat::engine::raster::Flatten(flat);
  std::vector<RECTL> bounds = CutToPage(
      plat::engine::raster::Region(figures, winding, surface_->sizlBitmap.cx, surface_->sizlBitmap.cy));
  if (bounds.empty()) return true;
  plat::engine::UseBrushOn(brush, surface_);
  if (hooks_ & HOOK_FILLPATH) {
    auto fill = reinterpret_cast<PFN_DrvFillPath>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvFillPath));
    if (fill) {
      ClipHolder clip(clip_.empty() ? std::vector<RECTL>{} : CutToPage(clip_));
      const BOOL ok = fill(surface_, flat, clip.co, brush, nullptr, mix, FillMode(winding));
      Note("DrvFillPath", figures.size(), ok);
      if (ok) return true;
    }
  }
  return PaintRects(bounds, brush, mix);
}

bool Page::FillPath(const std::vector<SubPath>& path, BRUSHOBJ* brush, MIX mix, bool winding) {
  if (!surface_ || !brush) return false;
  PathHolder source(path);
  PathHolder flat(Flattened(plat::engine::raster::Flatten(source.po)));
  return FillFigures(flat.po, brush, mix, winding);
}

bool Page::Stroke(PATHOBJ* flat, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix) {
  LINEATTRS la = attrs;
  plat::engine::UseBrushOn(brush, surface_);
  ClipHolder clip(clip_.empty() ? std::vector<RECTL>{} : CutToPage(clip_));
  if (!clip_.empty() && !clip.co) return true;  // the clip leaves nothing
  if (hooks_ & HOOK_STROKEPATH) {
    auto stroke =
        reinterpret_cast<PFN_DrvStrokePath>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvStrokePath));
    if (stroke) {
      XFORMOBJ identity{};
      const BOOL ok = stroke(surface_, flat, clip.co, &identity, brush, nullptr, &la, mix);
      Note("DrvStrokePath", flat->cCurves, ok);
      if (ok) return true;
    }
  }
  if (!(la.fl & LA_GEOMETRIC)) {
    const BOOL ok = EngStrokePath(surface_, flat, clip.co, nullptr, brush, nullptr, &la, mix);
    Note("EngStrokePath", flat->cCurves, ok);
    return ok != FALSE;
  }
  PathHolder widened(Flattened(plat::engine::raster::Widen(plat::engine::raster::Flatten(flat), la,
                                                          surface_->sizlBitmap.cx, surface_->sizlBitmap.cy)));
  return FillFigures(widened.po, brush, mix, true);
}

bool Page::StrokePath(const std::vector<SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* brush, MIX mix) {
  if (!surface_ || !brush) return false;
  PathHolder source(path);
  PathHolder flat(Flattened(plat::engine::raster::Flatten(source.po)));
  return Stroke(flat.po, attrs, brush, mix);
}

bool Page::LineTo(LONG x1, LONG y1, LONG x2, LONG y2, BRUSHOBJ* brush, MIX mix) {
  if (!surface_ || !brush) return false;
  plat::engine::UseBrushOn(brush, surface_);
  RECTL bounds{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
  const RECTL all{0, 0, surface_->sizlBitmap.cx, surface_->sizlBitmap.cy};
  if (hooks_ & HOOK_LINETO) {
    auto line = reinterpret_cast<PFN_DrvLineTo>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvLineTo));
    if (line) {
      // A page clip goes as it is; a line leaving the surface gets the surface as a DC_RECT clip.
      std::vector<RECTL> rects = clip_.empty() ? std::vector<RECTL>{} : CutToPage(clip_);
      const bool leaves = bounds.left < 0 || bounds.top < 0 || bounds.right > all.right || bounds.bottom > all.bottom;
      if (clip_.empty() && leaves) rects.push_back(all);
      if (!clip_.empty() && rects.empty()) return true;
      ClipHolder clip(rects);
      const BOOL ok = line(surface_, clip.co, brush, x1, y1, x2, y2, &bounds, mix);
      Note("DrvLineTo", 1, ok);
      if (ok) return true;
    }
  }
  LINEATTRS cosmetic{};
  cosmetic.elWidth.l = 1;
  SubPath sp;
  sp.points = {POINTFIX{x1 * 16, y1 * 16}, POINTFIX{x2 * 16, y2 * 16}};
  PathHolder path({sp});
  return Stroke(path.po, cosmetic, brush, mix);
}

bool Page::StrokeAndFillPath(const std::vector<SubPath>& path, const LINEATTRS& attrs, BRUSHOBJ* stroke,
                             BRUSHOBJ* fill, MIX mix, bool winding) {
  if (!surface_ || !stroke || !fill) return false;
  PathHolder source(path);
  PathHolder flat(Flattened(plat::engine::raster::Flatten(source.po)));
  plat::engine::UseBrushOn(stroke, surface_);
  plat::engine::UseBrushOn(fill, surface_);
  if (hooks_ & HOOK_STROKEANDFILLPATH) {
    auto both = reinterpret_cast<PFN_DrvStrokeAndFillPath>(
        plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvStrokeAndFillPath));
    if (both) {
      ClipHolder clip(clip_.empty() ? std::vector<RECTL>{} : CutToPage(clip_));
      LINEATTRS la = attrs;
      XFORMOBJ identity{};
      const BOOL ok = both(surface_, flat.po, clip.co, &identity, stroke, &la, fill, nullptr, mix, FillMode(winding));
      Note("DrvStrokeAndFillPath", flat.po->cCurves, ok);
      if (ok) return true;
    }
  }
  const bool filled = FillFigures(flat.po, fill, mix, winding);
  return Stroke(flat.po, attrs, stroke, mix) && filled;
}

bool Page::PatBlt(const RECTL& rect, BRUSHOBJ* brush, ULONG rop3) {
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvBitBlt));
  if (!(hooks_ & HOOK_BITBLT) || !blt) return false;
  ClipHolder clip(clip_);
  if (brush) plat::engine::UseBrushOn(brush, surface_);
  RECTL target = rect;
  const BOOL ok = blt(surface_, nullptr, nullptr, clip.co, nullptr, &target, nullptr, nullptr, brush, nullptr,
                      (rop3 & 0xFF) * 0x101);
  Note("DrvBitBlt", 1, ok);
  return ok != FALSE;
}

bool Page::BitBlt(SURFOBJ* src, const std::vector<ULONG>& palette, LONG x, LONG y, ULONG rop3, BRUSHOBJ* brush) {
  if (!src) return false;
  ClipHolder clip(clip_);
  XlateHolder xlate(palette);
  RECTL target{x, y, x + src->sizlBitmap.cx, y + src->sizlBitmap.cy};
  POINTL origin{0, 0};
  if ((rop3 & 0xFF) == 0xCC && !brush) {
    auto copy = reinterpret_cast<PFN_DrvCopyBits>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvCopyBits));
    if (!(hooks_ & HOOK_COPYBITS) || !copy) return false;
    const BOOL ok = copy(surface_, src, clip.co, xlate.xo, &target, &origin);
    Note("DrvCopyBits", 1, ok);
    return ok != FALSE;
  }
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvBitBlt));
  if (!(hooks_ & HOOK_BITBLT) || !blt) return false;
  if (brush) plat::engine::UseBrushOn(brush, surface_);
  const BOOL ok = blt(surface_, src, nullptr, clip.co, xlate.xo, &target, &origin, nullptr, brush, nullptr,
                      (rop3 & 0xFF) * 0x101);
  Note("DrvBitBlt", 1, ok);
  return ok != FALSE;
}

bool Page::StretchBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source) {
  auto stretch = reinterpret_cast<PFN_DrvStretchBlt>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvStretchBlt));
  if (!src || !(hooks_ & HOOK_STRETCHBLT) || !stretch) return false;
  ClipHolder clip(clip_);
  XlateHolder xlate(palette);
  RECTL d = dest, s = source;
  const BOOL ok = stretch(surface_, src, nullptr, clip.co, xlate.xo, nullptr, nullptr, &d, &s, nullptr, kHalftone);
  Note("DrvStretchBlt", 1, ok);
  return ok != FALSE;
}

bool Page::TextOut(FONTOBJ* font, const std::u16string& text, LONG x, LONG baselineY, BRUSHOBJ* fore,
                   const RECTL* opaque, BRUSHOBJ* opaqueBrush, bool glyphArray) {
  auto textOut = reinterpret_cast<PFN_DrvTextOut>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvTextOut));
  if (!font || !(hooks_ & HOOK_TEXTOUT) || !textOut) return false;
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  if (!plat::engine::LayoutText(font, text, x, baselineY, glyphs, positions)) return false;
  plat::engine::StringOptions options;
  options.glyphArray = glyphArray;
  options.glyphDefs = glyphArray;
  STROBJ* str = plat::engine::CreateString(font, glyphs, positions, options);
  if (!str) return false;
  ClipHolder clip(clip_);
  RECTL opaqueRect = opaque ? *opaque : RECTL{};
  const BOOL ok = textOut(surface_, str, font, clip.co, nullptr, opaque ? &opaqueRect : nullptr, fore, opaqueBrush,
                          nullptr, R2_COPYPEN | (R2_COPYPEN << 8));
  plat::engine::DeleteString(str);
  Note("DrvTextOut", glyphs.size(), ok);
  return ok != FALSE;
}

}  // namespace plat::gdi
