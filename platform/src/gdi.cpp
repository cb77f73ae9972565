// The GDI front of a print-host page.
#include "plat/gdi.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_pixels.h"
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
using PFN_DrvStretchBltROP = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                                      RECTL*, RECTL*, POINTL*, ULONG, BRUSHOBJ*, DWORD);
using PFN_DrvPlgBlt = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*,
                               RECTL*, POINTL*, ULONG);
using PFN_DrvGradientFill = BOOL (*)(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*,
                                     ULONG);
using PFN_DrvAlphaBlend = BOOL (*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*);
using PFN_DrvTransparentBlt = BOOL (*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG);
constexpr ULONG kHalftone = 4;
constexpr ULONG kRop4SrcCopy = 0xCCCC;

// The ROP3 of a ROP2 (R2_COPYPEN for one out of range): each ROP2 bit (pen,
// destination) becomes the ROP3 bits of that pattern and destination,
// whatever the source.
ULONG Rop3OfRop2(ULONG rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) rop2 = R2_COPYPEN;
  ULONG rop3 = 0;
  for (ULONG index = 0; index < 8; ++index) {
    const ULONG pen = (index >> 2) & 1, dst = index & 1;
    rop3 |= (((rop2 - 1) >> ((pen << 1) | dst)) & 1) << index;
  }
  return rop3;
}

// The ROP4 of a mix for a brush: the foreground ROP2's ROP3 low, the
// background's (the foreground's when the mix has none) high.
ULONG Rop4OfMix(MIX mix) {
  const ULONG fore = Rop3OfRop2(mix & 0xFF);
  const ULONG back = (mix >> 8) & 0xFF ? Rop3OfRop2((mix >> 8) & 0xFF) : fore;
  return fore | back << 8;
}

// An engine bitmap of one call, deleted with it.
struct Temporary {
  HBITMAP bm = nullptr;
  SURFOBJ* so = nullptr;
  Temporary(LONG w, LONG h) {
    bm = EngCreateBitmap(SIZEL{w, h}, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
    so = bm ? EngLockSurface(reinterpret_cast<HSURF>(bm)) : nullptr;
  }
  ~Temporary() {
    if (so) EngUnlockSurface(so);
    if (bm) EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
};

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

using plat::engine::pixels::BoundsOf;
using plat::engine::pixels::IsEmpty;
using plat::engine::pixels::Meet;
using plat::engine::pixels::Ordered;

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

bool Page::DeviceFront() const { return paintAsBlt_ || surface_->iType == STYPE_DEVICE; }

PFN Page::Hooked(ULONG index, FLONG hook) const {
  return (hooks_ & hook) ? plat::engine::DeviceEntry(surface_->hdev, index) : nullptr;
}

bool Page::BltBrush(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix) {
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(Hooked(INDEX_DrvBitBlt, HOOK_BITBLT));
  if (!blt) return false;
  ClipHolder clip(rects);
  if (!clip.co) return false;
  RECTL bounds = BoundsOf(rects);
  POINTL origin{0, 0};
  const BOOL ok = blt(surface_, nullptr, nullptr, clip.co, nullptr, &bounds, nullptr, nullptr, brush, &origin,
                      Rop4OfMix(mix));
  Note("DrvBitBlt", rects.size(), ok);
  return ok != FALSE;
}

bool Page::ThroughTemporary(const RECTL& bounds, const std::function<BOOL(SURFOBJ*, const RECTL&)>& draw) {
  const RECTL area = Meet(Ordered(bounds), RECTL{0, 0, surface_->sizlBitmap.cx, surface_->sizlBitmap.cy});
  if (IsEmpty(area)) return true;
  Temporary temp(area.right - area.left, area.bottom - area.top);
  if (!temp.so) return false;
  RECTL all{0, 0, temp.so->sizlBitmap.cx, temp.so->sizlBitmap.cy};
  EngEraseSurface(temp.so, &all, 0xFFFFFF);
  if (!draw(temp.so, area)) return false;
  ClipHolder clip(clip_);
  RECTL target = area;
  POINTL origin{0, 0};
  if (auto copy = reinterpret_cast<PFN_DrvCopyBits>(Hooked(INDEX_DrvCopyBits, HOOK_COPYBITS))) {
    const BOOL ok = copy(surface_, temp.so, clip.co, nullptr, &target, &origin);
    Note("DrvCopyBits", 1, ok);
    return ok != FALSE;
  }
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(Hooked(INDEX_DrvBitBlt, HOOK_BITBLT));
  if (!blt) return false;
  const BOOL ok = blt(surface_, temp.so, nullptr, clip.co, nullptr, &target, &origin, nullptr, nullptr, nullptr,
                      kRop4SrcCopy);
  Note("DrvBitBlt", 1, ok);
  return ok != FALSE;
}

bool Page::PaintRects(const std::vector<RECTL>& rects, BRUSHOBJ* brush, MIX mix) {
  if (rects.empty()) return true;
  ClipHolder clip(rects);
  if (!clip.co) return false;
  plat::engine::UseBrushOn(brush, surface_);
  if ((hooks_ & HOOK_PAINT) && !paintAsBlt_) {
    auto paint = reinterpret_cast<PFN_DrvPaint>(plat::engine::DeviceEntry(surface_->hdev, INDEX_DrvPaint));
    if (paint) {
      const BOOL ok = paint(surface_, clip.co, brush, nullptr, mix);
      Note("DrvPaint", rects.size(), ok);
      if (ok) return true;
    }
  }
  if (DeviceFront()) return BltBrush(rects, brush, mix);
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

bool Page::StretchBltROP(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                         BRUSHOBJ* brush, ULONG rop4) {
  if (!surface_ || !src) return false;
  ClipHolder clip(clip_);
  XlateHolder xlate(palette);
  RECTL d = dest, s = source;
  if (brush) plat::engine::UseBrushOn(brush, surface_);
  if (auto rop = reinterpret_cast<PFN_DrvStretchBltROP>(Hooked(INDEX_DrvStretchBltROP, HOOK_STRETCHBLTROP))) {
    const BOOL ok = rop(surface_, src, nullptr, clip.co, xlate.xo, nullptr, nullptr, &d, &s, nullptr, kHalftone, brush,
                        rop4);
    Note("DrvStretchBltROP", 1, ok);
    return ok != FALSE;
  }
  if (!DeviceFront()) {
    const BOOL ok = EngStretchBltROP(surface_, src, nullptr, clip.co, xlate.xo, nullptr, nullptr, &d, &s, nullptr,
                                     kHalftone, brush, rop4);
    Note("EngStretchBltROP", 1, ok);
    return ok != FALSE;
  }
  if (rop4 == kRop4SrcCopy) return StretchBlt(src, palette, dest, source);
  // The source stretched to the destination's size, then blitted with the ROP.
  const RECTL target = Ordered(dest);
  if (IsEmpty(target)) return true;
  Temporary temp(target.right - target.left, target.bottom - target.top);
  if (!temp.so) return false;
  RECTL into{0, 0, temp.so->sizlBitmap.cx, temp.so->sizlBitmap.cy};
  if (dest.right < dest.left) std::swap(into.left, into.right);
  if (dest.bottom < dest.top) std::swap(into.top, into.bottom);
  if (!EngStretchBlt(temp.so, src, nullptr, nullptr, xlate.xo, nullptr, nullptr, &into, &s, nullptr, kHalftone))
    return false;
  auto blt = reinterpret_cast<PFN_DrvBitBlt>(Hooked(INDEX_DrvBitBlt, HOOK_BITBLT));
  if (!blt) return false;
  RECTL to = target;
  POINTL origin{0, 0}, brushOrigin{0, 0};
  const BOOL ok = blt(surface_, temp.so, nullptr, clip.co, nullptr, &to, &origin, nullptr, brush, &brushOrigin, rop4);
  Note("DrvBitBlt", 1, ok);
  return ok != FALSE;
}

bool Page::PlgBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const POINTFIX (&corners)[3]) {
  if (!surface_ || !src) return false;
  ClipHolder clip(clip_);
  XlateHolder xlate(palette);
  POINTFIX pts[3] = {corners[0], corners[1], corners[2]};
  RECTL whole{0, 0, src->sizlBitmap.cx, src->sizlBitmap.cy};
  if (auto plg = reinterpret_cast<PFN_DrvPlgBlt>(Hooked(INDEX_DrvPlgBlt, HOOK_PLGBLT))) {
    const BOOL ok = plg(surface_, src, nullptr, clip.co, xlate.xo, nullptr, nullptr, pts, &whole, nullptr, kHalftone);
    Note("DrvPlgBlt", 1, ok);
    return ok != FALSE;
  }
  if (!DeviceFront()) {
    const BOOL ok = EngPlgBlt(surface_, src, nullptr, clip.co, xlate.xo, nullptr, nullptr, pts, &whole, nullptr,
                              kHalftone);
    Note("EngPlgBlt", 1, ok);
    return ok != FALSE;
  }
  // The fourth corner is B + C - A.
  const FIX xs[4] = {pts[0].x, pts[1].x, pts[2].x, pts[1].x + pts[2].x - pts[0].x};
  const FIX ys[4] = {pts[0].y, pts[1].y, pts[2].y, pts[1].y + pts[2].y - pts[0].y};
  const RECTL bounds{*std::min_element(xs, xs + 4) >> 4, *std::min_element(ys, ys + 4) >> 4,
                     (*std::max_element(xs, xs + 4) + 15) >> 4, (*std::max_element(ys, ys + 4) + 15) >> 4};
  return ThroughTemporary(bounds, [&](SURFOBJ* temp, const RECTL& area) {
    POINTFIX moved[3];
    for (int i = 0; i < 3; ++i) moved[i] = POINTFIX{pts[i].x - area.left * 16, pts[i].y - area.top * 16};
    return EngPlgBlt(temp, src, nullptr, nullptr, xlate.xo, nullptr, nullptr, moved, &whole, nullptr, kHalftone);
  });
}

bool Page::GradientFill(std::vector<TRIVERTEX> vertices, std::vector<ULONG> mesh, ULONG mode) {
  if (!surface_ || vertices.empty()) return false;
  const std::size_t per = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
  const ULONG count = static_cast<ULONG>(mesh.size() / per);
  RECTL extents{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
  for (std::size_t i = 0; i < count * per; ++i) {
    if (mesh[i] >= vertices.size()) return false;
    const TRIVERTEX& v = vertices[mesh[i]];
    extents = RECTL{std::min(extents.left, v.x), std::min(extents.top, v.y), std::max(extents.right, v.x),
                    std::max(extents.bottom, v.y)};
  }
  ClipHolder clip(clip_);
  POINTL ditherOrigin{0, 0};
  if (auto fill = reinterpret_cast<PFN_DrvGradientFill>(Hooked(INDEX_DrvGradientFill, HOOK_GRADIENTFILL))) {
    const BOOL ok = fill(surface_, clip.co, nullptr, vertices.data(), static_cast<ULONG>(vertices.size()), mesh.data(),
                         count, &extents, &ditherOrigin, mode);
    Note("DrvGradientFill", count, ok);
    return ok != FALSE;
  }
  if (!DeviceFront()) {
    const BOOL ok = EngGradientFill(surface_, clip.co, nullptr, vertices.data(), static_cast<ULONG>(vertices.size()),
                                    mesh.data(), count, &extents, &ditherOrigin, mode);
    Note("EngGradientFill", count, ok);
    return ok != FALSE;
  }
  return ThroughTemporary(extents, [&](SURFOBJ* temp, const RECTL& area) {
    std::vector<TRIVERTEX> moved = vertices;
    for (TRIVERTEX& v : moved) v.x -= area.left, v.y -= area.top;
    return EngGradientFill(temp, nullptr, nullptr, moved.data(), static_cast<ULONG>(moved.size()), mesh.data(), count,
                           nullptr, &ditherOrigin, mode);
  });
}

bool Page::EngineOrTemporary(const char* entry, const RECTL& dest,
                             const std::function<BOOL(SURFOBJ*, CLIPOBJ*, RECTL*)>& draw) {
  if (!DeviceFront()) {
    ClipHolder clip(clip_);
    RECTL d = dest;
    const BOOL ok = draw(surface_, clip.co, &d);
    Note(entry, 1, ok);
    return ok != FALSE;
  }
  // Drawn over white: what is under it on the device cannot be read.
  return ThroughTemporary(dest, [&](SURFOBJ* temp, const RECTL& area) {
    RECTL moved{dest.left - area.left, dest.top - area.top, dest.right - area.left, dest.bottom - area.top};
    return draw(temp, nullptr, &moved);
  });
}

bool Page::AlphaBlend(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                      BLENDFUNCTION blend) {
  if (!surface_ || !src) return false;
  XlateHolder xlate(palette);
  RECTL s = source;
  BLENDOBJ bo{blend};
  if (auto drv = reinterpret_cast<PFN_DrvAlphaBlend>(Hooked(INDEX_DrvAlphaBlend, HOOK_ALPHABLEND))) {
    ClipHolder clip(clip_);
    RECTL d = dest;
    const BOOL ok = drv(surface_, src, clip.co, xlate.xo, &d, &s, &bo);
    Note("DrvAlphaBlend", 1, ok);
    if (ok) return true;
  }
  return EngineOrTemporary("EngAlphaBlend", dest, [&](SURFOBJ* target, CLIPOBJ* clip, RECTL* d) {
    return EngAlphaBlend(target, src, clip, xlate.xo, d, &s, &bo);
  });
}

bool Page::TransparentBlt(SURFOBJ* src, const std::vector<ULONG>& palette, const RECTL& dest, const RECTL& source,
                          ULONG transparent) {
  if (!surface_ || !src) return false;
  XlateHolder xlate(palette);
  RECTL s = source;
  if (auto drv = reinterpret_cast<PFN_DrvTransparentBlt>(Hooked(INDEX_DrvTransparentBlt, HOOK_TRANSPARENTBLT))) {
    ClipHolder clip(clip_);
    RECTL d = dest;
    const BOOL ok = drv(surface_, src, clip.co, xlate.xo, &d, &s, transparent, 0);
    Note("DrvTransparentBlt", 1, ok);
    if (ok) return true;
  }
  return EngineOrTemporary("EngTransparentBlt", dest, [&](SURFOBJ* target, CLIPOBJ* clip, RECTL* d) {
    return EngTransparentBlt(target, src, clip, xlate.xo, d, &s, transparent, 0);
  });
}

}  // namespace plat::gdi
