// Brush and path objects, their services, and the engine's own drawing.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "engine_raster.h"
#include "plat/engine_draw.h"

namespace {

using namespace plat::engine;
using namespace plat::engine::raster;

enum class BrushKind { kSolid, kHatch, kPattern };

struct EngineBrush {
  BRUSHOBJ bo{};
  BrushKind kind = BrushKind::kSolid;
  ULONG hatch = 0;
  ULONG rgb = 0;
  ULONG background = 0xFFFFFF;
  HSURF pattern = nullptr;
  std::vector<ULONG> palette;
  SURFOBJ* target = nullptr;
  std::vector<std::uint64_t> realization;  // 8-byte aligned storage
};

struct ClipLineRuns {
  POINTFIX a, b;
  std::vector<RUN> runs;
};

struct EnginePath {
  PATHOBJ po{};
  std::vector<SubPath> subpaths;
  std::size_t next = 0;
  std::vector<ClipLineRuns> lines;
  std::size_t line = 0;
  std::size_t run = 0;
};

struct DeviceDrawing {
  std::vector<DRVFN> table;
  std::vector<HSURF> hatches;
  LONG xStyleStep = 1, yStyleStep = 1, denStyleStep = 1;
};

struct Objects {
  std::mutex lock;
  std::unordered_map<const BRUSHOBJ*, std::unique_ptr<EngineBrush>> brushes;
  std::unordered_map<const PATHOBJ*, std::unique_ptr<EnginePath>> paths;
  std::unordered_map<HDEV, DeviceDrawing> devices;
};

Objects& O() {
  static Objects o;
  return o;
}

EngineBrush* FindBrush(const BRUSHOBJ* pbo) {
  auto it = O().brushes.find(pbo);
  return it == O().brushes.end() ? nullptr : it->second.get();
}
EnginePath* FindPath(const PATHOBJ* ppo) {
  auto it = O().paths.find(ppo);
  return it == O().paths.end() ? nullptr : it->second.get();
}

// The engine's 8 x 8 hatch lines: pixel (x, y) carries the hatch colour.
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

// One of the engine's 8 x 8 one-bit hatch surfaces: bit 0 is the hatch colour.
HSURF OwnHatchSurface(ULONG hatch) {
  HBITMAP bm = EngCreateBitmap(SIZEL{8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, nullptr);
  SURFOBJ* so = bm ? EngLockSurface(reinterpret_cast<HSURF>(bm)) : nullptr;
  if (!so) return bm ? (EngDeleteSurface(reinterpret_cast<HSURF>(bm)), nullptr) : nullptr;
  for (int y = 0; y < 8; ++y) {
    BYTE bits = 0;
    for (int x = 0; x < 8; ++x)
      if (!HatchPixel(hatch, x, y)) bits |= static_cast<BYTE>(0x80 >> x);
    static_cast<BYTE*>(so->pvScan0)[static_cast<std::ptrdiff_t>(y) * so->lDelta] = bits;
  }
  EngUnlockSurface(so);
  return reinterpret_cast<HSURF>(bm);
}

// Colour of a pixel of a pattern surface through its palette.
ULONG PatternPixel(const SURFOBJ* so, const std::vector<ULONG>& palette, LONG x, LONG y) {
  const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
  auto pal = [&](ULONG i) { return i < palette.size() ? palette[i] : 0; };
  switch (so->iBitmapFormat) {
    case BMF_1BPP: return pal((row[x / 8] >> (7 - x % 8)) & 1);
    case BMF_4BPP: return pal(x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4);
    case BMF_8BPP: return pal(row[x]);
    case BMF_16BPP: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return ((v >> 7) & 0xF8) | (((v >> 2) & 0xF8) << 8) | (((v << 3) & 0xF8) << 16);
    }
    case BMF_24BPP: return row[3 * x + 2] | (row[3 * x + 1] << 8) | (row[3 * x] << 16);
    case BMF_32BPP: return row[4 * x + 2] | (row[4 * x + 1] << 8) | (row[4 * x] << 16);
    default: return 0;
  }
}

// The clip rectangles of a drawing call, cut to the surface.
std::vector<RECTL> ClipRects(CLIPOBJ* pco, SURFOBJ* pso) {
  const RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  std::vector<RECTL> rects;
  auto add = [&](const RECTL& r) {
    const RECTL m{std::max(r.left, all.left), std::max(r.top, all.top), std::min(r.right, all.right),
                  std::min(r.bottom, all.bottom)};
    if (m.left < m.right && m.top < m.bottom) rects.push_back(m);
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
    } while (more);
  }
  return rects;
}

bool TargetFor(SURFOBJ* pso, CLIPOBJ* pco, Target& t) {
  if (!MakeTarget(pso, t)) return false;
  t.clip = ClipRects(pco, pso);
  return true;
}

void StyleSteps(const SURFOBJ* pso, LONG& x, LONG& y, LONG& den) {
  std::lock_guard<std::mutex> g(O().lock);
  auto it = O().devices.find(pso->hdev);
  if (it == O().devices.end()) {
    x = y = den = 1;
    return;
  }
  x = it->second.xStyleStep;
  y = it->second.yStyleStep;
  den = it->second.denStyleStep;
}

LINEATTRS CosmeticSolid() {
  LINEATTRS la{};
  la.elWidth.l = 1;
  return la;
}

}  // namespace

namespace plat::engine::raster {

const std::vector<SubPath>* PathData(PATHOBJ* ppo) {
  std::lock_guard<std::mutex> g(O().lock);
  EnginePath* p = FindPath(ppo);
  return p ? &p->subpaths : nullptr;
}

Ink InkOf(BRUSHOBJ* pbo) {
  Ink ink;
  if (!pbo) return ink;
  std::lock_guard<std::mutex> g(O().lock);
  EngineBrush* b = FindBrush(pbo);
  if (!b || b->kind == BrushKind::kSolid) {
    ink.rgb = pbo->iSolidColor & 0xFFFFFF;
    return ink;
  }
  ink.solid = false;
  if (b->kind == BrushKind::kHatch) {
    ink.width = ink.height = 8;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) ink.pixels.push_back(HatchPixel(b->hatch, x, y) ? b->rgb : b->background);
    return ink;
  }
  SURFOBJ* so = EngLockSurface(b->pattern);
  if (so && so->pvScan0 && so->sizlBitmap.cx > 0 && so->sizlBitmap.cy > 0) {
    ink.width = so->sizlBitmap.cx;
    ink.height = so->sizlBitmap.cy;
    for (LONG y = 0; y < ink.height; ++y)
      for (LONG x = 0; x < ink.width; ++x) ink.pixels.push_back(PatternPixel(so, b->palette, x, y));
  } else {
    ink.solid = true;
  }
  if (so) EngUnlockSurface(so);
  return ink;
}

void ForgetDevice(HDEV hdev) {
  std::lock_guard<std::mutex> g(O().lock);
  O().devices.erase(hdev);
}

}  // namespace plat::engine::raster

extern "C" {

PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
  std::lock_guard<std::mutex> g(O().lock);
  EngineBrush* b = FindBrush(pbo);
  if (!b || cj == 0 || cj > (64u << 20)) return nullptr;
  b->realization.assign((cj + 7) / 8, 0);
  b->bo.pvRbrush = nullptr;
  return b->realization.data();
}

PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
  if (!pbo) return nullptr;
  if (pbo->pvRbrush) return pbo->pvRbrush;
  HSURF patternSurface = nullptr;
  SURFOBJ* target = nullptr;
  ULONG hatch = 0;
  std::vector<ULONG> palette;
  {
    std::lock_guard<std::mutex> g(O().lock);
    EngineBrush* b = FindBrush(pbo);
    if (!b || b->kind == BrushKind::kSolid || !b->target) return nullptr;
    target = b->target;
    if (b->kind == BrushKind::kHatch) {
      auto it = O().devices.find(target->hdev);
      if (it != O().devices.end() && b->hatch < it->second.hatches.size())
        patternSurface = it->second.hatches[b->hatch];
      hatch = b->hatch;
      palette = {b->rgb, b->background};  // bit 0 is the hatch colour
    } else {
      patternSurface = b->pattern;
      hatch = HS_DDI_MAX;
      palette = b->palette;
    }
  }
  using PFN_DrvRealizeBrush = BOOL (*)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
  auto realize = reinterpret_cast<PFN_DrvRealizeBrush>(DeviceEntry(target->hdev, INDEX_DrvRealizeBrush));
  // A device that gives no hatch surfaces gets the engine's own.
  HSURF ownHatch = hatch < HS_DDI_MAX && !patternSurface ? OwnHatchSurface(hatch) : nullptr;
  if (ownHatch) patternSurface = ownHatch;
  struct OwnHatchDeleter {
    HSURF surface;
    ~OwnHatchDeleter() {
      if (surface) EngDeleteSurface(surface);
    }
  } deleteOwnHatch{ownHatch};
  SURFOBJ* pattern = patternSurface ? EngLockSurface(patternSurface) : nullptr;
  if (!realize || !pattern) {
    if (pattern) EngUnlockSurface(pattern);
    return nullptr;
  }
  // Paletted patterns translate through their palette; deeper ones are RGB.
  const bool paletted = pattern->iBitmapFormat <= BMF_8BPP && !palette.empty();
  XLATEOBJ* xlate = CreateXlate(paletted ? palette.data() : nullptr, paletted ? static_cast<ULONG>(palette.size()) : 0);
  const BOOL ok = xlate ? realize(pbo, target, pattern, nullptr, xlate, hatch) : FALSE;
  if (xlate) DeleteXlate(xlate);
  EngUnlockSurface(pattern);
  std::lock_guard<std::mutex> g(O().lock);
  EngineBrush* b = FindBrush(pbo);
  if (!ok || !b || b->realization.empty()) return nullptr;
  pbo->pvRbrush = b->realization.data();
  return pbo->pvRbrush;
}

ULONG BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo) { return pbo ? pbo->iSolidColor : kNoSolidColor; }

void PATHOBJ_vEnumStart(PATHOBJ* ppo) {
  std::lock_guard<std::mutex> g(O().lock);
  if (EnginePath* p = FindPath(ppo)) p->next = 0;
}

BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
  if (!ppd) return FALSE;
  *ppd = PATHDATA{};
  std::lock_guard<std::mutex> g(O().lock);
  EnginePath* p = FindPath(ppo);
  if (!p || p->next >= p->subpaths.size()) return FALSE;
  SubPath& sp = p->subpaths[p->next++];
  ppd->flags = PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | (sp.closed ? PD_CLOSEFIGURE : 0) |
               (sp.beziers ? PD_BEZIERS : 0);
  ppd->count = static_cast<ULONG>(sp.points.size());
  ppd->pptfx = sp.points.data();
  return p->next < p->subpaths.size() ? TRUE : FALSE;
}

void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx) {
  if (!prectfx) return;
  *prectfx = RECTFX{};
  std::lock_guard<std::mutex> g(O().lock);
  EnginePath* p = FindPath(ppo);
  if (!p) return;
  bool first = true;
  for (const SubPath& sp : p->subpaths)
    for (const POINTFIX& pt : sp.points) {
      if (first) {
        *prectfx = RECTFX{pt.x, pt.y, pt.x, pt.y};
        first = false;
      }
      prectfx->xLeft = std::min(prectfx->xLeft, pt.x);
      prectfx->yTop = std::min(prectfx->yTop, pt.y);
      prectfx->xRight = std::max(prectfx->xRight, pt.x);
      prectfx->yBottom = std::max(prectfx->yBottom, pt.y);
    }
}

void PATHOBJ_vEnumStartClipLines(PATHOBJ* ppo, CLIPOBJ* pco, SURFOBJ* pso, LINEATTRS*) {
  Target t;
  const bool drawable = pso && pso->sizlBitmap.cx > 0 && pso->sizlBitmap.cy > 0;
  if (drawable) t.clip = ClipRects(pco, pso);
  const std::vector<Figure> figures = Flatten(ppo);
  std::vector<ClipLineRuns> lines;
  for (const Figure& f : figures) {
    Polyline pts = f.points;
    if (f.closed && pts.size() > 1) pts.push_back(pts.front());
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
      const GridLine gl = ToGrid(pts[i], pts[i + 1]);
      ClipLineRuns line{POINTFIX{gl.x0 * 16, gl.y0 * 16}, POINTFIX{gl.x1 * 16, gl.y1 * 16}, {}};
      const LONG count = gl.Count();
      for (LONG k = 0; k < count; ++k) {
        LONG x, y;
        gl.Pixel(k, x, y);
        bool inside = false;
        for (const RECTL& c : t.clip)
          if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) inside = true;
        if (!inside) continue;
        if (!line.runs.empty() && line.runs.back().iStop == k - 1)
          line.runs.back().iStop = k;
        else
          line.runs.push_back(RUN{k, k});
      }
      if (!line.runs.empty()) lines.push_back(std::move(line));
    }
  }
  std::lock_guard<std::mutex> g(O().lock);
  if (EnginePath* p = FindPath(ppo)) {
    p->lines = std::move(lines);
    p->line = 0;
    p->run = 0;
  }
}

BOOL PATHOBJ_bEnumClipLines(PATHOBJ* ppo, ULONG cb, CLIPLINE* pcl) {
  constexpr ULONG kHead = offsetof(CLIPLINE, arun);
  if (!pcl || cb < kHead + sizeof(RUN)) return FALSE;
  pcl->c = 0;
  std::lock_guard<std::mutex> g(O().lock);
  EnginePath* p = FindPath(ppo);
  if (!p || p->line >= p->lines.size()) return FALSE;
  const ClipLineRuns& line = p->lines[p->line];
  const std::size_t room = (cb - kHead) / sizeof(RUN);
  pcl->ptfxA = line.a;
  pcl->ptfxB = line.b;
  pcl->lStyleState = 0;
  RUN* runs = pcl->arun;
  while (p->run < line.runs.size() && pcl->c < room) runs[pcl->c++] = line.runs[p->run++];
  if (p->run == line.runs.size()) {
    ++p->line;
    p->run = 0;
  }
  return p->line < p->lines.size() ? TRUE : FALSE;
}

BOOL EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix, FLONG flOptions) {
  Target t;
  if (!ppo || !pbo || !TargetFor(pso, pco, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FillFigures(t, Flatten(ppo), (flOptions & FP_WINDINGMODE) != 0, InkOf(pbo), static_cast<int>(mix & 0xFF));
  ++pso->iUniq;
  return TRUE;
}

BOOL EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* pbo, POINTL*, LINEATTRS* pla,
                   MIX mix) {
  Target t;
  if (!ppo || !pbo || !TargetFor(pso, pco, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LINEATTRS la = pla ? *pla : CosmeticSolid();
  const std::vector<Figure> figures = Flatten(ppo);
  const Ink ink = InkOf(pbo);
  const int rop2 = static_cast<int>(mix & 0xFF);
  if (la.fl & LA_GEOMETRIC) {
    FillFigures(t, Widen(figures, la, pso->sizlBitmap.cx, pso->sizlBitmap.cy), true, ink, rop2);
  } else {
    LONG x, y, den;
    StyleSteps(pso, x, y, den);
    StrokeCosmetic(t, figures, la, x, y, den, ink, rop2);
  }
  ++pso->iUniq;
  return TRUE;
}

BOOL EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix) {
  Target t;
  if (!pbo || !TargetFor(pso, pco, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<Figure> rects;
  for (const RECTL& r : t.clip) {
    const double l = r.left, tp = r.top, rt = r.right, b = r.bottom;
    rects.push_back(Figure{{{l, tp}, {rt, tp}, {rt, b}, {l, b}}, true, false});
  }
  FillFigures(t, rects, true, InkOf(pbo), static_cast<int>(mix & 0xFF));
  ++pso->iUniq;
  return TRUE;
}

}  // extern "C"

namespace plat::engine {

PATHOBJ* CreatePath(const std::vector<SubPath>& subpaths) {
  auto p = std::make_unique<EnginePath>();
  p->subpaths = subpaths;
  bool integers = true;
  for (const SubPath& sp : subpaths) {
    if (sp.beziers) p->po.fl |= PO_BEZIERS;
    // Lines and curves, the closing line of a closed figure included.
    const std::size_t n = sp.points.size();
    if (n > 0) p->po.cCurves += static_cast<ULONG>((sp.beziers ? (n - 1) / 3 : n - 1) + (sp.closed ? 1 : 0));
    for (const POINTFIX& pt : sp.points) integers = integers && pt.x % 16 == 0 && pt.y % 16 == 0;
  }
  if (integers) p->po.fl |= PO_ALL_INTEGERS;
  PATHOBJ* po = &p->po;
  std::lock_guard<std::mutex> g(O().lock);
  O().paths[po] = std::move(p);
  return po;
}

void DeletePath(PATHOBJ* ppo) {
  std::lock_guard<std::mutex> g(O().lock);
  O().paths.erase(ppo);
}

namespace {
BRUSHOBJ* AddBrush(std::unique_ptr<EngineBrush> b) {
  BRUSHOBJ* bo = &b->bo;
  std::lock_guard<std::mutex> g(O().lock);
  O().brushes[bo] = std::move(b);
  return bo;
}
}  // namespace

BRUSHOBJ* CreateSolidBrush(ULONG rgb) {
  auto b = std::make_unique<EngineBrush>();
  b->rgb = rgb & 0xFFFFFF;
  b->bo.iSolidColor = b->rgb;
  return AddBrush(std::move(b));
}

BRUSHOBJ* CreateHatchBrush(ULONG hatch, ULONG rgb, ULONG background) {
  if (hatch >= HS_DDI_MAX) return nullptr;
  auto b = std::make_unique<EngineBrush>();
  b->kind = BrushKind::kHatch;
  b->hatch = hatch;
  b->rgb = rgb & 0xFFFFFF;
  b->background = background & 0xFFFFFF;
  b->bo.iSolidColor = kNoSolidColor;
  return AddBrush(std::move(b));
}

BRUSHOBJ* CreatePatternBrush(HSURF pattern, const std::vector<ULONG>& palette) {
  if (!pattern) return nullptr;
  auto b = std::make_unique<EngineBrush>();
  b->kind = BrushKind::kPattern;
  b->pattern = pattern;
  b->palette = palette;
  b->bo.iSolidColor = kNoSolidColor;
  return AddBrush(std::move(b));
}

void DeleteBrush(BRUSHOBJ* pbo) {
  std::lock_guard<std::mutex> g(O().lock);
  O().brushes.erase(pbo);
}

void UseBrushOn(BRUSHOBJ* pbo, SURFOBJ* pso) {
  std::lock_guard<std::mutex> g(O().lock);
  if (EngineBrush* b = FindBrush(pbo)) {
    if (b->target && pso && b->target->hdev != pso->hdev) {
      // Another device realizes it anew.
      b->bo.pvRbrush = nullptr;
      b->realization.clear();
    }
    b->target = pso;
  }
}

void SetDeviceDriver(HDEV hdev, const DRVFN* table, ULONG count) {
  std::lock_guard<std::mutex> g(O().lock);
  O().devices[hdev].table.assign(table, table + (table ? count : 0));
}

void SetDeviceHatches(HDEV hdev, const HSURF* hatches, ULONG count) {
  std::lock_guard<std::mutex> g(O().lock);
  O().devices[hdev].hatches.assign(hatches, hatches + (hatches ? count : 0));
}

void SetDeviceStyleSteps(HDEV hdev, LONG x, LONG y, LONG den) {
  std::lock_guard<std::mutex> g(O().lock);
  DeviceDrawing& d = O().devices[hdev];
  d.xStyleStep = std::max<LONG>(1, x);
  d.yStyleStep = std::max<LONG>(1, y);
  d.denStyleStep = std::max<LONG>(1, den);
}

PFN DeviceEntry(HDEV hdev, ULONG index) {
  std::lock_guard<std::mutex> g(O().lock);
  auto it = O().devices.find(hdev);
  if (it == O().devices.end()) return nullptr;
  for (const DRVFN& f : it->second.table)
    if (f.iFunc == index) return f.pfn;
  return nullptr;
}

}  // namespace plat::engine
